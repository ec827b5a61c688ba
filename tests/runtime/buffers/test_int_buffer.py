"""Integer-buffer classification, observed through isdistinct.

An integer buffer is answered natively, without iterating the object; any
other object is iterated. The tracked subclasses below record whether
isdistinct iterated them, which tells the two paths apart.
"""

import array
import ctypes
import functools
import struct
import sys

import pytest

from quorin import _quorin as q

# numpy itself grows the interpreter's total reference count with every
# array it creates on the debug build, so these cannot take part in the
# refleak mode; the references our calls hold are checked directly instead
# (test_numpy_array_reference_is_released).
numpy_refcounts = pytest.mark.no_refleak

needs_py_buffer = pytest.mark.skipif(sys.version_info < (3, 12), reason="Python-level __buffer__ needs 3.12")


class TrackedBytes(bytes):
    def __iter__(self):
        self.iterated = True
        return super().__iter__()


class TrackedBytearray(bytearray):
    def __iter__(self):
        self.iterated = True
        return super().__iter__()


class TrackedArray(array.array):
    def __iter__(self):
        self.iterated = True
        return super().__iter__()


def iterated(obj):
    return getattr(obj, "iterated", False)


@functools.cache
def _tracked_ndarray_class():
    import numpy as np

    class TrackedNd(np.ndarray):
        def __iter__(self):
            self.iterated = True
            # Rows as tuples, so a two-dimensional array yields hashable items.
            return (tuple(r) if isinstance(r, np.ndarray) else r for r in np.asarray(self))

    return TrackedNd


def tracked_ndarray():
    # One class for the whole session, so that repeated runs create nothing.
    np = pytest.importorskip("numpy")
    return np, _tracked_ndarray_class()


class Exporter:
    """An object exporting `target`'s buffer from Python (3.12+), counting
    requests and releases, and recording whether it was iterated."""

    def __init__(self, target, fail=False):
        self.target, self.fail = target, fail
        self.requests, self.released, self.iterated = [], 0, False

    def __buffer__(self, flags):
        self.requests.append(flags)
        if self.fail:
            raise ValueError("export refused")
        return memoryview(self.target)

    def __release_buffer__(self, view):
        self.released += 1
        view.release()

    def __iter__(self):
        self.iterated = True
        return iter(self.target)


# --- bytes and bytearray ------------------------------------------------------

@pytest.mark.parametrize("cls", [TrackedBytes, TrackedBytearray])
@pytest.mark.parametrize("data, expected", [(b"", True), (b"abc", True), (b"abca", False),
                                            (bytes(range(256)), True), (bytes(range(256)) + b"\xff", False),
                                            (b"\x00\x00", False), (b"\x00\x01", True)])
def test_bytes_and_bytearray_are_u8_buffers(cls, data, expected):
    obj = cls(data)
    assert q.isdistinct(obj) is expected
    assert not iterated(obj)


@pytest.mark.parametrize("make", [bytes, bytearray])
@pytest.mark.parametrize("data, expected", [(b"abca", False), (b"xyz", True)])
def test_memoryview_of_bytes_and_bytearray(make, data, expected):
    view = memoryview(make(data))
    assert q.isdistinct(view) is expected
    view.release()  # raises BufferError if an export were still held


# --- array.array type codes ---------------------------------------------------

INT_CODES = "bBhHiIlLqQ"


def code_extremes(code):
    size = array.array(code).itemsize * 8
    if code.islower():
        return [-(1 << (size - 1)), -1, 0, 1, (1 << (size - 1)) - 1]
    return [0, 1, (1 << size) - 2, (1 << size) - 1]


@pytest.mark.parametrize("code", INT_CODES)
def test_integer_type_codes_are_native(code):
    values = code_extremes(code)
    distinct = TrackedArray(code, values)
    assert q.isdistinct(distinct) is True and not iterated(distinct)
    for v in values:
        repeated = TrackedArray(code, values + [v])
        assert q.isdistinct(repeated) is False and not iterated(repeated)


@pytest.mark.parametrize("code", "fd")
def test_float_type_codes_take_the_object_path(code):
    # 0.0 and -0.0 differ in their bits but are equal numbers: only the
    # object path can answer False here.
    obj = TrackedArray(code, [0.0, -0.0])
    assert q.isdistinct(obj) is False and iterated(obj)
    obj = TrackedArray(code, [0.5, 1.5])
    assert q.isdistinct(obj) is True and iterated(obj)


def test_empty_arrays():
    for code in INT_CODES + "fd":
        assert q.isdistinct(array.array(code)) is True


# --- numpy dtypes ---------------------------------------------------------------

NUMPY_INTS = ["int8", "uint8", "int16", "uint16", "int32", "uint32", "int64", "uint64", "<i8", "<u4", "=i2",
              ">i8", ">u2", ">i4", ">u8"]


