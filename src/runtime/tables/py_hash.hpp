// The Python hash and dictionary equality, as the native containers keyed by
// Python hash (PySeen, PyKeyIndex) use them.
#pragma once

#include "runtime/core/error.hpp"
#include "runtime/tables/fast_hash.hpp"

namespace quorin {

// The Python hash of `o` (borrowed). Two shortcuts avoid the interpreter: an
// exact str with its hash already cached, and, when `fast_int` (a copy of
// int_fast_hash_enabled() taken by the container) is set, an exact int held
// in one digit. Throws PyErrorSet when hashing fails (SystemError when the
// interpreter reported failure without an exception).
inline Py_hash_t py_hash(PyObject* o, bool fast_int) {
    if (PyUnicode_CheckExact(o)) {
        Py_hash_t cached = compat::str_cached_hash(o);
        if (cached != -1) return cached;
    } else if (fast_int) {
        long long v;
        if (compat::compact_int_value(o, &v)) return small_int_hash(v);
    }
    Py_hash_t h = PyObject_Hash(o);
    if (h == -1) ffi_err();
    return h;
}

// Dictionary equality between a stored key and a probe whose hashes are
// equal: identity first, then `stored == probe` (stored on the left) reduced
// to a truth value. Throws when the comparison raises. The stored object is
// held strongly for the duration of the call, so even a comparison that
// manages to disturb its owner cannot free it under the interpreter.
inline bool py_same_key(PyObject* stored, PyObject* probe) {
    if (stored == probe) return true;
    // Two exact one-digit ints compare natively: what int == int gives.
    long long a, b;
    if (compat::compact_int_value(stored, &a) && compat::compact_int_value(probe, &b)) return a == b;
    Ref hold = Ref::borrow(stored);
    int r = PyObject_RichCompareBool(hold.get(), probe, Py_EQ);
    if (r < 0) ffi_err();
    return r == 1;
}

// An exact int, bool, float or str, or None.
inline bool plain_atom(PyObject* o) noexcept {
    PyTypeObject* t = Py_TYPE(o);
    return t == &PyLong_Type || t == &PyUnicode_Type || t == &PyFloat_Type || t == &PyBool_Type || o == Py_None;
}

// Whether hashing `o` and comparing it with any other such key runs no user
// code and cannot be told apart from any other way of doing it: the atoms
// above and exact tuples of them (nested up to three levels). Bytes are left
// out: comparing them with a str can warn. Inlined into the counting loops,
// where nearly every key is an atom or a tuple of atoms; the depth is a
// template argument, so the nested levels are loops rather than calls.
template <int Depth = 0>
[[gnu::always_inline]] inline bool plain_key(PyObject* o) noexcept {
    if (plain_atom(o)) return true;
    if constexpr (Depth == 3) {
        return false;
    } else {
        if (Py_TYPE(o) != &PyTuple_Type) return false;
        for (Py_ssize_t i = 0, n = PyTuple_GET_SIZE(o); i < n; ++i)
            if (!plain_key<Depth + 1>(PyTuple_GET_ITEM(o, i))) return false;
        return true;
    }
}

}  // namespace quorin
