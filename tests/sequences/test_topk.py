import array
import ctypes
import random
import sys

import pytest

from quorin import _quorin as q

from helpers import INT_CODES, LIMITS, Boom

PARALLEL = 1 << 19  # integer buffers at least this long may be split across the pool

def expected_top(k, values):
    return tuple(sorted(values, reverse=True)[:k])


def exact(got, expected):
    assert type(got) is tuple
    assert got == expected
    assert [type(x) for x in got] == [type(x) for x in expected]


# -- object paths --------------------------------------------------------------

@pytest.mark.parametrize("k, seq, expected", [
    (2, [1, 3, 2, 3], (3, 3)),
    (2, ["b", "a", "c"], ("c", "b")),
    (0, [1, 2], ()),
    (5, [2, 9, 4], (9, 4, 2)),
    (3, [], ()),
    (2, lambda: iter([5, 1, 7]), (7, 5)),
    (2, (1.5, -2, 8), (8, 1.5)),
    (1, "hello", ("o",)),
    (2, {"x": 1, "z": 2, "y": 3}, ("z", "y")),
    (2 ** 64 - 1, [1, 2], (2, 1)),
    (True, [4, 8], (8,)),
    (False, [4, 8], ()),
])
def test_topk(k, seq, expected):
    seq = seq() if callable(seq) else seq  # a fresh iterator for every run
    exact(q.topk(k, seq), expected)


def test_binding():
    assert q.topk(k=1, seq=[1, 2]) == (2,)
    assert q.topk(1, [1, 2], key=None) == (2,)
    assert q.topk(1, [1, 2], None) == (2,)
    assert q.topk.__doc__ is None
    assert q.topk.__text_signature__ == "(k, seq, key=None)"
    with pytest.raises(TypeError, match=r"^topk\(\) missing 1 required positional argument: 'seq'$"):
        q.topk(1)
    with pytest.raises(TypeError, match=r"^topk\(\) takes from 2 to 3 positional arguments but 4 were given$"):
        q.topk(1, [], None, None)


def test_ties_keep_input_order():
    one, onef, true = 1, 1.0, True
    got = q.topk(3, [0, one, onef, true, -1])
    assert [type(x) for x in got] == [int, float, bool]
    got = q.topk(2, [0.5, true, one, onef])
    assert [type(x) for x in got] == [bool, int]


@pytest.mark.parametrize("k, key, seq, expected", [
    (2, len, ["aa", "b", "cc"], ("aa", "cc")),
    (3, len, ["x", "yy", "z", "ww"], ("yy", "ww", "x")),
    (2, 0, [(1, "a"), (3, "b"), (2, "c")], ((3, "b"), (2, "c"))),
    (2, [1, 0], [(1, 5), (2, 5), (9, 1)], ((2, 5), (1, 5))),
    (1, [], [(1,), (2,)], ((1,),)),  # empty key list: every key is (), ties keep order
    (2, "age", [{"age": 3}, {"age": 9}, {"age": 3}], ({"age": 9}, {"age": 3})),
    (5, lambda x: -x, [3, 1, 2], (1, 2, 3)),
    (0, len, ["a", "bb"], ()),
    (2, abs, lambda: iter([-3, 2, 3]), (-3, 3)),
])
def test_with_key(k, key, seq, expected):
    seq = seq() if callable(seq) else seq  # a fresh iterator for every run
    got = q.topk(k, seq, key=key)
    assert got == expected
    assert all(g is e or g == e for g, e in zip(got, expected))


def test_key_ranks_uncomparable_elements_and_keeps_identity():
    dicts = [{"v": 1}, {"v": 5}, {"v": 5}, {"v": 2}]
    got = q.topk(3, dicts, key="v")
    assert got[0] is dicts[1] and got[1] is dicts[2] and got[2] is dicts[3]


def test_key_tuple_selects_one_item():
    d = [{(0, 1): 4}, {(0, 1): 7}]
    assert q.topk(1, d, key=(0, 1)) == ({(0, 1): 7},)


def test_key_list_subclass_selects_several():
    class L(list):
        pass

    assert q.topk(1, [(1, 2), (2, 1)], key=L([1])) == ((1, 2),)


def test_key_called_once_per_element_in_order():
    calls = []

    def key(x):
        calls.append(x)
        return x % 3

    assert q.topk(2, [1, 5, 2, 8], key=key) == (5, 2)
    assert calls == [1, 5, 2, 8]