@numpy_refcounts
@pytest.mark.parametrize("dtype", NUMPY_INTS)
def test_numpy_integer_arrays_are_native(dtype):
    np, Tracked = tracked_ndarray()
    info = np.iinfo(np.dtype(dtype))
    values = sorted({info.min, info.min + 1, -1 if info.min else 2, 0, 1, info.max - 1, info.max})
    distinct = np.array(values, dtype=dtype).view(Tracked)
    assert q.isdistinct(distinct) is True and not iterated(distinct)
    for v in values:
        repeated = np.array(values + [v], dtype=dtype).view(Tracked)
        assert q.isdistinct(repeated) is False and not iterated(repeated)


@numpy_refcounts
@pytest.mark.parametrize("dtype, values, expected", [
    ("bool", [True, False], True), ("bool", [True, True], False),
    ("float64", [0.0, -0.0], False), ("float32", [1.0, 2.0], True), ("float16", [1.0, 1.0], False),
])
def test_numpy_non_integer_take_the_object_path(dtype, values, expected):
    np, Tracked = tracked_ndarray()
    obj = np.array(values, dtype=dtype).view(Tracked)
    assert q.isdistinct(obj) is expected and iterated(obj)


@numpy_refcounts
@pytest.mark.parametrize("rows, expected", [([[1, 2], [2, 1]], True), ([[1, 2], [1, 2]], False)])
def test_two_dimensional_array_iterates_its_rows(rows, expected):
    np, Tracked = tracked_ndarray()
    obj = np.array(rows, dtype=np.int64).view(Tracked)
    assert q.isdistinct(obj) is expected and iterated(obj)


@numpy_refcounts
def test_two_dimensional_plain_numpy_array_has_unhashable_rows():
    np = pytest.importorskip("numpy")
    with pytest.raises(TypeError, match="unhashable"):
        q.isdistinct(np.zeros((2, 2), dtype=np.int64))


@numpy_refcounts
@pytest.mark.parametrize("step", [2, -1, -3])
@pytest.mark.parametrize("dtype", ["int64", "uint8", "int32"])
def test_numpy_strided_views_are_native_with_the_same_answer(step, dtype):
    np, Tracked = tracked_ndarray()
    base = np.array([1, 9, 2, 9, 3, 9, 4, 9, 1], dtype=dtype)
    view = base[::step].view(Tracked)
    expected = len(set(view.tolist())) == len(view)
    assert q.isdistinct(view) is expected and not iterated(view)


@numpy_refcounts
def test_numpy_misaligned_view_takes_the_object_path():
    np, Tracked = tracked_ndarray()
    raw = bytearray(1 + 8 * 3)
    raw[1:] = struct.pack("=3q", 5, 6, 5)
    view = np.frombuffer(raw, dtype=np.int64, offset=1)
    assert view.ctypes.data % 8 != 0
    tracked = view.view(Tracked)
    assert q.isdistinct(tracked) is False and iterated(tracked)
    raw[17:] = struct.pack("=q", 7)
    assert q.isdistinct(view) is True


@numpy_refcounts
def test_numpy_export_error_is_swallowed():
    np = pytest.importorskip("numpy")
    dates = np.array(["2020-01-01", "2021-01-01", "2020-01-01"], dtype="M8[D]")
    with pytest.raises(ValueError):
        memoryview(dates)
    assert q.isdistinct(dates) is False
    assert q.isdistinct(dates[:2]) is True


@numpy_refcounts
def test_numpy_array_reference_is_released():
    np = pytest.importorskip("numpy")
    for arr in [np.arange(5), np.arange(5)[::2], np.zeros((2, 2), dtype=np.uint8)[0], np.zeros(3)]:
        before = sys.getrefcount(arr)
        q.isdistinct(arr)
        assert sys.getrefcount(arr) == before


# --- memoryview casts, explicit byte orders, misalignment -------------------

def test_memoryview_cast_to_c_is_not_an_integer_buffer():
    view = memoryview(b"abca").cast("c")
    assert q.isdistinct(view) is False  # iterated: b"a" repeats
    assert q.isdistinct(memoryview(b"abc").cast("c")) is True


def test_misaligned_memoryview():
    raw = bytearray(1 + 8 * 3)
    raw[1:] = struct.pack("=3q", -1, 2**40, -1)
    view = memoryview(raw)[1:].cast("q")
    assert q.isdistinct(view) is False
    raw[17:] = struct.pack("=q", 3)
    assert q.isdistinct(view) is True
    view.release()
    raw.append(0)


@pytest.mark.parametrize("ctype", [ctypes.c_int64, ctypes.c_uint64, ctypes.c_int32, ctypes.c_int16,
                                   ctypes.c_uint8, ctypes.c_int64.__ctype_be__, ctypes.c_uint32.__ctype_be__])
def test_ctypes_arrays_with_explicit_byte_order(ctype):
    arr = (ctype * 3)(1, 2, 1)
    assert q.isdistinct(arr) is False
    arr[2] = 3
    assert q.isdistinct(arr) is True


@pytest.mark.parametrize("fmt, native", [("<q", True), (">q", True), ("<Q", True), ("<i", True),
                                         (">i", True), ("<b", True), ("<c", False), ("<?", False)])
