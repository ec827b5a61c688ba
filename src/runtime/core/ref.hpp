// The one owning reference type: every strong reference the module holds
// lives in a Ref, so no business code ever decrements by hand.
#pragma once

#include "runtime/core/compat.hpp"

#include <utility>

namespace quorin {

class Ref {
public:
    constexpr Ref() noexcept = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            PyObject* old = p_;
            p_ = other.p_;
            other.p_ = nullptr;
            Py_XDECREF(old);
        }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    // Takes over a reference the caller owns (may be null).
    static Ref steal(PyObject* p) noexcept { return Ref(p); }
    // Takes over the result of a C-API call; null means the call failed.
    static Ref check(PyObject* p);
    // A new strong reference to a borrowed object.
    static Ref borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return Ref(p);
    }

    PyObject* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // Hands the reference to the caller (the interpreter, usually).
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    // A second strong reference to the same object.
    Ref clone() const noexcept { return borrow(p_); }
    void reset() noexcept { Ref dropped(std::move(*this)); }

private:
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    PyObject* p_ = nullptr;
};

}  // namespace quorin