@pytest.mark.parametrize("k", [-1, -(2 ** 70)])
def test_negative_k(k):
    with pytest.raises(OverflowError) as info:
        q.topk(k, [1])
    assert info.value.__notes__ == ["while processing 'k'"]


@pytest.mark.parametrize("k, exc", [("2", TypeError), (1.0, TypeError), (None, TypeError), (2 ** 64, OverflowError)])
def test_bad_k(k, exc):
    with pytest.raises(exc) as info:
        q.topk(k, [1])
    assert info.value.__notes__ == ["while processing 'k'"]


def test_k_converted_before_seq_is_touched():
    it = iter([1, 2])
    with pytest.raises(OverflowError):
        q.topk(-1, it)
    assert next(it) == 1


def test_k_through_index():
    class Two:
        def __index__(self):
            return 2

    assert q.topk(Two(), [3, 1, 4]) == (4, 3)
    assert q.topk(Two(), array.array("q", [3, 1, 4])) == (4, 3)


def test_zero_k_still_sorts_everything():
    with pytest.raises(TypeError, match="not supported between instances"):
        q.topk(0, [1, "a"])
    with pytest.raises(TypeError, match="not supported between instances"):
        q.topk(0, [1, "a"], key=lambda x: x)


def test_comparison_error_propagates():
    with pytest.raises(TypeError, match="not supported between instances"):
        q.topk(1, [{}, {}])
    with pytest.raises(TypeError, match="not supported between instances"):
        q.topk(1, [1, 2], key=lambda x: {} if x == 1 else 0)


def failing_iter(items):
    yield from items
    raise Boom


def raising_key(x):
    if x == "boom":
        raise Boom
    return 0


class CmpBoom:
    def __lt__(self, other):
        raise Boom

    __gt__ = __lt__


@pytest.mark.parametrize("call", [
    lambda objs: q.topk(2, failing_iter(objs)),
    lambda objs: q.topk(2, failing_iter(objs), key=id),
    lambda objs: q.topk(2, objs + ["boom"], key=raising_key),
    lambda objs: q.topk(2, objs, key=lambda x: CmpBoom()),
    lambda objs: q.topk(2, [CmpBoom()] + objs + [CmpBoom()]),
    lambda objs: q.topk(2, objs, key=5),  # object() is not subscriptable
    lambda objs: q.topk(2, objs, key=[0]),
])
def test_errors_propagate_with_nothing_kept(call):
    objs = [object(), object(), object()]
    before = [sys.getrefcount(o) for o in objs]
    with pytest.raises((Boom, TypeError)):
        call(list(objs))
    assert [sys.getrefcount(o) for o in objs] == before


def test_result_holds_only_the_returned_references():
    objs = [object() for _ in range(4)]
    before = [sys.getrefcount(o) for o in objs]
    got = q.topk(2, objs, key=id)
    after = [sys.getrefcount(o) for o in objs]
    assert sorted(a - b for a, b in zip(after, before)) == [0, 0, 1, 1]
    del got
    assert [sys.getrefcount(o) for o in objs] == before


def test_not_iterable():
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        q.topk(1, 5)
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        q.topk(1, 5, key=len)


# -- integer path --------------------------------------------------------------

