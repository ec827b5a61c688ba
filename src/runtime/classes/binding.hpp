// Argument binding driven by one declarative text signature per callable:
// the same text is the docstring (so inspect.signature reads it) and the
// parameter table the binder works from.
#pragma once

#include "runtime/core/error.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorin {

inline constexpr std::size_t kMaxParams = 8;

class Signature;

// The outcome of binding one call. Parameter values are borrowed from the
// call (or are static defaults); surplus positionals stay in the caller's
// array, so binding allocates nothing unless there is a `**` parameter.
class Bound {
public:
    PyObject* operator[](std::size_t i) const noexcept { return view_[i]; }
    // Surplus positional arguments (the `*name` parameter).
    PyObject* const* rest() const noexcept { return rest_; }
    Py_ssize_t rest_size() const noexcept { return nrest_; }
    Ref rest_tuple() const;
    // Surplus keywords (the `**name` parameter); null when there were none.
    PyObject* kwargs() const noexcept { return kwargs_.get(); }

    // Native conversions through the index protocol; a failure keeps the
    // interpreter's exception and gains the note "while processing '<name>'".
    std::size_t usize(std::size_t i) const;
    std::uint64_t u64(std::size_t i) const;
    std::int64_t i64(std::size_t i) const;
    // A signed machine word (the caller judges negative values).
    Py_ssize_t ssize(std::size_t i) const;
    // Parameter `i` must be an instance of `type` (named `expected` in the
    // message), with the same note on failure.
    void require_type(std::size_t i, PyTypeObject* type, const char* expected) const;

private:
    friend class Signature;
    // The bound values: the caller's own array when the positionals fill
    // every parameter, else `values_`.
    PyObject* const* view_ = values_;
    PyObject* values_[kMaxParams];
    PyObject* const* rest_ = nullptr;
    Py_ssize_t nrest_ = 0;
    Ref kwargs_;
    const Signature* sig_ = nullptr;
};

// Adds "while processing '<name>'" to the pending exception and unwinds.
[[noreturn]] void fail_with_note(const char* name);

// Sets TypeError "'<type>' object is not an instance of '<expected>'" ("'None'
// is not an instance of '<expected>'" for None), the message of a failed
// type check of a parameter or of an element read from user data.
void set_not_instance(PyObject* v, const char* expected);

class Signature {
public:
    // `text` is the text signature, e.g. "take(n, seq)" or "map($self, f)";
    // `owner` is the class name for methods ("Iter"), null for functions.
    explicit Signature(const char* text, const char* owner = nullptr);

    const std::string& name() const noexcept { return name_; }
    const std::string& doc() const noexcept { return doc_; }
    const std::string& param_name(std::size_t i) const { return params_[i].name; }

    // Fast calling convention: positional array plus keyword-name tuple.
    // Inline for the common case: exactly the named parameters, by position.
    void bind(Bound& out, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) const {
        if (kwnames == nullptr && nargs == exact_positional_) {
            out.sig_ = this;
            out.view_ = args;
            return;
        }
        // `f(a, *rest)` called positionally with at least the named ones.
        if (kwnames == nullptr && star_only_ && nargs >= static_cast<Py_ssize_t>(npositional_)) {
            out.sig_ = this;
            out.view_ = args;
            out.rest_ = args + npositional_;
            out.nrest_ = nargs - static_cast<Py_ssize_t>(npositional_);
            return;
        }
        bind_slow(out, args, nargs, kwnames);
    }
    // Classic convention: positional tuple plus keyword dictionary (either may be null).
    void bind_classic(Bound& out, PyObject* args, PyObject* kwargs) const;

private:
    struct Param {
        std::string name;
        bool keyword_only = false;
        PyObject* (*default_value)() = nullptr;  // null: required
    };

    void bind_slow(Bound& out, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) const;
    void bind_keyword(Bound& out, PyObject* name, PyObject* value, Py_ssize_t npos) const;
    // Fills the parameters from the positionals (surplus ones to `rest`);
    // returns how many parameters they filled.
    Py_ssize_t bind_positional(Bound& out, PyObject* const* args, Py_ssize_t nargs) const;
    void finish(Bound& out) const;
    [[noreturn]] void too_many(Py_ssize_t given) const;

    std::string name_, doc_;
    std::string label_;  // "take()" or "Iter.take()": how the binding messages name the callable
    std::vector<Param> params_;
    std::size_t npositional_ = 0;  // named parameters before any star
    std::size_t nrequired_positional_ = 0;
    bool star_ = false, star_star_ = false;
    // Positional count that fills every parameter exactly (-1: none does).
    Py_ssize_t exact_positional_ = -1;
    // Named positional parameters, then `*name`, and nothing after.
    bool star_only_ = false;
};

// The call path of every callable declared by text signature: bind the
// arguments, run `body` (with any leading arguments such as `self` before
// the bound ones), and turn an exception into the interpreter's error at
// this one boundary. One instantiation per body, so the body is inlined.
template <auto body, class... Lead>
PyObject* call_bound(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     Lead... lead) noexcept {
    return boundary([&] {
        Bound bound;
        sig.bind(bound, args, nargs, kwnames);
        return body(lead..., bound);
    });
}

// The same with the classic convention: positional tuple, keyword dict.
template <auto body>
PyObject* call_bound(const Signature& sig, PyObject* args, PyObject* kwargs) noexcept {
    return boundary([&] {
        Bound bound;
        sig.bind_classic(bound, args, kwargs);
        return body(bound);
    });
}

}  // namespace quorin
