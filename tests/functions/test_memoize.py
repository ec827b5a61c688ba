import pytest

from quorin import _quorin as q


def unary(x):
    return x


def defaulted(a, b=1):
    return a


def binary(a, b):
    return a


def star(*args):
    return args


def kwonly(*, k):
    return k


@pytest.mark.parametrize("func, args, kwargs, key", [
    (unary, (3,), {}, 3),
    (unary, (), {"x": 3}, ((), frozenset({("x", 3)}))),
    (defaulted, (1,), {}, ((1,), None)),
    (defaulted, (1,), {"b": 2}, ((1,), frozenset({("b", 2)}))),
    (binary, (1, 2), {}, (1, 2)),
    (binary, (1,), {"b": 2}, ((1,), frozenset({("b", 2)}))),
    (star, (1,), {}, (1,)),
    (kwonly, (), {"k": 1}, (None, frozenset({("k", 1)}))),
    (max, ((3, 4),), {}, (((3, 4),), None)),  # no signature: the general keys
    (dir, (), {}, (None, None)),
])
def test_exact_keys(func, args, kwargs, key):
    cache = {}
    m = q.memoize(func, cache=cache)
    m(*args, **kwargs)
    assert list(cache) == [key]


def test_hits_do_not_call_and_none_is_cached():
    calls = []

    def f(x):
        calls.append(x)

    m = q.memoize(f)
    assert m(1) is None and m(1) is None and calls == [1]
    d = {5: "given"}
    assert q.memoize(f, cache=d)(5) == "given" and calls == [1]


def test_key_function_gets_none_without_keywords():
    seen = []
    m = q.memoize(binary, key=lambda args, kwargs: seen.append((args, kwargs)) or args[0])
    assert m(1, 2) == 1 and m(1, b=3) == 1
    assert seen == [((1, 2), None), ((1,), {"b": 3})]


def test_cache_type_check():
    with pytest.raises(TypeError) as info:
        q.memoize(unary, cache=[])
    assert str(info.value) == "'list' object is not an instance of 'dict'"
    assert info.value.__notes__ == ["while processing 'cache'"]


def test_unhashable_argument_is_not_called():
    calls = []
    m = q.memoize(lambda x: calls.append(x))
    with pytest.raises(TypeError, match="unhashable"):
        m([1])
    assert calls == []


def test_dict_subclass_store_and_recursion():
    class Logged(dict):
        def __setitem__(self, k, v):
            super().__setitem__(k, v * 10)

    m = q.memoize(unary, cache=Logged())
    assert m(2) == 2 and m(2) == 20

    @q.memoize
    def fib(n):
        return n if n < 2 else fib(n - 1) + fib(n - 2)

    assert fib(80) == 23416728348467685


class Inspected:
    def __init__(self, exc):
        self.exc = exc

    @property
    def __signature__(self):
        raise self.exc

    def __call__(self, x):
        return x


def test_signature_analysis_swallows_only_ordinary_exceptions():
    cache = {}
    assert q.memoize(Inspected(RuntimeError()), cache=cache)(1) == 1
    assert list(cache) == [((1,), None)]
    with pytest.raises(KeyboardInterrupt):
        q.memoize(Inspected(KeyboardInterrupt()))


@pytest.mark.parametrize("exc, handler, expected", [
    (ZeroDivisionError, None, None),
    (ZeroDivisionError, type, ZeroDivisionError),
    ((KeyError, ArithmeticError), type, ZeroDivisionError),
])
def test_excepts(exc, handler, expected):
    assert q.excepts(exc, lambda x: 1 / x, handler)(0) == expected
    assert q.excepts(exc, lambda x, k: k / x, handler)(2, k=4) == 2


def test_excepts_other_exceptions_propagate():
    with pytest.raises(ZeroDivisionError):
        q.excepts(KeyError, lambda x: 1 / x)(0)
    with pytest.raises(ValueError, match="from handler"):
        q.excepts(ZeroDivisionError, lambda x: 1 / x, lambda e: int("from handler"))(0)



def test_a_key_function_that_reenters_is_a_recursion_error():
    m = q.memoize(abs, key=lambda args, kwargs: m(*args))
    with pytest.raises(RecursionError):
        m(-3)
    assert q.memoize(abs, cache={-3: "hit"})(-3) == "hit"
