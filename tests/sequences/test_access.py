import collections.abc
import gc
import itertools

import pytest

from quorin import _quorin as q

from helpers import Boom, failing_iter, fresh

ISLICE_MESSAGE = "Indices for islice() must be None or an integer: 0 <= x <= sys.maxsize."


class Counting:
    """An iterable that records how many items were pulled."""

    def __init__(self, n):
        self.n, self.pulled = n, 0

    def __iter__(self):
        for i in range(self.n):
            self.pulled += 1
            yield i


@pytest.mark.parametrize("fn, seq, expected", [
    (q.first, [1, 2], 1), (q.first, lambda: iter("ab"), "a"), (q.first, {"k": 1}, "k"), (q.first, range(3, 9), 3),
    (q.second, [1, 2, 3], 2), (q.second, lambda: iter("abc"), "b"),
    (q.last, [1, 2, 3], 3), (q.last, lambda: (x for x in range(3)), 2), (q.last, "abc", "c"), (q.last, range(4), 3),
    (q.last, {"a": 1, "b": 2}, "b"),
])
def test_single_element(fn, seq, expected):
    assert fn(fresh(seq)) == expected


@pytest.mark.parametrize("fn, seq", [
    (q.first, []), (q.first, iter([])), (q.second, [1]), (q.second, []), (q.peek, []), (q.peek, iter(())),
])
def test_exhausted_raises_bare_stop_iteration(fn, seq):
    with pytest.raises(StopIteration) as info:
        fn(seq)
    assert info.value.args == ()


def test_first_reads_only_one_item():
    src = Counting(10)
    assert q.first(src) == 0 and src.pulled == 1
    it = iter(range(5))
    assert q.second(it) == 1
    assert next(it) == 2


@pytest.mark.parametrize("fn", [q.first, q.second, q.last, q.peek, lambda s: q.nth(3, s)])
def test_not_iterable(fn):
    with pytest.raises(TypeError, match="not iterable"):
        fn(5)


@pytest.mark.parametrize("fn", [q.first, q.second, lambda s: q.nth(3, s), q.peek, q.last])
def test_iterator_errors_propagate(fn):
    with pytest.raises(Boom):
        fn(failing_iter())


def test_second_error_on_second_step():
    with pytest.raises(Boom):
        q.second(failing_iter(1))


class Seq(collections.abc.Sequence):
    def __init__(self, data):
        self.data = data

    def __getitem__(self, i):
        return self.data[i]

    def __len__(self):
        return len(self.data)


@pytest.mark.parametrize("n, seq, expected", [
    (-1, [1, 2, 3], 3), (0, (7, 8), 7), (1, "abc", "b"), (-2, range(10), 8), (1, Seq([4, 5]), 5),
    (2, {"a": 1, "b": 2, "c": 3}, "c"), (2, lambda: iter([1, 2, 3]), 3), (0, lambda: iter([9]), 9),
    (True, lambda: iter([1, 2]), 2), (slice(1, None), [1, 2, 3], [2, 3]),
])
def test_nth(n, seq, expected):
    assert q.nth(n, fresh(seq)) == expected


def test_nth_sequence_errors_are_the_containers():
    with pytest.raises(IndexError, match="list index out of range"):
        q.nth(5, [1, 2, 3])
    with pytest.raises(IndexError, match="tuple index out of range"):
        q.nth(5, (1,))
    with pytest.raises(TypeError, match="list indices must be integers"):
        q.nth("x", [1])


@pytest.mark.parametrize("n", [-1, 1.5, "1", 2 ** 64, None])
def test_nth_iterator_rejects_bad_index(n):
    with pytest.raises(ValueError) as info:
        q.nth(n, iter([1, 2]))
    assert str(info.value) == ISLICE_MESSAGE


def test_nth_iterator_exhausted():
    with pytest.raises(StopIteration):
        q.nth(3, iter([1, 2, 3]))
    it = iter(range(10))
    assert q.nth(3, it) == 3
    assert next(it) == 4


def test_nth_isinstance_failure_propagates():
    class Hostile:
        # isinstance() consults __class__; a failing one must not be swallowed.
        @property
        def __class__(self):
            raise Boom

        def __iter__(self):
            return iter([1, 2])

    with pytest.raises(Boom):
        q.nth(0, Hostile())


def test_last_empty_raises_index_error():
    with pytest.raises(IndexError, match="list index out of range"):
        q.last([])
    with pytest.raises(IndexError, match="tuple index out of range"):
        q.last(iter([]))


@pytest.mark.parametrize("args, expected", [
    ((1, [10, 20]), 20), ((5, [10, 20], "d"), "d"), (("k", [10, 20], "d"), "d"),
    (([0, 5], [10, 20], None), (10, None)), (((0, 1), {(0, 1): "t"}), "t"), (("a", {"a": 1}), 1),
    (("b", {"a": 1}, None), None), (([], [1]), ()), ((["a", "b"], {"a": 1, "b": 2}), (1, 2)),
    ((slice(0, 1), [4, 5]), [4]), ((0, 5, "d"), "d"),
])
def test_get(args, expected):
    assert q.get(*args) == expected


