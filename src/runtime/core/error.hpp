// Errors inside the module are C++ exceptions; the boundary wrapper of each
// entry point converts them into the interpreter's pending exception.
#pragma once

#include "runtime/core/ref.hpp"

#include <stdexcept>
#include <string>

namespace quorin {

// A Python exception is pending; whoever threw it left it set.
struct PyErrorSet {};

// A broken internal invariant: reported as the panic exception, never a crash.
struct Panic : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The C-API call just made reported failure: keep its exception pending, or
// set SystemError when it set none, and unwind.
[[noreturn]] void ffi_err();

// Sets `type` with `message` and unwinds.
[[noreturn]] void raise(PyObject* type, const char* message);
[[noreturn]] void raise(PyObject* type, const std::string& message);

inline Ref Ref::check(PyObject* p) {
    if (p == nullptr) ffi_err();
    return Ref(p);
}

// -1 from a C-API call means failure.
inline int check_int(int r) {
    if (r == -1 && PyErr_Occurred()) ffi_err();
    return r;
}

// The interpreter's recursion guard for call slots that can nest
// (a composition of compositions, an iterator over an iterator...): deep nesting is a RecursionError.
class RecursionGuard {
public:
    // With `enter` false the guard does nothing: the caller knows nothing
    // below it can nest.
    explicit RecursionGuard(const char* where, bool enter = true) : entered_(enter) {
        if (entered_ && Py_EnterRecursiveCall(where)) throw PyErrorSet{};
    }
    ~RecursionGuard() {
        if (entered_) Py_LeaveRecursiveCall();
    }
    RecursionGuard(const RecursionGuard&) = delete;
    RecursionGuard& operator=(const RecursionGuard&) = delete;

private:
    bool entered_;
};

// True when the pending exception is a KeyError, IndexError or TypeError.
bool is_lookup_error() noexcept;

// The class of the panic exception (derives from BaseException).
PyObject* panic_type();

// Sets the pending exception for whatever C++ exception is being handled.
// Must be called from inside a catch block.
void set_error_from_current_exception(const char* fallback) noexcept;

// The one boundary wrapper: runs `body`, which returns a Ref, and converts
// its result or its exception for the interpreter.
template <class F>
PyObject* boundary(F&& body, const char* fallback = "panic at ffi boundary") noexcept {
    try {
        return body().release();
    } catch (...) {
        set_error_from_current_exception(fallback);
        return nullptr;
    }
}

// The same for slots that report failure with -1.
template <class F>
int boundary_int(F&& body, const char* fallback = "panic at ffi boundary") noexcept {
    try {
        return body();
    } catch (...) {
        set_error_from_current_exception(fallback);
        return -1;
    }
}

}  // namespace quorin
