import array
import itertools

import pytest
from hypothesis import given, settings, strategies as st

from quorin import _quorin as q

from helpers import INT_CODES, LIMITS, Boom, failing_iter, fresh

# numpy itself grows the interpreter's total reference count with every
# array it creates on the debug build, so these cannot take part in the
# refleak mode; the references our calls hold are checked directly instead
# (test_numpy_array_reference_is_released).
numpy_refcounts = pytest.mark.no_refleak


class SameHash:
    """Instances all hash alike; equality by `key`, counting comparisons."""

    def __init__(self, key, log=None):
        self.key, self.log = key, log

    def __hash__(self):
        return 7

    def __eq__(self, other):
        if self.log is not None:
            self.log.append((self.key, other.key))
        return self.key == other.key


class EqRaises:
    def __hash__(self):
        return 1

    def __eq__(self, other):
        raise Boom


class HashRaises:
    def __hash__(self):
        raise Boom


# --- isdistinct -------------------------------------------------------------------

@pytest.mark.parametrize("seq, expected", [
    ([], True), ((), True), (b"", True), (lambda: iter([]), True), ("", True),
    (b"abca", False), (b"abc", True), (bytearray(b"aa"), False),
    ([1, 1.0], False), ([1, True], False), ([0, False, 0.0], False), ([1, 2, 3], True),
    ("abca", False), ("abc", True), ((1, (1,)), True), (((1, 2), (1, 2)), False),
    ({1: "a", 2: "a"}, True), (frozenset([1, 2]), True), (range(10), True),
    (lambda: (x % 5 for x in range(6)), False), ([None, None], False), ([-1, -2], True),
    (array.array("q", [0, 2**40, 0]), False), (array.array("q", [0, 2**40, -2**40]), True),
    (array.array("Q", [2**64 - 1, 2**63, 2**64 - 1]), False),
    ([2**100, 2**100 + 1], True), ([2**100, 2**100], False),
])
def test_isdistinct(seq, expected):
    assert q.isdistinct(fresh(seq)) is expected


@numpy_refcounts
@pytest.mark.parametrize("dtype", ["int64", "uint64", "int32", "int8", "uint16"])
def test_isdistinct_numpy(dtype):
    np = pytest.importorskip("numpy")
    if np.dtype(dtype).itemsize == 8:
        assert q.isdistinct(np.array([0, 2**40, 0], dtype=dtype)) is False
        if dtype == "int64":
            assert q.isdistinct(np.array([0, 2**40, -2**40], dtype=dtype)) is True
    assert q.isdistinct(np.arange(100, dtype=dtype)) is True
    assert q.isdistinct(np.array([3, 1, 4, 1, 5], dtype=dtype)) is False
    assert q.isdistinct(np.array([], dtype=dtype)) is True


def test_isdistinct_strided_memoryview_same_answer():
    arr = array.array("q", [1, 5, 2, 5, 3, 5, 1])
    every_second = memoryview(arr)[::2]
    assert q.isdistinct(every_second) is False  # 1, 2, 3, 1
    assert q.isdistinct(memoryview(arr)[:6:2]) is True  # 1, 2, 3
    assert q.isdistinct(memoryview(arr)[1::2]) is False  # 5, 5, 5


def test_isdistinct_consumes_up_to_the_first_repeat():
    it = iter([1, 2, 3, 2, 5, 6])
    assert q.isdistinct(it) is False
    assert list(it) == [5, 6]
    it = iter([1, 2, 3])
    assert q.isdistinct(it) is True
    assert list(it) == []


def test_isdistinct_list_is_iterated_not_indexed():
    class Listish(list):
        def __iter__(self):
            return iter([1, 1])

    assert q.isdistinct(Listish([1, 2])) is False


def test_isdistinct_identity_shortcut_and_nan():
    nan = float("nan")
    assert q.isdistinct([nan, nan]) is False
    assert q.isdistinct([float("nan"), float("nan")]) is True
    x = EqRaises()
    assert q.isdistinct([x, x]) is False  # the same object: __eq__ is never called


def test_isdistinct_same_hash_kept_apart():
    log = []
    items = [SameHash(i, log) for i in range(4)]
    assert q.isdistinct(items) is True
    assert log  # equal hashes did get compared
    assert q.isdistinct(items + [SameHash(2)]) is False


