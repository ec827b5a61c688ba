// One declaration per module-level function: its text signature is the
// whole table (name, parameters, defaults, stars), its body a function of
// the bound arguments; its entry routine is generated here.
#pragma once

#include "runtime/classes/binding.hpp"

namespace quorin {

using FastEntry = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
using ClassicEntry = PyObject* (*)(PyObject*, PyObject*, PyObject*);

// Any entry routine, as the method table stores it.
template <class Entry>
PyCFunction as_cfunction(Entry entry) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

// A callable declared by text signature (a module function, or a method
// when `owner` names its class): the binder's table and the definition the
// interpreter calls through.
struct Function {
    Function(const char* text, FastEntry entry)
        : Function(text, nullptr, METH_FASTCALL | METH_KEYWORDS, as_cfunction(entry)) {}
    Function(const char* text, ClassicEntry entry)
        : Function(text, nullptr, METH_VARARGS | METH_KEYWORDS, as_cfunction(entry)) {}
    Function(const char* text, const char* owner, int flags, PyCFunction entry) : sig(text, owner) {
        def.ml_name = sig.name().c_str();
        def.ml_meth = entry;
        def.ml_flags = flags;
        def.ml_doc = sig.doc().c_str();
    }
    Function(const Function&) = delete;
    Function& operator=(const Function&) = delete;

    Signature sig;
    mutable PyMethodDef def{};  // the interpreter's calls take it non-const
};

}  // namespace quorin

// Defines the Function `ident` with text signature `text`; the braces that
// follow are its body, which sees the bound arguments as `a`. The object has
// external linkage, so the export table can name it without a header.
#define QUORIN_FUNCTION(ident, text)                                                                  \
    extern const ::quorin::Function ident;                                                            \
    static ::quorin::Ref ident##_body(const ::quorin::Bound& a);                                      \
    const ::quorin::Function ident(                                                                   \
        text, static_cast<::quorin::FastEntry>(                                                       \
                  [](PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kw) -> PyObject* { \
                      return ::quorin::call_bound<&ident##_body>(ident.sig, args, nargs, kw);         \
                  }));                                                                                \
    static ::quorin::Ref ident##_body([[maybe_unused]] const ::quorin::Bound& a)

// The same with the classic convention (positional tuple, keyword dict), for
// the functions that forward arbitrary keywords.
#define QUORIN_FUNCTION_CLASSIC(ident, text)                                                                 \
    extern const ::quorin::Function ident;                                                                   \
    static ::quorin::Ref ident##_body(const ::quorin::Bound& a);                                             \
    const ::quorin::Function ident(                                                                          \
        text, static_cast<::quorin::ClassicEntry>([](PyObject*, PyObject* args, PyObject* kw) -> PyObject* { \
            return ::quorin::call_bound<&ident##_body>(ident.sig, args, kw);                                 \
        }));                                                                                                 \
    static ::quorin::Ref ident##_body([[maybe_unused]] const ::quorin::Bound& a)
