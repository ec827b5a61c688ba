// One declaration per module-level function: its text signature is the
// whole table (name, parameters, defaults, stars), its body a function of
// the bound arguments. The entry routine, binder call and error boundary are
// generated here once for all of them.
#pragma once

#include "runtime/classes/binding.hpp"

namespace quorin {

using FastEntry = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
using ClassicEntry = PyObject* (*)(PyObject*, PyObject*, PyObject*);
using Body = Ref (*)(const Bound&);

struct Function {
    Function(const char* text, FastEntry entry) : sig(text) {
        def.ml_name = sig.name().c_str();
        def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
        def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
        def.ml_doc = sig.doc().c_str();
    }
    Function(const char* text, ClassicEntry entry) : sig(text) {
        def.ml_name = sig.name().c_str();
        def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
        def.ml_flags = METH_VARARGS | METH_KEYWORDS;
        def.ml_doc = sig.doc().c_str();
    }
    Function(const Function&) = delete;
    Function& operator=(const Function&) = delete;

    Signature sig;
    mutable PyMethodDef def{};
};

// One instantiation per function, so that its body is inlined into its entry.
template <Body body>
PyObject* call_fast(const Function& f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return boundary([&] {
        Bound bound;
        f.sig.bind(bound, args, nargs, kwnames);
        return body(bound);
    });
}

template <Body body>
PyObject* call_classic(const Function& f, PyObject* args, PyObject* kwargs) noexcept {
    return boundary([&] {
        Bound bound;
        f.sig.bind_classic(bound, args, kwargs);
        return body(bound);
    });
}

}  // namespace quorin

// Defines the Function `ident` with text signature `text`; the braces that
// follow are its body, which sees the bound arguments as `a`.
#define QUORIN_FUNCTION(ident, text)                                                                  \
    static ::quorin::Ref ident##_body(const ::quorin::Bound& a);                                     \
    const ::quorin::Function ident(                                                                  \
        text, static_cast<::quorin::FastEntry>(                                                      \
                  [](PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) -> PyObject* { \
                      return ::quorin::call_fast<&ident##_body>(ident, args, nargs, kw);              \
                  }));                                                                               \
    static ::quorin::Ref ident##_body([[maybe_unused]] const ::quorin::Bound& a)

// The same with the classic convention (positional tuple, keyword dict), for
// the functions that forward arbitrary keywords.
#define QUORIN_FUNCTION_CLASSIC(ident, text)                                                      \
    static ::quorin::Ref ident##_body(const ::quorin::Bound& a);                                 \
    const ::quorin::Function ident(                                                              \
        text, static_cast<::quorin::ClassicEntry>([](PyObject*, PyObject* args, PyObject* kw) -> PyObject* { \
            return ::quorin::call_classic<&ident##_body>(ident, args, kw);                        \
        }));                                                                                     \
    static ::quorin::Ref ident##_body([[maybe_unused]] const ::quorin::Bound& a)
