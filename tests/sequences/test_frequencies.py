import array
import collections
import ctypes
import os
import sys
import threading

import pytest

from quorin import _quorin as q

from helpers import INT_CODES, LIMITS, Boom

PARALLEL = 1 << 19  # integer buffers at least this long may be split across the pool
THREADS = max(1, len(os.sched_getaffinity(0)))

def oracle(values):
    """Counts in order of first occurrence, keeping the first key object."""
    out = {}
    for v in values:
        out[v] = out.get(v, 0) + 1
    return out


def same(got, expected):
    """Equal dicts with equal key order and exactly-typed keys and counts."""
    assert list(got.items()) == list(expected.items())
    assert [type(k) for k in got] == [type(k) for k in expected]
    assert all(type(c) is int for c in got.values())


# -- object path ---------------------------------------------------------------

@pytest.mark.parametrize("seq, expected", [
    ([], {}), ((), {}), (lambda: iter([]), {}), ("", {}), (b"", {}), (array.array("q"), {}), (bytearray(), {}),
    (b"aba", {97: 2, 98: 1}),
    ([1, 1.0, True], {1: 3}),
    ("abracadabra", {"a": 5, "b": 2, "r": 2, "c": 1, "d": 1}),
    ((3, 1, 3, 2, 1, 3), {3: 3, 1: 2, 2: 1}),
    (lambda: iter([None, "x", None]), {None: 2, "x": 1}),
    ({"k": 1, "j": 2}, {"k": 1, "j": 1}),
    (range(5, 0, -1), {5: 1, 4: 1, 3: 1, 2: 1, 1: 1}),
    ([-1, -2, -1], {-1: 2, -2: 1}),  # equal hashes, unequal keys
    ([(1, 2), (1, 2), (2, 1)], {(1, 2): 2, (2, 1): 1}),
    ([2 ** 70, 2 ** 70, -(2 ** 70)], {2 ** 70: 2, -(2 ** 70): 1}),
])
def test_counts_in_first_occurrence_order(seq, expected):
    seq = seq() if callable(seq) else seq  # a fresh iterator for every run
    got = q.frequencies(seq)
    assert type(got) is dict
    assert list(got.items()) == list(expected.items())


@pytest.mark.parametrize("seq, first_key", [([1, 1.0, True], 1), ([1.0, True, 1], 1.0), ([True, 1], True)])
def test_keeps_first_key_object(seq, first_key):
    (key,) = q.frequencies(seq)
    assert type(key) is type(first_key)


def test_binding():
    assert q.frequencies(seq=[1, 1]) == {1: 2}
    assert q.frequencies.__doc__ is None
    assert q.frequencies.__text_signature__ == "(seq)"
    with pytest.raises(TypeError, match=r"^frequencies\(\) missing 1 required positional argument: 'seq'$"):
        q.frequencies()
    with pytest.raises(TypeError, match=r"^frequencies\(\) takes 1 positional arguments? but 2 were given$"):
        q.frequencies([1], [2])
    with pytest.raises(TypeError, match=r"^frequencies\(\) got an unexpected keyword argument 'key'$"):
        q.frequencies([1], key=len)


def test_not_iterable():
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        q.frequencies(5)


def test_nan_by_identity():
    nan = float("nan")
    assert list(q.frequencies([nan, nan]).values()) == [2]
    assert list(q.frequencies([float("nan"), float("nan")]).values()) == [1, 1]


def test_identity_found_even_when_eq_says_no():
    class Never:
        def __eq__(self, other):
            return False

        def __hash__(self):
            return 7

    a, b = Never(), Never()
    assert list(q.frequencies([a, b, a, b, a]).items()) == [(a, 3), (b, 2)]


def test_subclasses_use_their_own_hash_and_iteration():
    class S(str):
        pass

    class I(int):
        pass

    assert q.frequencies([S("a"), "a", I(3), 3]) == {"a": 2, 3: 2}

    class L(list):
        def __iter__(self):
            return iter(["from-iter"])

    class T(tuple):
        def __iter__(self):
            return iter(["from-iter"])

    assert q.frequencies(L([1, 2])) == {"from-iter": 1}
    assert q.frequencies(T((1, 2))) == {"from-iter": 1}


def test_generator_is_consumed():
    it = iter([1, 2, 1])
    assert q.frequencies(it) == {1: 2, 2: 1}
    assert next(it, "done") == "done"