def test_get_list_subclass_selects_several():
    class L(list):
        pass

    assert q.get(L([1, 0]), "xy") == ("y", "x")


@pytest.mark.parametrize("args, exc", [
    ((5, [10, 20]), IndexError), (([0, 5], [10, 20]), IndexError), (("x", {}), KeyError),
    (("k", [10, 20]), TypeError),
])
def test_get_without_default_raises(args, exc):
    with pytest.raises(exc):
        q.get(*args)


def test_get_default_only_for_lookup_errors():
    class Hostile:
        def __getitem__(self, key):
            raise Boom

    with pytest.raises(Boom):
        q.get(0, Hostile(), "d")
    with pytest.raises(Boom):
        q.get([0], Hostile(), "d")

    class Sub(LookupError):
        pass

    class Lookup:
        def __getitem__(self, key):
            raise Sub

    with pytest.raises(Sub):
        q.get(0, Lookup(), "d")


def test_get_too_many():
    with pytest.raises(TypeError) as info:
        q.get(1, [1], 2, 3)
    assert str(info.value) == "get takes at most 3 arguments"


def test_get_index_list_shrinking_during_walk():
    ind = [0, 1, 2, 3]

    class Shrinks:
        def __getitem__(self, key):
            if key == 0:
                del ind[2:]
            return key * 10

    assert q.get(ind, Shrinks()) == (0, 10)


def test_peek():
    head, rest = q.peek([1, 2])
    assert head == 1
    assert isinstance(rest, itertools.chain)
    assert list(rest) == [1, 2]
    it = iter(range(4))
    head, rest = q.peek(it)
    assert head == 0 and next(it) == 1
    assert list(rest) == [0, 2, 3]


def _outcome(call):
    try:
        return "ok", call()
    except Exception as exc:  # noqa: BLE001 - the exception itself is the result compared
        return type(exc), str(exc)


class Indexed(list):
    def __getitem__(self, i):
        return ("own", i)


@pytest.mark.parametrize("seq", [[10, 20, 30], (10, 20, 30), [], (), Indexed([10, 20])])
@pytest.mark.parametrize("i", [0, 2, -1, -3, 3, -4, True, 2 ** 30, -(2 ** 30), 2 ** 62, 2 ** 100, 1.0, "0"])
def test_index_answers_as_the_subscript(seq, i):
    # Exact lists and tuples are read in place; every answer and error must
    # stay the container's own, and a subclass keeps its __getitem__.
    expected = _outcome(lambda: seq[i])
    assert _outcome(lambda: q.nth(i, seq)) == expected
    assert _outcome(lambda: q.get(i, seq)) == expected
    assert q.get(i, seq, "d") == (expected[1] if expected[0] == "ok" else "d")
    assert q.get([i, i], seq, "d") == (q.get(i, seq, "d"),) * 2


@pytest.mark.parametrize("make", [list, tuple, Indexed])
@pytest.mark.parametrize("start", [0, 7])
@pytest.mark.parametrize("n", [0, 63, 64, 65, 200, 292, 293, 294, 10 ** 9, 2 ** 63 - 1])
def test_nth_of_a_list_or_tuple_iterator_leaves_it_where_islice_does(make, start, n):
    # Long skips over the builtin iterators move their index at once.
    ours, theirs = iter(make(range(300))), iter(make(range(300)))
    for it in (ours, theirs):
        for _ in range(start):
            next(it)
    expected = _outcome(lambda: next(itertools.islice(theirs, n, None)))
    assert _outcome(lambda: q.nth(n, ours)) == expected
    assert list(ours) == list(theirs)
    assert _outcome(lambda: q.nth(100, ours)) == (StopIteration, "")


def test_a_finalizer_that_advances_a_list_iterator_takes_its_own_item():
    # The index skip allocates between reading the index and setting it; a
    # collection there must not run a finalizer whose item the skip then
    # counts as one of its own.
    it = iter(list(range(1000)))
    taken = []

    class Thief:
        def __del__(self):
            taken.append(next(it))

    def plant():
        thief = Thief()
        thief.cycle = [thief]

    gc.collect()
    hold = [tuple([i]) for i in range(3000)] + [tuple([i, i, i]) for i in range(3000)]  # empty free lists
    plant()
    threshold = gc.get_threshold()
    gc.set_threshold(1)
    try:
        got = q.nth(100, it)
    finally:
        gc.set_threshold(*threshold)
    del hold
    gc.collect()
    # 101 items for nth and one for the finalizer, before or after them.
    assert (got, taken) in [(100, [101]), (101, [0])]


def test_nth_pulls_exactly_what_it_returns():
    counting = Counting(1000)
    assert q.nth(500, counting) == 500
    assert counting.pulled == 501


def test_last_of_an_iterator_pulls_until_exhausted_once():
    calls = []

    class Once:
        def __init__(self):
            self.i = 0

        def __iter__(self):
            return self

        def __next__(self):
            calls.append(self.i)
            self.i += 1
            if self.i > 3:
                raise StopIteration
            return self.i

    assert q.last(Once()) == 3
    assert calls == [0, 1, 2, 3]