@pytest.mark.parametrize("seq, exc", [
    ([1, EqRaises(), EqRaises()], Boom),
    ([HashRaises()], Boom),
    ([1, HashRaises()], Boom),
    ([1, [2]], TypeError),
    (lambda: failing_iter(3), Boom),
    (5, TypeError),
    (None, TypeError),
])
def test_isdistinct_errors_propagate(seq, exc):
    with pytest.raises(exc):
        q.isdistinct(fresh(seq))


def test_isdistinct_error_after_a_repeat_is_not_reached():
    assert q.isdistinct(itertools.chain([1, 1], failing_iter())) is False


def test_isdistinct_unhashable_message():
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        q.isdistinct([[1]])


def test_isdistinct_releases_elements():
    import sys

    marker = object()
    before = sys.getrefcount(marker)
    assert q.isdistinct([marker, 1, 2]) is True
    assert q.isdistinct([marker, marker]) is False
    with pytest.raises(Boom):
        q.isdistinct(itertools.chain([marker], failing_iter()))
    assert sys.getrefcount(marker) == before


class HashCount(int):
    """An int whose hashing is counted."""

    calls = 0

    def __hash__(self):
        HashCount.calls += 1
        return int.__hash__(self)


def one_add_each(xs):
    """One set insertion per element: a repeat leaves the size unchanged."""
    seen = set()
    for x in xs:
        n = len(seen)
        seen.add(x)
        if len(seen) == n:
            return False
    return True


@pytest.mark.no_refleak  # hypothesis keeps growing caches of its own
@settings(max_examples=150, deadline=None)
@given(st.lists(st.one_of(st.integers(-5, 5), st.integers(), st.floats(), st.text("ab", max_size=2), st.booleans(),
                          st.builds(HashCount, st.integers(-3, 3)), st.just([])), max_size=40),
       st.sampled_from([list, tuple, iter]))
def test_isdistinct_matches_one_set_insertion_each(xs, container):
    HashCount.calls = 0
    try:
        expected = one_add_each(xs)
    except TypeError as e:
        expected = str(e)
    expected_hashes, HashCount.calls = HashCount.calls, 0
    try:
        got = q.isdistinct(container(xs))
    except TypeError as e:
        got = str(e)
    assert got == expected and HashCount.calls == expected_hashes
    if all(type(x) is not list for x in xs):
        assert expected == (len(set(xs)) == len(xs))


@pytest.mark.parametrize("code", INT_CODES)
@pytest.mark.parametrize("shape", ["run", "run, repeat at the end", "ends of the type", "spread", "spread, repeat",
                                   "fewer values than elements", "repeat at the start"])
