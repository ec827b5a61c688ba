import collections
import itertools
import weakref

import pytest
from hypothesis import given, strategies as st

from quorin import _quorin as q


@pytest.mark.parametrize("call, expected", [
    (lambda: q.take(2, [1, 2, 3]), [1, 2]), (lambda: q.take(5, [1]), [1]), (lambda: q.take(0, [1]), []),
    (lambda: q.take(3, itertools.count()), [0, 1, 2]),
    (lambda: q.drop(1, iter("abc")), ["b", "c"]), (lambda: q.drop(5, [1]), []),
    (lambda: q.take_nth(2, range(5)), [0, 2, 4]), (lambda: q.take_nth(1, "ab"), ["a", "b"]),
    (lambda: q.take(None, [1, 2]), [1, 2]),
])
def test_islice_delegations(call, expected):
    result = call()
    assert type(result) is itertools.islice
    assert list(result) == expected


@pytest.mark.parametrize("call", [
    lambda: q.take(-1, [1]), lambda: q.drop(-1, []), lambda: q.take_nth(0, [1]), lambda: q.take_nth(-2, [1]),
    lambda: q.take(1.5, [1]),
])
def test_islice_validation_at_call(call):
    with pytest.raises(ValueError):
        call()


@pytest.mark.parametrize("fn", [q.take, q.drop, q.take_nth])
def test_not_iterable_at_call(fn):
    with pytest.raises(TypeError, match="not iterable"):
        fn(1, 5)


def test_take_is_lazy():
    pulled = []

    def gen():
        for i in range(10):
            pulled.append(i)
            yield i

    it = q.take(3, gen())
    assert pulled == []
    assert next(it) == 0 and pulled == [0]


@pytest.mark.parametrize("n, seq, expected", [
    (2, [1, 2, 3], [2, 3]), (2, (1, 2, 3), (2, 3)), (2, "abc", "bc"), (10, [1, 2], [1, 2]),
    (2, lambda: iter([1, 2, 3]), (2, 3)), (2, lambda: iter([]), ()), (0, [1, 2], [1, 2]),
    (0, lambda: iter([1, 2]), (1, 2)),
    (2, {"a": 1, "b": 2, "c": 3}, ("b", "c")), (1, range(5), range(4, 5)), (2 ** 64 - 1, [1, 2], [1, 2]),
    (2, b"xyz", b"yz"), (3, lambda: (i for i in range(100)), (97, 98, 99)), (True, [1, 2], [2]),
])
def test_tail(n, seq, expected):
    result = q.tail(n, seq() if callable(seq) else seq)
    assert result == expected
    assert type(result) is type(expected)


@pytest.mark.parametrize("n, exc", [(-1, OverflowError), ("1", TypeError), (1.0, TypeError)])
def test_tail_bad_count_carries_note(n, exc):
    with pytest.raises(exc) as info:
        q.tail(n, [1])
    assert info.value.__notes__ == ["while processing 'n'"]


def test_tail_propagates_other_slice_errors():
    class Picky:
        def __getitem__(self, key):
            raise IndexError("nope")

        def __iter__(self):
            return iter([1, 2])

    with pytest.raises(IndexError, match="nope"):
        q.tail(1, Picky())

    class KeyErrorSlice(Picky):
        def __getitem__(self, key):
            raise KeyError(key)

    assert q.tail(1, KeyErrorSlice()) == (2,)


def test_tail_iteration_error_propagates():
    def gen():
        yield 1
        raise RuntimeError("late")

    with pytest.raises(RuntimeError, match="late"):
        q.tail(1, gen())


def test_tail_not_sliceable_nor_iterable():
    with pytest.raises(TypeError, match="not iterable"):
        q.tail(1, 5)


@pytest.mark.no_refleak  # hypothesis keeps growing caches of its own
@given(st.integers(0, 40), st.lists(st.integers(), max_size=60))
def test_tail_of_an_iterator_is_the_bounded_deque(n, items):
    expected = tuple(collections.deque(items, maxlen=n)) if n else tuple(items)
    assert q.tail(n, iter(items)) == expected
    assert q.tail(n, items) == (items[-n:] if n else items)
    assert q.tail(n, tuple(items)) == (tuple(items)[-n:] if n else tuple(items))


def test_tail_of_an_exact_tuple_may_be_the_tuple_itself():
    t = (1, 2, 3)
    assert q.tail(5, t) is t[-5:]


def test_tail_releases_items_it_drops():
    class Item:
        pass

    refs = []

    def gen():
        for _ in range(50):
            item = Item()
            refs.append(weakref.ref(item))
            yield item

    kept = q.tail(3, gen())
    alive = [r for r in refs if r() is not None]
    assert [r() for r in alive] == list(kept)


def test_take_and_drop_convert_counts_through_islice():
    # islice itself converts the counts, once each, in call order.
    class Index:
        def __init__(self, log, v):
            self.log, self.v = log, v

        def __index__(self):
            self.log.append(self.v)
            return self.v

    log = []
    assert list(q.drop(Index(log, 2), iter("abcd"))) == ["c", "d"]
    assert list(q.take(Index(log, 1), "xy")) == ["x"]
    assert log == [2, 1]
