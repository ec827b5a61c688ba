import gc
import sys
import weakref

import pytest

from quorin import _quorin as q


def rec(*args, **kwargs):
    return (args, kwargs)


@pytest.mark.parametrize("call, expected", [
    (lambda: q.compose(str, len)("abc"), "3"),
    (lambda: q.compose_left(len, str)("abc"), "3"),
    (lambda: q.compose()(5), 5),
    (lambda: q.compose_left()(5), 5),
    (lambda: q.compose(rec)(1, k=2), ((1,), {"k": 2})),
    (lambda: q.compose(len, rec)(1, k=2), 2),
    (lambda: q.juxt([len, str])("ab"), (2, "ab")),
    (lambda: q.juxt(len, str)("ab"), (2, "ab")),
    (lambda: q.juxt(rec, rec)(1, k=2), (((1,), {"k": 2}),) * 2),
    (lambda: q.juxt()(1, k=2), ()),
    (lambda: (q.complement(bool)(0), q.complement(bool)([1])), (True, False)),
    (lambda: (q.pipe(3), q.pipe(3, str, len)), (3, 1)),
    (lambda: (q.thread_first(1, (pow, 3)), q.thread_last(2, (pow, 3))), (1, 9)),
    (lambda: q.thread_first(1, (rec, 2, 3), len), 2),
    (lambda: q.thread_last(1, (rec, 2, 3), (lambda x: x[0],)), (2, 3, 1)),
    (lambda: q.apply(rec, 1, k=2), ((1,), {"k": 2})),
    (lambda: q.identity(x=4), 4),
])
def test_results(call, expected):
    assert call() == expected


def test_do_returns_the_same_object():
    seen, x = [], object()
    assert q.do(seen.append, x) is x and seen == [x]
    assert type(q.compose()).__name__ == "builtin_function_or_method"


def test_thread_empty_tuple_form():
    with pytest.raises(IndexError, match="tuple index out of range"):
        q.thread_first(1, ())


def test_juxt_huge_length_hint_and_failing_iteration():
    class Huge:
        def __iter__(self):
            return self

        def __length_hint__(self):
            return sys.maxsize

        def __next__(self):
            raise StopIteration

    assert q.juxt(Huge())(1) == ()
    with pytest.raises(TypeError, match="not iterable"):
        q.juxt(5)


def test_juxt_releases_partial_results():
    class Boom(Exception):
        pass

    kept = []

    def boom(x):
        raise Boom

    with pytest.raises(Boom):
        q.juxt(lambda x: kept.append(weakref.ref(s := set())) or s, boom)(1)
    assert kept[0]() is None


@pytest.mark.parametrize("make", [q.compose, q.juxt, q.complement])
def test_classes_have_no_constructor_and_do_not_bind(make):
    cls = type(make(len))
    assert cls.__module__ == "quorin._quorin"
    with pytest.raises(TypeError):
        cls(len)

    class A:
        m = make(len)

    A().m("ab")  # called with "ab" only: no self inserted


# Some levels take so little stack that 10**5 of them still fit.
@pytest.mark.parametrize("wrap, depth", [
    (q.compose, 3 * 10 ** 5), (q.compose_left, 3 * 10 ** 5), (q.juxt, 3 * 10 ** 5), (q.complement, 3 * 10 ** 5),
    (q.curry, 3 * 10 ** 5), (lambda g: q.excepts(ValueError, g), 3 * 10 ** 5),
])
def test_deep_nesting_is_a_recursion_error(wrap, depth):
    f = len
    for _ in range(depth):
        f = wrap(f)
    with pytest.raises(RecursionError):
        f("ab")
    del f  # released without overflowing the stack


@pytest.mark.parametrize("wrap", [
    q.compose, q.juxt, q.complement, q.curry, q.memoize,
    lambda g: q.excepts(ValueError, g, g),
])
def test_cycles_through_wrappers_are_collected(wrap):
    class Holder:
        def g(self, x):
            return x

    h = Holder()
    h.f = wrap(h.g)
    alive = weakref.ref(h)
    del h
    gc.collect()
    assert alive() is None


@pytest.mark.parametrize("make", [
    lambda: q.compose(len, str), lambda: q.juxt(len, str), lambda: q.complement(bool),
    lambda: q.memoize(len), lambda: q.excepts(ValueError, int),
], ids=["compose", "juxt", "complement", "memoize", "excepts"])
def test_wrapper_classes_have_no_docstring(make):
    assert type(make()).__doc__ is None
