import threading
import time

import pytest

from quorin import _quorin as q


def f(a, b):
    return (a, b)


def test_partial_calls_are_reusable_and_independent():
    c = q.curry(f)
    p = c(1)
    assert type(p) is q.curry and type(c()) is q.curry
    assert (p(2), p(3), c(1, 2), c(1)(2)) == ((1, 2), (1, 3), (1, 2), (1, 2))
    k = q.curry(f, b=2)
    assert (k(1), k(1, b=3), k(1)) == ((1, 2), (1, 3), (1, 2))
    assert q.curry(f, 1, 2)() == (1, 2)
    assert q.curry(lambda a=1: a)() == 1


def test_keyword_partials_keep_waiting():
    def g(a, b, *, c):
        return (a, b, c)

    w = q.curry(g)(c=3)
    assert type(w) is q.curry and type(w(1)) is q.curry
    assert w(1)(2) == (1, 2, 3) and w(1, 2, c=4) == (1, 2, 4)


@pytest.mark.parametrize("call, message", [
    (lambda: q.curry(f)(1, 2, 3), "f() takes 2 positional arguments but 3 were given"),
    (lambda: q.curry(f)(1, z=0), "f() got an unexpected keyword argument 'z'"),
    (lambda: q.curry(), "curry.__new__() missing 1 required positional argument: 'func'"),
    (lambda: q.curry(f, func=f), "curry.__new__() got multiple values for argument 'func'"),
    (lambda: q.curry(5)(), "'int' object is not callable"),
    (lambda: q.flip(pow, 1, 2, 3), "flip() takes 3 positional arguments but 4 were given"),
])
def test_errors_are_the_callees_own(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_uninspectable_function_is_called_at_once():
    assert q.curry(min)([3, 1]) == 1
    with pytest.raises(TypeError):
        q.curry(min)()


def test_flip_waits_for_missing_arguments():
    assert type(q.flip) is q.curry
    assert type(q.flip(pow)) is q.curry and type(q.flip(pow, 2)) is q.curry
    assert q.flip(pow, 2, 3) == q.flip(pow)(2, 3) == q.flip(pow, 2)(3) == 9


def test_not_bound_as_a_method():
    class A:
        m = q.curry(f)

    assert A().m(1, 2) == (1, 2)


class Sig:
    """A callable whose signature lookup runs user code."""

    def __init__(self, hook):
        self.hook, self.lookups = hook, 0

    @property
    def __signature__(self):
        self.lookups += 1
        self.hook()
        import inspect
        return inspect.signature(f)

    def __call__(self, a, b):
        return (a, b)


def test_signature_lookup_failures():
    raising = Sig(lambda: (_ for _ in ()).throw(KeyError("x")))
    c = q.curry(raising)
    for _ in range(2):  # not settled by a failure: tried again
        with pytest.raises(KeyError):
            c(1)
    assert raising.lookups == 2


def test_reentry_while_resolving_does_not_wait_on_itself():
    inner, depth = [], [0]

    def hook():
        if depth[0] == 0:
            depth[0] += 1
            inner.append(c(1, 2))  # resolves anew inside and publishes first

    target = Sig(hook)
    c = q.curry(target)
    assert c(5)(6) == (5, 6)
    assert inner == [(1, 2)]
    lookups = target.lookups
    c(7)(8)
    assert target.lookups == lookups == 2  # settled once published


def test_threads_racing_on_a_fresh_curry():
    target = Sig(lambda: time.sleep(0.05))
    c = q.curry(target)
    results = []
    threads = [threading.Thread(target=lambda i=i: results.append(c(i)(i))) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(10)
    assert sorted(results) == [(i, i) for i in range(4)]
    lookups = target.lookups
    c(1)(2)
    assert target.lookups == lookups


def g3(a, b=2, *, c, **rest):
    return (a, b, c, rest)


# (stored keywords, call args, call keywords, expected: a result, "curry", or an error message)
SHAPES = [
    ({"c": 0}, (1,), {}, (1, 2, 0, {})),
    ({}, (1,), {}, "curry"),
    ({}, (), {"c": 5}, "curry"),
    ({}, (1,), {"c": 5, "z": 9}, (1, 2, 5, {"z": 9})),
    ({"c": 0}, (1, 2, 3), {}, "g3() takes from 1 to 2 positional arguments but 3 positional arguments "
                              "(and 1 keyword-only argument) were given"),
    ({"c": 0}, (1,), {"a": 1}, "g3() got multiple values for argument 'a'"),
]


@pytest.mark.parametrize("stored, args, kwargs, expected", SHAPES)
def test_a_repeated_call_shape_has_the_same_outcome(stored, args, kwargs, expected):
    c = q.curry(g3, **stored)
    for value in (1, "x", None):  # the second and later calls reuse what the first learnt
        args = (value,) + args[1:] if args else args
        if isinstance(expected, str) and expected != "curry":
            with pytest.raises(TypeError) as info:
                c(*args, **kwargs)
            assert str(info.value) == expected
            continue
        out = c(*args, **kwargs)
        if expected == "curry":
            assert type(out) is q.curry
        else:
            assert out == (value,) + expected[1:]


def test_shapes_differ_by_keyword_names_and_count():
    c = q.curry(g3)
    assert type(c(1)) is q.curry and c(1, c=3) == (1, 2, 3, {})
    assert type(c(b=1)) is q.curry and c(1, b=1, c=3) == (1, 1, 3, {})
    assert c(1, 5, c=3) == (1, 5, 3, {}) and type(c(1, 5)) is q.curry


def test_a_signature_of_its_own_is_asked_at_every_call():
    import inspect

    binds = []

    class Logged(inspect.Signature):
        def bind(self, *args, **kwargs):
            binds.append((args, kwargs))
            return super().bind(*args, **kwargs)

    class Target:
        __signature__ = Logged.from_callable(g3)

        def __call__(self, *args, **kwargs):
            return g3(*args, **kwargs)

    c = q.curry(Target(), c=0)
    assert c(1) == c(1) == (1, 2, 0, {})
    assert binds == [((1,), {"c": 0})] * 2


def h10(a, b, c, d, e, f, g, h, i, j):
    return (a, b, i, j)


@pytest.mark.parametrize("make", [
    lambda: q.curry(h10)(1, 2, 3, 4)(5, 6, 7, 8, 9)(10),  # the last call passes ten at once
    lambda: q.curry(h10, 1, 2, 3, 4, 5, 6, 7, 8)(9)(10),
    lambda: q.curry(lambda *a: (a[0], a[1], a[-2], a[-1]))(1, 2, *range(3, 9), 9, 10),
])
def test_many_positionals_arrive_in_order(make):
    assert make() == (1, 2, 9, 10)


def test_alternating_shapes_on_one_curry_keep_their_outcomes():
    c = q.curry(g3, c=0)
    for _ in range(3):
        assert c(1) == (1, 2, 0, {}) and c(1, b=5) == (1, 5, 0, {})
        assert c(1, c=7) == (1, 2, 7, {}) and type(q.curry(g3)(1)) is q.curry
    w = q.curry(g3)(z=1)  # partials share nothing they could change
    assert w(1, c=2) == (1, 2, 2, {"z": 1}) and w(3, c=4, z=5) == (3, 2, 4, {"z": 5}) and w(1, c=2)[3] == {"z": 1}


def test_a_curry_recursing_through_its_python_function_is_a_recursion_error():
    def f(x):
        return c(x)

    c = q.curry(f)
    with pytest.raises(RecursionError):
        c(1)
