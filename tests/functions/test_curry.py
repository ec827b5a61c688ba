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
