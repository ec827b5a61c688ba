// Methods and constructors of the module's classes, declared like module
// functions: one text signature per method is its docstring and the binder's
// parameter table.
#pragma once

#include "runtime/classes/function.hpp"

#include <initializer_list>
#include <vector>

namespace quorin {

using Method = Function;

// A class's method table (null-terminated), for its Py_tp_methods slot;
// the caller keeps it for the type's life.
std::vector<PyMethodDef> method_table(std::initializer_list<const Method*> methods);

}  // namespace quorin

#define QUORIN_METHOD_ENTRY_(ident, owner, text, flags, entry) \
    const ::quorin::Method ident(text, owner, flags, ::quorin::as_cfunction(entry))

// A method of class `owner` with parameters (fast convention with keywords);
// the braces that follow are its body, which sees `self` and the bound
// arguments `a`. With `QUORIN_STATIC_METHOD`, `self` is null.
#define QUORIN_METHOD_FLAGS_(ident, owner, text, flags)                                                    \
    static ::quorin::Ref ident##_body(PyObject* self, const ::quorin::Bound& a);                           \
    QUORIN_METHOD_ENTRY_(ident, owner, text, METH_FASTCALL | METH_KEYWORDS | (flags),                      \
                         static_cast<PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>(   \
                             [](PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {       \
                                 return ::quorin::call_bound<&ident##_body>(ident.sig, args, n, kw, self); \
                             }));                                                                          \
    static ::quorin::Ref ident##_body([[maybe_unused]] PyObject* self, [[maybe_unused]] const ::quorin::Bound& a)

#define QUORIN_METHOD(ident, owner, text) QUORIN_METHOD_FLAGS_(ident, owner, text, 0)
#define QUORIN_STATIC_METHOD(ident, owner, text) QUORIN_METHOD_FLAGS_(ident, owner, text, METH_STATIC)

// A method without parameters: the body sees `self` only.
#define QUORIN_METHOD_NOARGS(ident, owner, text)                                                          \
    static ::quorin::Ref ident##_body(PyObject* self);                                                    \
    QUORIN_METHOD_ENTRY_(ident, owner, text, METH_NOARGS,                                                 \
                         static_cast<PyObject* (*)(PyObject*, PyObject*)>([](PyObject* self, PyObject*) { \
                             return ::quorin::boundary([self] { return ident##_body(self); });            \
                         }));                                                                             \
    static ::quorin::Ref ident##_body([[maybe_unused]] PyObject* self)
