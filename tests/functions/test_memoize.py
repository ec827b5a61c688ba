import functools

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


# Every way of calling reaches the same key and the same calls: written out
# (the interpreter's own call), spread from a tuple and a dict, through
# partial, and through the type's call slot.
ROUTES = {
    "direct": lambda m, args, kwargs: m(*args, **kwargs),
    "partial": lambda m, args, kwargs: functools.partial(m, *args)(**kwargs),
    "slot": lambda m, args, kwargs: type(m).__call__(m, *args, **kwargs),
    "method": lambda m, args, kwargs: m.__call__(*args, **kwargs),
}


@pytest.mark.parametrize("route", ROUTES)
@pytest.mark.parametrize("params, args, kwargs, key", [
    ("x", (3,), {}, 3),
    ("x", (), {"x": 3}, ((), frozenset({("x", 3)}))),
    ("a, b", (1, 2), {}, (1, 2)),
    ("a, b", (1,), {"b": 2}, ((1,), frozenset({("b", 2)}))),
    ("a, b=1", (1,), {}, ((1,), None)),
    ("a, b=1", (), {"a": 1, "b": 2}, (None, frozenset({("a", 1), ("b", 2)}))),
    ("*args", (), {}, ()),
])
def test_keys_and_calls_by_every_route(route, params, args, kwargs, key):
    calls = []
    func = eval(f"lambda {params}: calls.append(({params.replace('=1', '')},)) or len(calls)", {"calls": calls})
    cache = {}
    m = q.memoize(func, cache=cache)
    call = ROUTES[route]
    assert call(m, args, kwargs) == 1 and call(m, args, kwargs) == 1
    assert list(cache) == [key] and len(calls) == 1
    given = dict(kwargs)
    assert call(m, args, given) == 1 and given == kwargs


def test_positional_keys_hold_no_caller_state():
    # The key tuple the interpreter hands over is the key stored: equal to
    # a fresh tuple of the arguments, whatever the caller does afterwards.
    cache = {}
    m = q.memoize(lambda a, b: [a, b], cache=cache)
    args = [1, 2]
    first = m(*args)
    args.append(3)
    assert m(1, 2) is first and list(cache) == [(1, 2)]
    with pytest.raises(TypeError, match="unhashable"):
        m([1], 2)
    assert list(cache) == [(1, 2)]


def test_deep_recursion_through_a_positional_key_is_a_recursion_error():
    @q.memoize
    def down(n, acc):
        return down(n - 1, acc + 1) if n else acc

    assert down(50, 0) == 50
    with pytest.raises(RecursionError):
        down(10**6, 0)


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