def test_list_growing_while_counted_is_read_to_its_current_end():
    data = []

    class Grow:
        def __hash__(self):
            if len(data) < 5:
                data.append(Grow())
            return id(self) >> 4

    data.append(Grow())
    got = q.frequencies(data)
    assert len(data) == 5
    assert list(got) == data and list(got.values()) == [1] * 5


def test_list_cleared_while_counted_stops_safely():
    data = []

    class Clear:
        def __hash__(self):
            data.clear()
            return 1

    data.extend([Clear(), Clear(), Clear()])
    got = q.frequencies(data)
    assert len(got) == 1 and list(got.values()) == [1]


class HashBoom:
    def __hash__(self):
        raise Boom


class EqBoom:
    def __hash__(self):
        return 11

    def __eq__(self, other):
        raise Boom


def failing_iter(items):
    yield from items
    raise Boom


@pytest.mark.parametrize("make", [
    lambda objs: objs + [HashBoom()],
    lambda objs: tuple(objs + [HashBoom()]),
    lambda objs: iter(objs + [HashBoom()]),
    lambda objs: objs + [EqBoom(), EqBoom()],
    lambda objs: failing_iter(objs),
])
def test_errors_propagate_with_nothing_kept(make):
    objs = [object(), object(), "a" * 30]
    before = [sys.getrefcount(o) for o in objs]
    seq = make(list(objs))
    with pytest.raises(Boom):
        q.frequencies(seq)
    del seq
    assert [sys.getrefcount(o) for o in objs] == before


def test_unhashable_element():
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        q.frequencies([1, [2]])


def test_result_holds_only_the_key_references():
    objs = [object(), object()]
    before = [sys.getrefcount(o) for o in objs]
    got = q.frequencies([objs[0], objs[1], objs[0]])
    assert [sys.getrefcount(o) for o in objs] == [b + 1 for b in before]
    del got
    assert [sys.getrefcount(o) for o in objs] == before


def test_many_keys_with_one_hash():
    class Same:
        def __init__(self, v):
            self.v = v

        def __hash__(self):
            return 5

        def __eq__(self, other):
            return isinstance(other, Same) and self.v == other.v

    objs = [Same(i % 7) for i in range(50)]
    got = q.frequencies(objs)
    assert [k.v for k in got] == list(range(7))
    assert list(got.values()) == [8, 7, 7, 7, 7, 7, 7]


# -- integer path --------------------------------------------------------------

