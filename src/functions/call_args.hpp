// A call's arguments in the forms the wrappers need: the vectorcall array
// forwarded as it came, or Python's own tuple and dict built only when a
// key or a stored partial application needs them.
#pragma once

#include "runtime/core/error.hpp"
#include "runtime/core/iteration.hpp"

#include <cstddef>
#include <memory>

namespace quorin {

// The keyword part of a vectorcall as a new dict; an empty Ref when the
// call passed no keywords.
Ref kwargs_dict(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Stored arguments followed by a call's new ones, as one vectorcall array
// of strong references: positionals are the stored tuple then the new
// ones; keywords are the stored dict updated with the new ones (a new
// keyword replaces a stored one of the same name, order as dict.update
// leaves it). Holding strong references keeps every argument alive while
// user code runs, whatever happens to the containers they came from.
// `stored_names`, when given, is the tuple of the stored dict's keys in
// its order, used as it is when the call brings no keywords.
class ArgPack {
public:
    ArgPack(PyObject* stored_args, PyObject* stored_kwargs, PyObject* stored_names, PyObject* const* args,
            Py_ssize_t nargs, PyObject* kwnames);
    ~ArgPack();
    ArgPack(const ArgPack&) = delete;
    ArgPack& operator=(const ArgPack&) = delete;

    Py_ssize_t npos() const noexcept { return npos_; }
    Py_ssize_t nkw() const noexcept { return nkw_; }
    PyObject* keyword_names() const noexcept { return names(); }

    // f(*positionals, **keywords)
    Ref call(PyObject* f);
    // obj.name(*positionals, **keywords); an empty Ref, with the exception
    // pending, when it raises (the caller decides what is expected).
    Ref try_method(PyObject* obj, PyObject* name);
    // The positionals as a new tuple, the keywords as a new dict.
    Ref positionals() const;
    Ref keywords() const;

private:
    void reserve(std::size_t n);
    void push(PyObject* o) noexcept { items_[++filled_] = Py_NewRef(o); }
    PyObject* names() const noexcept { return nkw_ ? kwnames_.get() : nullptr; }

    static constexpr std::size_t kInline = 8;
    // items_[0] is scratch room for the callee (or the method's object);
    // items_[1..filled_] are owned.
    PyObject* inline_[kInline + 1];
    std::unique_ptr<PyObject*[]> heap_;
    PyObject** items_ = inline_;
    std::size_t filled_ = 0;
    Py_ssize_t npos_ = 0, nkw_ = 0;
    Ref kwnames_;
};

}  // namespace quorin