@pytest.mark.parametrize("code", INT_CODES)
@pytest.mark.parametrize("size", [0, 1, 9, 1000, PARALLEL + 5])
@pytest.mark.parametrize("k", [0, 1, 3, 7, 10, 1001])
def test_integer_buffer_matches_object_path(code, size, k, no_iter):
    no_iter.iterated = 0
    lo, hi = LIMITS[code]
    rng = random.Random(size * 31 + k)
    pool = [lo, hi, 0, 1, hi - 1, lo + 1] + [rng.randint(lo, hi) for _ in range(20)]
    values = [pool[rng.randrange(len(pool))] for _ in range(size)] if size < 5000 else \
        (pool * (size // len(pool) + 1))[:size]
    buf = no_iter(code, values)
    got = q.topk(k, buf)
    # Read through the buffer, not iterated (an empty array's memory may be
    # misaligned static storage, which is fine either way).
    assert no_iter.iterated == 0 or size == 0
    exact(got, expected_top(k, values))
    exact(got, q.topk(k, buf.tolist()))


@pytest.mark.parametrize("code", "fd")
def test_float_arrays_take_the_object_path(code, no_iter):
    no_iter.iterated = 0
    assert q.topk(2, no_iter(code, [1.5, 3.0, 2.5])) == (3.0, 2.5)
    assert no_iter.iterated == 1


@pytest.mark.parametrize("seq, k, expected", [
    (b"abca", 2, (99, 98)),
    (bytearray(b"\x00\xff\x10"), 5, (255, 16, 0)),
    (array.array("q", [5, -1, 7]), 2, (7, 5)),
    (array.array("Q", [2 ** 64 - 1, 0, 5]), 1, (2 ** 64 - 1,)),
    (array.array("b", [-128, 127, -1]), 3, (127, -1, -128)),
    (memoryview(b"abc").cast("c"), 2, (b"c", b"b")),
    (memoryview(b"azbycx")[::2], 2, (99, 98)),  # strided
    (memoryview(bytes(17))[1:].cast("q"), 3, (0, 0)),  # misaligned
    ((ctypes.c_longlong * 3)(3, -9, 4), 2, (4, 3)),
    ((ctypes.c_int32.__ctype_be__ * 3)(1, 256, 2), 2, (256, 2)),  # big-endian data
])
def test_other_buffers(seq, k, expected):
    exact(q.topk(k, seq), expected)


def test_key_on_integer_buffer_takes_the_key_path():
    assert q.topk(2, array.array("q", [1, -5, 3]), key=abs) == (-5, 3)
    assert q.topk(2, b"abc", key=lambda b: -b) == (97, 98)


@pytest.mark.parametrize("order", ["ascending", "descending", "random", "constant"])
def test_large_buffers(order):
    n = PARALLEL + 3
    if order == "ascending":
        buf = array.array("q", range(-n, n, 2))
    elif order == "descending":
        buf = array.array("q", range(n, 0, -1))
    elif order == "constant":
        buf = array.array("q", [-7]) * n
    else:
        buf = array.array("Q", random.Random(3).randbytes(8 * n))
    top = sorted(buf.tolist(), reverse=True)[:257]
    for k in (1, 10, 257):
        exact(q.topk(k, buf), tuple(top[:k]))


@pytest.mark.parametrize("code", "qBi")
@pytest.mark.parametrize("n", [200, 1037])
@pytest.mark.parametrize("k", [1, 3])
def test_late_large_values_at_every_block_edge(code, n, k):
    # Values worth keeping at the first and last places of blocks of values
    # that are passed over together, and in a short tail.
    for where in sorted({k, 63, 64, 65, 127, 128, n - 65, n - 64, n - 2, n - 1}):
        values = [i % 5 for i in range(n)]
        values[where] = 100
        values[min(n - 1, where + 1)] = 99
        buf = array.array(code, values)
        exact(q.topk(k, buf), expected_top(k, values))


def test_large_buffer_k_beyond_length():
    values = [(i * 7919) % 1_000_003 for i in range(PARALLEL + 1)]
    got = q.topk(2 ** 64 - 1, array.array("I", values))
    assert got == tuple(sorted(values, reverse=True))


def test_large_buffer_maximum_in_last_chunk():
    buf = array.array("H", [1]) * (3 * PARALLEL)
    buf[-1] = 65535
    buf[len(buf) // 2] = 2
    assert q.topk(3, buf) == (65535, 2, 1)


def test_numpy_integer_dtypes():
    np = pytest.importorskip("numpy")
    for dtype in ["i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8", "longlong", "ulonglong"]:
        info = np.iinfo(dtype)
        arr = np.array([0, info.max, info.min, 3], dtype=dtype)
        exact(q.topk(3, arr), expected_top(3, arr.tolist()))


@pytest.mark.parametrize("make, native", [
    (lambda np: np.array([3, 1, 7], dtype=">i8"), True),
    (lambda np: np.array([3, 0, 1, 0, 7], dtype="i8")[::2], True),
    (lambda np: np.array([3, 1, 7], dtype="f8"), False),
])
def test_numpy_layouts_and_non_integers(make, native):
    np = pytest.importorskip("numpy")
    got = q.topk(2, make(np))
    assert got == (7, 3)
    assert all((type(x) is int) is native for x in got)  # numpy scalars come from iterating


def test_numpy_large_parallel():
    np = pytest.importorskip("numpy")
    arr = np.random.default_rng(9).integers(0, 2 ** 64 - 1, size=3 * PARALLEL, dtype=np.uint64)
    exact(q.topk(20, arr), tuple(int(v) for v in np.sort(arr)[::-1][:20]))


def test_bytearray_resizable_after_every_call():
    ba = bytearray(b"abc" * (PARALLEL // 3 + 5))
    assert q.topk(2, ba) == (99, 99)
    ba.append(1)  # resizing raises BufferError while a view is still exported
    del ba[1000:]
    assert q.topk(1, ba, key=lambda b: -b) == (97,)
    ba.append(2)
    for bad in (-1, "x"):
        with pytest.raises((OverflowError, TypeError)):
            q.topk(bad, ba)
        ba.append(3)
    with pytest.raises(Boom):
        q.topk(1, ba, key=lambda b: raising_key("boom"))
    ba.append(4)
    with pytest.raises(TypeError):
        q.topk(1, ba, key=lambda b: {b: 0})
    ba.extend(b"xyz")
    assert q.topk(0, ba) == ()
    assert q.topk(1, memoryview(ba)[::2]) == (122,)
    ba.clear()


# -- selection without a full sort agrees with the stable sort ----------------

from hypothesis import given, settings, strategies as st  # noqa: E402


class IntSub(int):
    pass


class StrSub(str):
    pass


class FloatSub(float):
    pass


def sort_head(k, seq, key=None):
    """The stable descending sort's head, or the exception the sort raises."""
    try:
        if key is None:
            items = list(seq)
            items.sort(reverse=True)
            return tuple(items[:k])
        decorated = [(key(x), -i, x) for i, x in enumerate(seq)]
        decorated.sort(reverse=True)
        return tuple(d[2] for d in decorated[:k])
    except Exception as e:  # noqa: BLE001
        return [type(e), str(e)]


def same_outcome(k, make, key=None):
    expected = sort_head(k, make(), key)
    try:
        got = q.topk(k, make(), key=key)
    except Exception as e:  # noqa: BLE001
        got = [type(e), str(e)]
    assert type(got) is type(expected)
    if type(got) is list:
        assert got == expected
    else:
        assert len(got) == len(expected) and all(g is e for g, e in zip(got, expected))  # ties: the earliest


numbers = st.one_of(st.integers(-3, 3), st.integers(-2 ** 70, 2 ** 70), st.sampled_from([0.0, -0.0, 2.0 ** 53, 2 ** 53 + 1]),
                    st.floats(allow_nan=False), st.booleans())
odd = st.one_of(st.just(float("nan")), st.builds(IntSub, st.integers(-3, 3)), st.builds(FloatSub, st.floats(-3, 3)),
                st.builds(StrSub, st.text("ab", max_size=2)), st.text("ab", max_size=2))
texts = st.text("abé\U0001f600", max_size=3)
values = st.one_of(st.lists(numbers.filter(lambda x: type(x) is not bool), max_size=30), st.lists(texts, max_size=30),
                   st.lists(st.one_of(numbers, odd), max_size=12), st.lists(st.one_of(texts, odd), max_size=12))


@pytest.mark.no_refleak  # hypothesis keeps growing caches of its own
@settings(max_examples=150, deadline=None)
@given(st.integers(0, 12), values, st.sampled_from([list, tuple, iter]))
def test_plain_selection_matches_sort(k, items, container):
    same_outcome(k, lambda: container(items))


@pytest.mark.no_refleak
@settings(max_examples=150, deadline=None)
@given(st.integers(0, 12), values, st.sampled_from([lambda x: x, lambda x: -x if type(x) in (int, float) else x]))
def test_plain_keys_match_decorated_sort(k, items, key):
    same_outcome(k, lambda: items, key)


class LyingHint:
    """An iterator whose __length_hint__ lies or raises."""

    def __init__(self, items, hint):
        self.it, self.hint = iter(items), hint

    def __iter__(self):
        return self

    def __next__(self):
        return next(self.it)

    def __length_hint__(self):
        if isinstance(self.hint, type):
            raise self.hint("hint")
        return self.hint


# Functions that only iterate their input: none may ask for its length hint.
ITERATING = {
    "topk": (lambda it: q.topk(2, it), [3, 1, 2], (3, 2)),
    "topk-key": (lambda it: q.topk(2, it, key=abs), [3, -4, 2], (-4, 3)),
    "juxt": (lambda it: q.juxt(it)(-2), [abs, str], (2, "-2")),
    "assoc_in": (lambda it: q.assoc_in({}, it, 1), ["a", "b"], {"a": {"b": 1}}),
    "merge": (lambda it: q.merge(it), [{"a": 1}, {"b": 2}], {"a": 1, "b": 2}),
}


@pytest.mark.parametrize("hint", [sys.maxsize, "many", -1, ValueError, OverflowError], ids=repr)
@pytest.mark.parametrize("call, items, expected", ITERATING.values(), ids=ITERATING)
def test_length_hint_is_never_consulted(call, items, expected, hint):
    assert call(LyingHint(items, hint)) == expected
