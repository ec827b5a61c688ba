// Methods and constructors of the module's classes, declared like module
// functions: one text signature per method is its docstring and the binder's
// parameter table; the entry routine and its error boundary come from here.
#pragma once

#include "runtime/classes/binding.hpp"

#include <initializer_list>
#include <vector>

namespace quorin {

struct Method {
    Method(const char* owner, const char* text, int flags, PyCFunction entry) : sig(text, owner) {
        def.ml_name = sig.name().c_str();
        def.ml_meth = entry;
        def.ml_flags = flags;
        def.ml_doc = sig.doc().c_str();
    }
    Method(const Method&) = delete;
    Method& operator=(const Method&) = delete;

    Signature sig;
    PyMethodDef def{};
};

using MethodBody = Ref (*)(PyObject* self, const Bound&);
using NoArgsBody = Ref (*)(PyObject* self);

template <MethodBody body>
PyObject* call_method(const Method& m, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    return boundary([&] {
        Bound bound;
        m.sig.bind(bound, args, nargs, kwnames);
        return body(self, bound);
    });
}

// A constructor (the type's new slot): classic convention, bound by `sig`.
template <Ref (*body)(const Bound&)>
PyObject* construct(const Signature& sig, PyObject* args, PyObject* kwargs) noexcept {
    return boundary([&] {
        Bound bound;
        sig.bind_classic(bound, args, kwargs);
        return body(bound);
    });
}

// A class's method table (null-terminated), for its Py_tp_methods slot;
// the caller keeps it for the type's life.
std::vector<PyMethodDef> method_table(std::initializer_list<const Method*> methods);

}  // namespace quorin

#define QUORIN_METHOD_ENTRY_(ident, owner, text, flags, entry) \
    const ::quorin::Method ident(owner, text, flags,           \
                                 reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)))

// A method of class `owner` with parameters (fast convention with keywords);
// the braces that follow are its body, which sees `self` and the bound
// arguments `a`. With `QUORIN_STATIC_METHOD`, `self` is null.
#define QUORIN_METHOD_FLAGS_(ident, owner, text, flags)                                                   \
    static ::quorin::Ref ident##_body(PyObject* self, const ::quorin::Bound& a);                          \
    QUORIN_METHOD_ENTRY_(ident, owner, text, METH_FASTCALL | METH_KEYWORDS | (flags),                     \
                         static_cast<PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>(  \
                             [](PyObject* self, PyObject* const* args, Py_ssize_t n, PyObject* kw) {       \
                                 return ::quorin::call_method<&ident##_body>(ident, self, args, n, kw);   \
                             }));                                                                         \
    static ::quorin::Ref ident##_body([[maybe_unused]] PyObject* self, [[maybe_unused]] const ::quorin::Bound& a)

#define QUORIN_METHOD(ident, owner, text) QUORIN_METHOD_FLAGS_(ident, owner, text, 0)
#define QUORIN_STATIC_METHOD(ident, owner, text) QUORIN_METHOD_FLAGS_(ident, owner, text, METH_STATIC)

// A method without parameters: the body sees `self` only.
#define QUORIN_METHOD_NOARGS(ident, owner, text)                                                           \
    static ::quorin::Ref ident##_body(PyObject* self);                                                     \
    QUORIN_METHOD_ENTRY_(ident, owner, text, METH_NOARGS,                                                  \
                         static_cast<PyObject* (*)(PyObject*, PyObject*)>([](PyObject* self, PyObject*) { \
                             return ::quorin::boundary([self] { return ident##_body(self); });             \
                         }));                                                                              \
    static ::quorin::Ref ident##_body([[maybe_unused]] PyObject* self)

// A constructor with text signature `text` (also the class docstring): the
// function `ident` is the type's new slot; the braces that follow are its
// body, which sees the bound arguments `a`.
#define QUORIN_CONSTRUCTOR(ident, text)                                                      \
    static ::quorin::Ref ident##_body(const ::quorin::Bound& a);                            \
    const ::quorin::Signature ident##_sig(text);                                            \
    PyObject* ident(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {            \
        return ::quorin::construct<&ident##_body>(ident##_sig, args, kwargs);               \
    }                                                                                       \
    static ::quorin::Ref ident##_body([[maybe_unused]] const ::quorin::Bound& a)
