#include "runtime/core/error.hpp"

#include "runtime/core/once.hpp"

#include <new>

namespace quorin {

void ffi_err() {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "FFI call failed without setting an exception");
    throw PyErrorSet{};
}

void raise(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw PyErrorSet{};
}

void raise(PyObject* type, const std::string& message) { raise(type, message.c_str()); }

bool is_lookup_error() noexcept {
    return PyErr_ExceptionMatches(PyExc_KeyError) || PyErr_ExceptionMatches(PyExc_IndexError) ||
           PyErr_ExceptionMatches(PyExc_TypeError);
}

namespace {
OnceCell panic_cell;
}

PyObject* panic_type() {
    return panic_cell.get([] {
        return Ref::check(PyErr_NewExceptionWithDoc(
            "quorin._quorin.PanicException", "A broken internal invariant of the module (not an error of the caller).",
            PyExc_BaseException, nullptr));
    });
}

namespace {
void set_panic(const char* message) {
    try {
        PyObject* type = panic_type();
        PyErr_SetString(type, message);
    } catch (...) {
        Py_FatalError("uncaught panic at ffi boundary");
    }
}
}  // namespace

void set_error_from_current_exception(const char* fallback) noexcept {
    try {
        throw;
    } catch (const PyErrorSet&) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "FFI call failed without setting an exception");
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        const char* what = e.what();
        set_panic(what != nullptr && *what != '\0' ? what : fallback);
    } catch (...) {
        set_panic(fallback);
    }
}

}  // namespace quorin
