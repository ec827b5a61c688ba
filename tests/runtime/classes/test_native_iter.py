import itertools
import operator

import pytest

from quorin import _quorin as q


class _Item:
    def __init__(self, f):
        self.f = f

    def __getitem__(self, i):
        return self.f(i)


@pytest.mark.parametrize("make, free_steps", [
    (lambda f: q.remove(f, [1, 2, 3]), 0),
    (lambda f: q.accumulate(f, [1, 2, 3]), 1),
    (lambda f: q.unique([1, 2, 3], key=f), 0),
    (lambda f: q.pluck(0, [_Item(f)] * 2), 0),
    (lambda f: q.interpose(0, itertools.chain([0], map(f, [1, 2, 3]))), 1),
    (lambda f: q.sliding_window(1, map(f, [1, 2])), 0),
])
def test_reentry_is_refused_and_iterator_stays_usable(make, free_steps):
    holder = {}
    seen = []

    def callback(*args):
        try:
            next(holder["it"])
        except ValueError as e:
            seen.append(str(e))
            raise
        return args[-1]

    it = holder["it"] = make(callback)
    for _ in range(free_steps):
        next(it)
    with pytest.raises(ValueError, match="^iterator already executing$"):
        next(it)
    assert seen == ["iterator already executing"]
    # The flag was released: the next call runs a new step (and re-enters again).
    with pytest.raises(ValueError, match="^iterator already executing$"):
        next(it)
    assert len(seen) == 2
    holder.clear()


def test_reentry_into_iterate_ends_it():
    holder = {}
    holder["it"] = it = q.iterate(lambda x: next(holder["it"]), 1)
    assert next(it) == 1
    with pytest.raises(ValueError, match="^iterator already executing$"):
        next(it)
    assert list(it) == []
    holder.clear()


def test_reentry_caught_inside_callback():
    holder = {}

    def pred(x):
        with pytest.raises(ValueError, match="iterator already executing"):
            next(holder["it"])
        return x % 2

    holder["it"] = q.remove(pred, range(6))
    assert list(holder["it"]) == [0, 2, 4]
    holder.clear()


@pytest.mark.parametrize("it", [
    lambda: q.iterate(abs, 1), lambda: q.remove(bool, []), lambda: q.accumulate(operator.add, []),
    lambda: q.interleave([]), lambda: q.unique([]), lambda: q.unique(b""), lambda: q.interpose(0, [1]),
    lambda: q.sliding_window(2, []), lambda: q.pluck(0, []),
])
def test_iter_returns_self(it):
    obj = it()
    assert iter(obj) is obj


def test_exhausted_native_iter_keeps_raising_stop_iteration():
    it = q.remove(bool, [1])
    assert list(it) == []
    for _ in range(3):
        with pytest.raises(StopIteration):
            next(it)
    assert list(it) == []


def test_no_length_hint():
    assert operator.length_hint(q.remove(bool, [0, 0, 0])) == 0
    assert not hasattr(q.remove(bool, []), "__length_hint__")


def test_next_as_method():
    it = q.remove(bool, [0, 5])
    assert it.__next__() == 0
    with pytest.raises(StopIteration):
        it.__next__()
        it.__next__()


class _Bytes(bytearray):
    pass


def _held_by_buffer(o):
    b = _Bytes(b"ab")
    b.owner = o
    return q.unique(b)


@pytest.mark.parametrize("make", [
    lambda o: q.remove(o.f, [1]),
    lambda o: q.accumulate(o.f, [1]),
    lambda o: q.iterate(o.f, 1),
    lambda o: q.interleave([[o]]),
    lambda o: q.unique([1], key=o.f),
    lambda o: q.interpose(o, [1, 2]),
    lambda o: q.sliding_window(3, [o]),
    lambda o: q.pluck(0, [[o]]),
    lambda o: q.pluck([0], [[o]], None),
    _held_by_buffer,
])
def test_cycle_through_callback_is_collected(make, cycle_collected):
    assert cycle_collected(make)


@pytest.mark.no_refleak
@pytest.mark.parametrize("wrap", [
    lambda it: q.remove(bool, it),
    lambda it: q.accumulate(max, it),
    lambda it: q.interleave([it]),
    lambda it: q.unique(it),
    lambda it: q.interpose(0, [it]),
    lambda it: q.sliding_window(1, it),
    lambda it: q.pluck(0, it),
])
def test_deep_chain_is_released_without_overflow(wrap, deep_chain):
    deep_chain(wrap)


@pytest.mark.parametrize("it, name", [
    (lambda: q.unique([]), "UniqueIter"), (lambda: q.unique(b""), "UniqueIntIter"),
    (lambda: q.interpose(0, [1]), "InterposeIter"), (lambda: q.sliding_window(2, []), "SlidingWindowIter"),
    (lambda: q.pluck(0, []), "PluckIter"),
])
def test_dedicated_classes(it, name):
    cls = type(it())
    assert (cls.__qualname__, cls.__module__) == (name, "quorin._quorin")
    assert cls.__doc__ and not hasattr(q, name)
    assert cls.__length_hint__.__text_signature__ == "($self)"
    with pytest.raises(TypeError):
        cls()


# Plucking 0 from it gives it back, at any depth.
SELF_ITEM = {}
SELF_ITEM[0] = SELF_ITEM


@pytest.mark.no_refleak
@pytest.mark.parametrize("wrap, source, expected", [
    (lambda it: q.remove(bool, it), [0, 2, 0], [0, 0]),
    (lambda it: q.accumulate(max, it), [0, 2], [0, 2]),
    (lambda it: q.unique(it), [0, 2, 0], [0, 2]),
    (lambda it: map(operator.itemgetter(0), q.join(0, it, 0, [(1,)])), [(1,)], [(1,)]),
    (lambda it: map(operator.itemgetter(1), q.join(0, [(1,)], 0, it)), [(1,)], [(1,)]),
    (lambda it: q.pluck(0, it), [SELF_ITEM], [SELF_ITEM]),
    (lambda it: q.pluck([0], it, None), [SELF_ITEM], [(SELF_ITEM,)]),
    (lambda it: map(operator.itemgetter(0), q.partition_all(1, it)), [5], [5]),
    (lambda it: map(operator.itemgetter(0), q.partition(1, it)), [5], [5]),
    (lambda it: map(operator.itemgetter(0), q.diff(it, itertools.repeat(None))), [5], [5]),
    (lambda it: q.interleave([it, []]), [1, 2], [1, 2]),
    (lambda it: q.interpose(0, it), [5], [5]),
])
def test_deep_chain_iterated_works_or_is_a_recursion_error(wrap, source, expected):
    it = iter(source)
    for _ in range(10**5):
        it = wrap(it)
    # Whether the native stack suffices depends on the interpreter and the
    # thread; running out of it must be a RecursionError, never a crash.
    try:
        result = list(it)
    except RecursionError:
        return
    assert result == expected
