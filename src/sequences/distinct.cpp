// Distinctness and counting: a native integer path for integer buffers,
// Python set semantics otherwise, and a length before any iteration.
#include "distinct.hpp"

#include "../utils/int_buffer.hpp"
#include "../utils/iteration.hpp"
#include "../utils/once.hpp"

#include <cstdint>
#include <span>

namespace quorin {

namespace {

template <IntElement T>
bool distinct_ints(std::span<const T> values) {
    if (values.empty()) return true;
    IntSet<T> seen;
    seen.grow_to(IntSet<T>::presized_capacity(values.size()));
    for (T v : values)
        if (!seen.insert(v)) return false;
    return true;
}

// Exactly a Python set's hashing and equality: membership first, then add.
bool distinct_objects(PyObject* seq) {
    Ref seen = Ref::check(PySet_New(nullptr));
    Ref it = get_iter(seq);
    while (Ref item = next_item(it.get())) {
        if (check_int(PySet_Contains(seen.get(), item.get())) == 1) return false;
        check_int(PySet_Add(seen.get(), item.get()));
    }
    return true;
}

}  // namespace

bool all_equal(PyObject* const* values, std::size_t n) {
    for (std::size_t i = 1; i < n; ++i) {
        Ref eq = Ref::check(PyObject_RichCompare(values[0], values[i], Py_EQ));
        if (!truthy(eq.get())) return false;
    }
    return true;
}

namespace fn {

QUORIN_FUNCTION(isdistinct, "isdistinct(seq)") {
    bool distinct;
    if (std::optional<IntBuf> buf = usable_int_buffer(a[0]))
        distinct = buf->visit([](auto values) { return distinct_ints(values); });
    else
        distinct = distinct_objects(a[0]);
    return Ref::borrow(distinct ? Py_True : Py_False);
}

QUORIN_FUNCTION(count, "count(seq)") { return quorin::count(a[0]); }

}  // namespace fn

Ref count(PyObject* seq) {
    // These exact types always have `__len__` and cannot gain or lose it,
    // so the lookup (which builds a bound method) can only say yes.
    if (PyList_CheckExact(seq) || PyTuple_CheckExact(seq) || PyDict_CheckExact(seq) || PyUnicode_CheckExact(seq) ||
        PyAnySet_CheckExact(seq) || PyBytes_CheckExact(seq))
        return Ref::check(PyLong_FromSsize_t(PyObject_Length(seq)));
    // One interned name for every call: a fresh string per call would also
    // take a new entry in the interpreter's type-attribute cache each time.
    if (PyObject* len_attr = PyObject_GetAttr(seq, QUORIN_NAME("__len__"))) {
        Ref::steal(len_attr).reset();
        Py_ssize_t n = PyObject_Length(seq);
        if (n < 0) ffi_err();
        return Ref::check(PyLong_FromSsize_t(n));
    }
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) ffi_err();
    PyErr_Clear();
    Ref it = get_iter(seq);
    std::uint64_t n = 0;
    while (next_item(it.get())) ++n;
    return py_uint(n);
}

}  // namespace quorin