@needs_py_buffer
def test_explicit_byte_order_formats(fmt, native):
    ctype = {"<q": ctypes.c_int64, ">q": ctypes.c_int64.__ctype_be__, "<Q": ctypes.c_uint64,
             "<i": ctypes.c_int32, ">i": ctypes.c_int32.__ctype_be__, "<b": ctypes.c_int8,
             "<c": ctypes.c_char, "<?": ctypes.c_bool}[fmt]
    values = [b"a", b"b"] if fmt == "<c" else [True, False] if fmt == "<?" else [1, 2]
    target = (ctype * 2)(*values)
    assert memoryview(target).format == fmt
    exporter = Exporter(target)
    assert q.isdistinct(exporter) is True
    assert exporter.iterated is not native
    assert exporter.released == len(exporter.requests)


# --- Python-level exporters (3.12+): requests, order, release ------------------

@needs_py_buffer
@pytest.mark.parametrize("target, requests, native", [
    (array.array("q", [1, 2]), 1, True),
    (b"ab", 2, True),
    (array.array("i", [1, 2]), 3, True),
    (array.array("Q", [1, 2]), 4, True),
    (array.array("I", [1, 2]), 5, True),
    (array.array("h", [1, 2]), 6, True),
    (array.array("H", [1, 2]), 7, True),
    (array.array("b", [1, 2]), 8, True),
    (array.array("d", [1, 2]), 8, False),
    (memoryview(b"ab").cast("c"), 2, False),  # matches u8, then refused: no further request
    (memoryview(b"abcd").cast("B", (2, 2)), 2, False),
    (memoryview(b"abcd")[::2], 2, True),  # strided
    (memoryview(bytearray(17))[1:].cast("q"), 8, False),
])
def test_exporter_is_asked_once_per_element_type_tried(target, requests, native):
    exporter = Exporter(target)
    if isinstance(target, memoryview) and target.ndim == 2:
        with pytest.raises(NotImplementedError):
            q.isdistinct(exporter)  # a two-dimensional memoryview cannot be iterated
    else:
        q.isdistinct(exporter)
    assert exporter.requests == [284] * requests
    assert exporter.released == requests
    assert exporter.iterated is not native


@needs_py_buffer
def test_exporter_whose_export_raises_is_iterated():
    exporter = Exporter(b"aba", fail=True)
    assert q.isdistinct(exporter) is False
    assert exporter.requests == [284] * 8 and exporter.released == 0 and exporter.iterated


# --- views are released on every path ----------------------------------------

def test_bytearray_is_pinned_only_while_viewed():
    data = bytearray(b"abc")
    view = memoryview(data)
    with pytest.raises(BufferError):
        data.append(1)
    view.release()
    data.append(1)


@pytest.mark.parametrize("data", [b"", b"abc", b"abca", bytes(range(256)) * 2])
def test_bytearray_resizable_after_native_path(data):
    obj = bytearray(data)
    q.isdistinct(obj)
    obj.append(1)
    obj.clear()


@pytest.mark.parametrize("make_view", [
    lambda b: memoryview(b),
    lambda b: memoryview(b)[::2],
    lambda b: memoryview(b)[::-1],
    lambda b: memoryview(b).cast("c"),
    lambda b: memoryview(b)[:8].cast("h"),
    lambda b: memoryview(b)[1:].cast("h"),
    lambda b: memoryview(b)[:8].cast("q"),
])
def test_memoryview_released_after_every_path(make_view):
    data = bytearray(b"abcdefgha")
    view = make_view(data)
    q.isdistinct(view)
    view.release()
    data.append(0)


def test_memoryview_released_after_error_path():
    data = bytearray(b"abcd")
    view = memoryview(data).cast("B", (2, 2))
    with pytest.raises(NotImplementedError):
        q.isdistinct(view)
    view.release()
    data.append(0)


# --- a hash whose low bits are all equal ----------------------------------------

@pytest.mark.parametrize("code, shift", [("q", 32), ("Q", 40), ("q", 20)])
def test_values_sharing_their_low_bits_finish(code, shift):
    # Multiples of a large power of two: a table indexed by the low bits of
    # the hash would put them all in a few slots and probe quadratically.
    n = 200_000
    values = array.array(code, [i << shift for i in range(n)])
    assert q.isdistinct(values) is True
    values.append((n // 2) << shift)
    assert q.isdistinct(values) is False


# --- sizes around the growth points ---------------------------------------------

@pytest.mark.parametrize("n", [1, 2, 7, 8, 9, 15, 16, 17, 100, 4095, 4096, 4097, 8192, 8193, 20000])
@pytest.mark.parametrize("code", ["q", "B", "h", "I"])
def test_sizes_around_growth(n, code):
    limit = 1 << (array.array(code).itemsize * 8 - (1 if code.islower() else 0))
    if n > limit:
        pytest.skip("more values than the type holds")
    values = [(i * 7919) % limit for i in range(n)]
    assert len(set(values)) == n
    assert q.isdistinct(array.array(code, values)) is True
    for dup in {0, n // 2, n - 1}:
        assert q.isdistinct(array.array(code, values + [values[dup]])) is False
