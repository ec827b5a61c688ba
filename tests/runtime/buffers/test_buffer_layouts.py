"""Integer buffers laid out other than as consecutive native values (strided,
reversed, repeated, byte-swapped) give exactly what their contiguous copy
gives, with Python int values, and are read without iterating them."""

import array
import collections
import ctypes
import sys

import pytest

from quorin import _quorin as q

PARALLEL = 1 << 19  # buffers this long are split over the worker pool

KINDS = ["i1", "u1", "i2", "u2", "i4", "u4", "i8", "u8"]
STEPS = [1, 2, -1, -3]


def in_order(mapping):
    return list(mapping.items())


def all_results(buf):
    return (in_order(q.frequencies(buf)), q.topk(5, buf), q.isdistinct(buf), list(q.unique(buf)))


def expected_results(values):
    counted = collections.Counter(values)
    return (in_order(counted), tuple(sorted(values, reverse=True)[:5]), len(counted) == len(values),
            list(counted))


@pytest.fixture(scope="module")
def np():
    return pytest.importorskip("numpy")


@pytest.mark.no_refleak
@pytest.mark.parametrize("order", ["=", ">", "<"])
@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("step", STEPS)
def test_numpy_layouts_equal_the_contiguous_case(np, kind, order, step):
    info = np.iinfo(kind)
    base = np.array([info.max, 3, info.min, 0, 3, info.max - 1, 7, 0, info.min + 1, 3, 1], dtype=order + kind)
    view = base[::step]
    values = view.tolist()
    got = all_results(view)
    assert got == expected_results(values)
    assert got == all_results(np.ascontiguousarray(view, dtype=kind))
    assert all(type(v) is int for v in got[1] + tuple(got[3]))


@pytest.mark.no_refleak
def test_numpy_repeated_element_has_stride_zero(np):
    view = np.broadcast_to(np.array([-5], dtype=">i8"), (9,))
    assert view.strides == (0,)
    assert all_results(view) == ([(-5, 9)], (-5,) * 5, False, [-5])


@pytest.mark.no_refleak
@pytest.mark.parametrize("kind", ["i8", ">u4", "u1"])
@pytest.mark.parametrize("step", [3, -2])
def test_large_strided_views_through_the_pool(np, kind, step):
    rng = np.random.default_rng(7)
    base = rng.integers(0, 200, size=3 * PARALLEL, dtype=np.dtype(kind).newbyteorder("="))
    base = base.astype(kind)
    view = base[::step]
    flat = np.ascontiguousarray(view, dtype=np.dtype(kind).newbyteorder("="))
    assert in_order(q.frequencies(view)) == in_order(q.frequencies(flat))
    assert q.topk(10, view) == q.topk(10, flat) == tuple(int(v) for v in np.sort(flat)[::-1][:10])
    assert list(q.unique(view)) == list(q.unique(flat))


@pytest.mark.parametrize("code", ["b", "B", "h", "H", "i", "I", "q", "Q"])
@pytest.mark.parametrize("step", STEPS)
def test_memoryview_slices_without_numpy(code, step):
    arr = array.array(code, [5, 1, 5, 2, 9, 1, 0, 5, 2, 3])
    view = memoryview(arr)[::step]
    assert all_results(view) == expected_results(view.tolist())


@pytest.mark.parametrize("ctype", [ctypes.c_int16, ctypes.c_uint16, ctypes.c_int32, ctypes.c_uint32,
                                   ctypes.c_int64, ctypes.c_uint64])
def test_ctypes_other_byte_order(ctype):
    other = ctype.__ctype_be__ if sys.byteorder == "little" else ctype.__ctype_le__
    values = [3, 2 ** (8 * ctypes.sizeof(ctype) - 2), 3, 1, 0, 1 << 8]
    arr = (other * len(values))(*values)
    assert memoryview(arr).format[0] in "<>"
    assert all_results(arr) == expected_results(values)


@pytest.mark.parametrize("head, tail", [
    (list(range(10)), list(range(10, 10 + 4 * PARALLEL))),  # few values in the probe, many after it
    ([i % 3000 for i in range(1 << 15)], [i % 5000 for i in range(3 * PARALLEL)]),  # an inconclusive probe
    ([7] * 5, [i % 50 for i in range(3 * PARALLEL)]),
])
def test_parallel_counting_keeps_first_occurrence_order(head, tail):
    values = head * ((1 << 15) // len(head) + 1) + tail
    arr = array.array("q", values)
    assert in_order(q.frequencies(arr)) == in_order(collections.Counter(values))
    assert in_order(q.frequencies(memoryview(arr)[::-1])) == in_order(collections.Counter(values[::-1]))
