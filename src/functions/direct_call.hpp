// Calls into a callable's own vectorcall entry, skipping the generic
// dispatcher's thread-state fetch and result audit, as the interpreter's
// specialised call instructions do; callables without one take the
// generic route. A null result without an exception still becomes
// SystemError (Ref::check).
#pragma once

#include "runtime/core/error.hpp"

#include <cstddef>
#include <cstring>

namespace quorin {

inline vectorcallfunc vectorcall_of(PyObject* f) noexcept {
    PyTypeObject* tp = Py_TYPE(f);
    if (!PyType_HasFeature(tp, Py_TPFLAGS_HAVE_VECTORCALL)) return nullptr;
    vectorcallfunc vf;
    std::memcpy(&vf, reinterpret_cast<char*>(f) + tp->tp_vectorcall_offset, sizeof vf);
    return vf;
}

// f(*args[:nargs], **dict(zip(kwnames, args[nargs:]))), nargsf as vectorcall
// passes it; null with the exception pending on failure.
inline PyObject* forward_raw(PyObject* f, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    if (vectorcallfunc vf = vectorcall_of(f)) return vf(f, args, nargsf, kwnames);
    return PyObject_Vectorcall(f, args, nargsf, kwnames);
}

inline Ref forward_call(PyObject* f, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return Ref::check(forward_raw(f, args, nargsf, kwnames));
}

// f(x)
inline Ref call_one(PyObject* f, PyObject* x) {
    PyObject* buf[2] = {nullptr, x};
    return forward_call(f, buf + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
}

}  // namespace quorin