def test_isdistinct_integer_buffers(code, shape):
    lo, hi = LIMITS[code]
    n = min(5000, hi - lo + 1)
    values = {
        "run": list(range(hi - n + 1, hi + 1)),
        "run, repeat at the end": list(range(lo, lo + n - 1)) + [lo + n // 2],
        "ends of the type": [lo, hi] + list(range(lo + 1, lo + n // 2)) + list(range(hi - n // 2, hi)),
        "spread": [lo + (hi - lo) // n * i for i in range(n)],
        "spread, repeat": [lo + (hi - lo) // n * i for i in range(n)] + [lo + (hi - lo) // n * 3],
        "fewer values than elements": [lo + i % (n - 1) for i in range(n)],
        "repeat at the start": [lo, lo] + list(range(lo + 1, lo + n - 1)),
    }[shape]
    buf = array.array(code, values)
    expected = len(set(values)) == len(values)
    assert q.isdistinct(buf) is expected
    assert q.isdistinct(memoryview(buf)[::-1]) is expected


@pytest.mark.no_refleak  # hypothesis keeps growing caches of its own
@settings(max_examples=100, deadline=None)
@given(st.sampled_from(INT_CODES), st.data())
def test_isdistinct_integer_buffer_matches_set(code, data):
    lo, hi = LIMITS[code]
    base = data.draw(st.integers(lo, hi))
    width = data.draw(st.sampled_from([1, 10, 3000, 10 ** 6, hi - lo]))
    values = data.draw(st.lists(st.integers(max(lo, base - width), min(hi, base + width)), max_size=2500))
    assert q.isdistinct(array.array(code, values)) is (len(set(values)) == len(values))


@pytest.mark.parametrize("n", [20, 21, 22, 42, 43, 700, 5000])
@pytest.mark.parametrize("tail", [[], [0], ["k", 7.0], [2 ** 70, 2.0 ** 70]])
def test_isdistinct_lists_about_their_table_size(n, tail):
    # The set is sized for the list's length up front: lengths at and beside
    # its fill limits, and a list that grows past them while it is read.
    xs = [i * 7 for i in range(n)] + tail
    expected = len(set(xs)) == len(xs)
    assert q.isdistinct(xs) is expected

    class Grows:
        def __hash__(self):
            xs.extend(range(10 ** 6, 10 ** 6 + n))
            return 1

    xs.insert(n // 2, Grows())
    assert q.isdistinct(xs) is expected


def test_isdistinct_large_lists():
    xs = list(range(100_000)) + ["w", 3.5, 2 ** 80]
    assert q.isdistinct(xs)
    assert not q.isdistinct(xs + [99_999])
    assert not q.isdistinct(xs + [2.0 ** 80])


# --- count ----------------------------------------------------------------------

def test_count_iterator_exhausts_it():
    it = iter(range(5))
    assert q.count(it) == 5
    assert list(it) == []


@pytest.mark.parametrize("seq, expected", [
    ([1, 2, 3], 3), ((), 0), ("abcd", 4), (b"xy", 2), ({1: 2}, 1), (set(), 0),
    (range(10**12), 10**12), (lambda: iter([]), 0), (lambda: (x for x in range(1000)), 1000),
    (array.array("q", [1, 2]), 2), (lambda: itertools.repeat(None, 7), 7),
])
def test_count(seq, expected):
    result = q.count(fresh(seq))
    assert result == expected and type(result) is int


def test_count_uses_length_without_iterating():
    class Sized:
        def __len__(self):
            return 42

        def __iter__(self):
            raise AssertionError("iterated")

    class ListNoIter(list):
        def __iter__(self):
            raise AssertionError("iterated")

    class LongList(list):
        def __len__(self):
            return 99

    assert q.count(Sized()) == 42
    assert q.count(ListNoIter([1, 2, 3])) == 3
    assert q.count(LongList([1])) == 99  # a subclass's own length is asked


def test_count_len_raises():
    class BadLen:
        def __len__(self):
            raise Boom

        def __iter__(self):
            return iter([1])

    with pytest.raises(Boom):
        q.count(BadLen())


def test_count_len_too_large_propagates():
    with pytest.raises(OverflowError):
        q.count(range(2**64))


def test_count_attribute_lookup_error_propagates():
    class Odd:
        def __getattr__(self, name):
            raise Boom

        def __iter__(self):
            return iter([1, 2])

    with pytest.raises(Boom):
        q.count(Odd())


def test_count_missing_len_attribute_falls_back_to_iteration():
    class Quiet:
        def __getattr__(self, name):
            raise AttributeError(name)

        def __iter__(self):
            return iter([1, 2])

    assert q.count(Quiet()) == 2


def test_count_instance_len_attribute_without_length_slot():
    class Iterable:
        def __iter__(self):
            return iter([1, 2])

    obj = Iterable()
    obj.__len__ = lambda: 2
    with pytest.raises(TypeError, match="has no len"):
        q.count(obj)


@pytest.mark.parametrize("seq, exc", [(lambda: failing_iter(4), Boom), (5, TypeError), (None, TypeError)])
def test_count_errors_propagate(seq, exc):
    with pytest.raises(exc):
        q.count(fresh(seq))


def test_count_not_iterable_message():
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        q.count(5)


# --- binding ----------------------------------------------------------------------

@pytest.mark.parametrize("fn, name", [(q.count, "count"), (q.isdistinct, "isdistinct")])
def test_binding(fn, name):
    assert fn.__doc__ is None and fn.__text_signature__ == "(seq)"
    assert fn(seq=[1, 2]) in (2, True)
    with pytest.raises(TypeError) as info:
        fn()
    assert str(info.value) == f"{name}() missing 1 required positional argument: 'seq'"
    with pytest.raises(TypeError) as info:
        fn([1], [2])
    assert str(info.value) == f"{name}() takes 1 positional arguments but 2 were given"
    with pytest.raises(TypeError) as info:
        fn([1], seq=[2])
    assert str(info.value) == f"{name}() got multiple values for argument 'seq'"
    with pytest.raises(TypeError) as info:
        fn(sequence=[2])
    assert str(info.value) == f"{name}() got an unexpected keyword argument 'sequence'"