@pytest.mark.parametrize("code", INT_CODES)
@pytest.mark.parametrize("size", [0, 1, 1000, PARALLEL + 3])
def test_integer_buffer_matches_object_path(code, size, no_iter):
    no_iter.iterated = 0
    lo, hi = LIMITS[code]
    pattern = [hi, lo, 0, hi, 1, lo + 1, hi - 1, 1, 0, 0] if lo else [hi, 0, 1, hi - 1, hi, 1, 2, 0]
    values = (pattern * (size // len(pattern) + 1))[:size]
    buf = no_iter(code, values)
    got = q.frequencies(buf)
    same(got, oracle(values))
    # Read through the buffer, not iterated (an empty array's memory may be
    # misaligned static storage, which is fine either way).
    assert no_iter.iterated == 0 or size == 0
    same(got, q.frequencies(buf.tolist()))


@pytest.mark.parametrize("code", "fd")
def test_float_arrays_take_the_object_path(code, no_iter):
    no_iter.iterated = 0
    buf = no_iter(code, [1.5, 2.0, 1.5])
    assert list(q.frequencies(buf).items()) == [(1.5, 2), (2.0, 1)]
    assert no_iter.iterated == 1


@pytest.mark.parametrize("make, expected", [
    (lambda: bytearray(b"abca"), {97: 2, 98: 1, 99: 1}),
    (lambda: memoryview(b"abca"), {97: 2, 98: 1, 99: 1}),
    (lambda: memoryview(bytearray(b"zz")), {122: 2}),
    (lambda: memoryview(b"aba").cast("c"), {b"a": 2, b"b": 1}),  # characters are not integers
    (lambda: memoryview(b"abcabc")[::2], {97: 1, 99: 1, 98: 1}),  # strided
    (lambda: memoryview(array.array("q", [5, -1, 5, 2]))[::-1], {2: 1, 5: 2, -1: 1}),
    (lambda: memoryview(bytes(17))[1:].cast("q"), {0: 2}),  # misaligned
    (lambda: memoryview(array.array("h", [1, 2, 1, 2])).cast("B").cast("h", (2, 2)), None),  # 2-D
    (lambda: (ctypes.c_longlong * 3)(7, -7, 7), {7: 2, -7: 1}),  # '<q'
    (lambda: (ctypes.c_int64.__ctype_be__ * 3)(1, 256, 1), {1: 2, 256: 1}),  # '>q': big-endian
    (lambda: (ctypes.c_uint16.__ctype_be__ * 2)(1, 258), {1: 1, 258: 1}),
    (lambda: (ctypes.c_bool * 3)(True, False, True), {True: 2, False: 1}),
])
def test_other_buffers(make, expected):
    obj = make()
    if expected is None:  # iterating a 2-D view yields rows... which memoryview cannot do
        with pytest.raises(NotImplementedError):
            q.frequencies(obj)
        return
    same(q.frequencies(obj), expected)


def test_buffer_export_failure_is_just_not_a_buffer():
    class Tricky(bytearray):
        def __buffer__(self, flags):
            raise Boom

        def __iter__(self):
            return iter([1, 1])

    got = q.frequencies(Tricky(b"xyz"))
    # Python-level __buffer__ replaces the export from 3.12 on; before that
    # the bytearray's own buffer is read.
    assert got == ({1: 2} if sys.version_info >= (3, 12) else {120: 1, 121: 1, 122: 1})


def test_cycling_values_across_chunks():
    buf = array.array("q", range(10)) * 100_000
    got = q.frequencies(buf)
    same(got, {v: 100_000 for v in range(10)})


def test_high_cardinality_keeps_buffer_order():
    values = list(range(10 ** 6, 0, -1))
    got = q.frequencies(array.array("q", values))
    assert list(got) == values
    assert set(got.values()) == {1}


def test_strided_high_cardinality():
    # Multiples of 2^20 share all their low bits: a table probing on the low
    # bits of the hash product would pile them into one run.
    values = [i << 20 for i in range(200_000)]
    got = q.frequencies(array.array("Q", values))
    assert list(got) == values


@pytest.mark.parametrize("code", "qQBb")
def test_values_first_seen_in_later_chunks(code):
    n = PARALLEL * 2 + 17
    lo, hi = LIMITS[code]
    base = [lo, hi, 3]
    values = (base * n)[:n]
    # new values in the middle (second chunk when split in two) and at the very end
    values[n // 2 + 5] = 9
    values[n // 2 + 6] = 8
    values[-3:] = [5, 9, 4]
    got = q.frequencies(array.array(code, values))
    same(got, oracle(values))
    assert list(got)[-4:] == [9, 8, 5, 4]


@pytest.mark.parametrize("extra", [0, 1])
def test_cardinality_cut_off_both_sides(extra):
    # The first chunk has floor(chunk / 8) distinct values (the rest is split)
    # or one more (the rest is counted in sequence): same counts either way.
    n = PARALLEL * 2
    chunk = -(-n // THREADS)
    distinct = chunk // 8 + extra
    values = [i % distinct for i in range(n)]
    values[-1] = -5
    values[-2] = distinct + 100
    same(q.frequencies(array.array("q", values)), oracle(values))


@pytest.mark.parametrize("code, value", [("Q", 2 ** 64 - 1), ("q", -1), ("B", 255), ("q", -2 ** 63), ("b", -128)])
@pytest.mark.parametrize("size", [3, PARALLEL + 1])
def test_extreme_keys(code, value, size):
    buf = array.array(code, [value]) * size
    buf[1] = 0
    got = q.frequencies(buf)
    same(got, {value: size - 1, 0: 1})


@pytest.mark.parametrize("code", INT_CODES)
@pytest.mark.parametrize("at", ["low", "high"])
@pytest.mark.parametrize("size", [5000, PARALLEL + 3])
def test_narrow_start_then_values_from_anywhere(code, at, size):
    # The first elements span a few values next to one end of the type, the
    # rest brings values far from them, at the other end and just beyond
    # the first ones' range: counts and key order must not depend on where
    # each value is kept.
    lo, hi = LIMITS[code]
    edge = [lo + i % 5 for i in range(size)] if at == "low" else [hi - i % 5 for i in range(size)]
    late = [lo, hi, (lo + hi) // 2, lo + 6, hi - 6, lo + 200, hi - 200, 0, 1]
    for k, v in enumerate(late):
        edge[size // 2 + 7 * k] = v
        edge[-1 - k] = v
    same(q.frequencies(array.array(code, edge)), oracle(edge))


@pytest.mark.parametrize("layout", ["contiguous", "strided", "swapped"])
def test_numpy_narrow_values_in_any_layout(layout):
    np = pytest.importorskip("numpy")
    values = np.random.default_rng(3).integers(-40, 40, size=PARALLEL * 2 + 11)
    values[-1] = 10 ** 12
    view = {"contiguous": values, "strided": values[::3], "swapped": values.astype(">i8")}[layout]
    same(q.frequencies(view), oracle(view.tolist()))


def test_numpy_integer_dtypes():
    np = pytest.importorskip("numpy")
    for dtype in ["i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8", "<i8", "=u4", "longlong", "ulonglong"]:
        info = np.iinfo(dtype)
        arr = np.array([info.max, info.min, 0, info.max], dtype=dtype)
        got = q.frequencies(arr)
        same(got, {int(info.max): 2, int(info.min): 1, 0: 1} if info.min else {int(info.max): 2, 0: 2})


@pytest.mark.parametrize("make, native", [
    (lambda np: np.array([3, 1, 3], dtype=">i8"), True),
    (lambda np: np.array([3, 1, 3, 9, 1, 9], dtype="i8")[::2], True),
    (lambda np: np.array([3, 1, 3], dtype="f8"), False),
    (lambda np: np.array([True, False, True]), False),
])
def test_numpy_layouts_and_non_integers(make, native):
    np = pytest.importorskip("numpy")
    arr = make(np)
    got = q.frequencies(arr)
    assert got == oracle(arr.tolist())
    assert all((type(k) is int) is native for k in got)  # numpy scalars come from iterating the array


def test_numpy_two_dimensional_iterates_rows():
    np = pytest.importorskip("numpy")
    with pytest.raises(TypeError, match="unhashable"):
        q.frequencies(np.zeros((2, 2), dtype="i8"))


def test_numpy_large_parallel():
    np = pytest.importorskip("numpy")
    rng = np.random.default_rng(5)
    arr = rng.integers(-500, 500, size=3 * PARALLEL + 11, dtype=np.int64)
    same(q.frequencies(arr), oracle(arr.tolist()))


def test_bytearray_resizable_after_calls():
    ba = bytearray(b"abc" * (PARALLEL // 3 + 5))
    assert q.frequencies(ba)[97] == PARALLEL // 3 + 5
    ba.append(1)
    small = bytearray(b"xy")
    q.frequencies(small)
    small.extend(b"z")
    assert q.frequencies(memoryview(small)) == {120: 1, 121: 1, 122: 1}
    small.clear()


def test_concurrent_callers():
    buf = array.array("i", range(1000)) * 700
    expected = q.frequencies(list(buf))
    results, errors = [], []

    def work():
        try:
            for _ in range(3):
                results.append(q.frequencies(buf) == expected)
        except BaseException as e:  # pragma: no cover - reported below
            errors.append(e)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == [] and results == [True] * 12


def test_counter_agrees_on_mixed_input():
    data = [i % 13 for i in range(1000)] + ["x", "y", (1, 2)] * 5
    assert list(q.frequencies(data).items()) == list(collections.Counter(data).items())


# -- long runs of new keys: the same dict and the same user calls ---------------

from hypothesis import given, settings, strategies as st  # noqa: E402


def tag(o):
    """A plain record of o for the log (comparing the log must not call __eq__)."""
    return o.v if isinstance(o, Logged) else (type(o).__name__, repr(o))


class Logged:
    """A key whose __hash__ and __eq__ are recorded; hashes collide on purpose."""

    log = []

    def __init__(self, v):
        self.v = v

    def __hash__(self):
        Logged.log.append(("hash", self.v))
        return self.v % 3

    def __eq__(self, other):
        Logged.log.append(("eq", self.v, tag(other)))
        return isinstance(other, Logged) and self.v == other.v


class IntSub(int):
    def __eq__(self, other):
        Logged.log.append(("int-eq", int(self), tag(other)))
        return int(self) == other

    __hash__ = int.__hash__


def index_tally(keys, values, fresh, add):
    """The key index, step by step in Python: one hash per key, identity then
    stored == key along the keys of equal hash, then the dict built from the
    entries in order (hashing and comparing them again)."""
    chains, entries = {}, []
    for k, v in zip(keys, values):
        h = hash(k)
        for stored, i in chains.get(h, ()):
            if stored is k or stored == k:
                add(entries[i], v)
                break
        else:
            chains.setdefault(h, []).append((k, len(entries)))
            entries.append([k, fresh(v)])
    return {k: payload for k, payload in entries}


def _count(entry, v):
    entry[1] += 1


def _group(entry, v):
    entry[1].append(v)


def _same(x):
    return x


TALLIES = {
    "frequencies": (lambda xs: q.frequencies(xs), lambda xs: index_tally(xs, xs, lambda v: 1, _count)),
    "countby": (lambda xs: q.countby(_same, iter(xs)), lambda xs: index_tally(xs, xs, lambda v: 1, _count)),
    "groupby": (lambda xs: q.groupby(_same, tuple(xs)), lambda xs: index_tally(xs, xs, lambda v: [v], _group)),
}

# Runs of keys: all new (ints, strs, tuples, floats), or repeating a few.
runs = st.lists(st.tuples(st.sampled_from(["int", "str", "tuple", "float", "few"]), st.integers(0, 12000)),
                min_size=1, max_size=4)
odd_keys = st.lists(st.tuples(st.integers(0, 10 ** 6), st.sampled_from(
    [lambda: Logged(7), lambda: Logged(8), lambda: IntSub(3), lambda: float("nan"), lambda: -0.0, lambda: True,
     lambda: 1.0, lambda: (1, Logged(2)), lambda: b"w5"])), max_size=5)


def build(plan, odd):
    xs, base = [], 0
    for kind, n in plan:
        r = range(base, base + n)
        base += n
        xs += {"int": list(r), "str": [f"w{i}" for i in r], "tuple": [(i, i & 7) for i in r],
               "float": [i + 0.5 for i in r], "few": [i % 5 for i in r]}[kind]
    for pos, make in odd:
        xs.insert(pos % (len(xs) + 1), make())
    return xs


def positions(result, xs):
    """The result with every object replaced by its first position in xs."""
    first = {}
    for i, x in enumerate(xs):
        first.setdefault(id(x), i)
    return [(first[id(k)], [first[id(x)] for x in v] if isinstance(v, list) else v) for k, v in result.items()]


@pytest.mark.no_refleak  # hypothesis keeps growing caches of its own
@settings(max_examples=25, deadline=None)
@given(runs, odd_keys, st.sampled_from(sorted(TALLIES)))
def test_many_new_keys_same_dict_and_calls(plan, odd, name):
    ours, reference = TALLIES[name]
    xs, ys = build(plan, odd), build(plan, odd)  # fresh objects each: tuples keep their hash once taken
    Logged.log = []
    expected = positions(reference(xs), xs)
    expected_log, Logged.log = Logged.log, []
    got = positions(ours(ys), ys)
    assert Logged.log == expected_log
    assert got == expected


@pytest.mark.parametrize("name", sorted(TALLIES))
@pytest.mark.parametrize("plan, odd", [
    ([("tuple", 20000)], []),  # new keys to the end
    ([("int", 9000), ("few", 30000), ("str", 20000)], []),  # new keys, repeats, new keys
    ([("int", 9000)], [(8500, lambda: IntSub(3)), (8600, lambda: Logged(1))]),  # not plain while counting in the dict
    # Tuples are plain down to three levels: a user object inside one, or a
    # fourth level, sends the tally back to the index.
    ([("tuple", 9000)], [(8500, lambda: (1, (2, (3, Logged(4))))), (8700, lambda: (1, (2, Logged(3))))]),
    ([("tuple", 9000)], [(8500, lambda: (((("deep",),),),)), (8600, lambda: ((("ok",),),))]),
])
def test_runs_of_new_keys(name, plan, odd):
    ours, reference = TALLIES[name]
    xs, ys = build(plan, odd), build(plan, odd)
    Logged.log = []
    expected = positions(reference(xs), xs)
    expected_log, Logged.log = Logged.log, []
    assert positions(ours(ys), ys) == expected
    assert Logged.log == expected_log
