// The interpreter's iteration and call protocols, in the module's error style.
#pragma once

#include "runtime/core/error.hpp"

namespace quorin {

inline Ref get_iter(PyObject* obj) { return Ref::check(PyObject_GetIter(obj)); }

// The next item of iterator `it`; an empty Ref at exhaustion. Calls the
// next slot directly; a StopIteration set explicitly by the slot also ends.
inline Ref next_item(PyObject* it) {
    PyObject* item = (*Py_TYPE(it)->tp_iternext)(it);
    if (item == nullptr && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_StopIteration)) ffi_err();
        PyErr_Clear();
    }
    return Ref::steal(item);
}

// The next item of `it` asked from inside an iterator's own step: such
// iterators nest, so a chain of them is a RecursionError rather than a
// native stack overflow when it is very deep.
inline Ref nested_next(PyObject* it) {
    RecursionGuard guard(" while getting the next item");
    return next_item(it);
}

// StopIteration with no arguments.
[[noreturn]] inline void raise_stop_iteration() {
    PyErr_SetNone(PyExc_StopIteration);
    throw PyErrorSet{};
}

inline Ref call1(PyObject* f, PyObject* x) { return Ref::check(PyObject_CallOneArg(f, x)); }

inline Ref call2(PyObject* f, PyObject* x, PyObject* y) {
    PyObject* args[3] = {nullptr, x, y};
    return Ref::check(PyObject_Vectorcall(f, args + 1, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline bool truthy(PyObject* x) { return check_int(PyObject_IsTrue(x)) != 0; }

inline Ref py_int(long long v) { return Ref::check(PyLong_FromLongLong(v)); }
inline Ref py_uint(unsigned long long v) { return Ref::check(PyLong_FromUnsignedLongLong(v)); }
inline Ref py_bool(bool v) { return Ref::borrow(v ? Py_True : Py_False); }

}  // namespace quorin
