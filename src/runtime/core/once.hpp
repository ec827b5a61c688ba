// Process-wide cells filled once (type objects, cached standard-library
// attributes). A thread that finds another thread filling a cell waits for
// it with the interpreter lock released, so the filler, which may need the
// lock (an import does), can finish.
#pragma once

#include "runtime/core/error.hpp"

#include <atomic>
#include <mutex>

namespace quorin {

class OnceCell {
public:
    constexpr OnceCell() noexcept = default;

    // The cell's object (borrowed; the cell keeps it for the process's life),
    // created by `init` (which returns a Ref) on first use. A failed `init`
    // stores nothing and propagates, so the next call tries again.
    template <class F>
    PyObject* get(F&& init) {
        if (PyObject* v = value_.load(std::memory_order_acquire)) return v;
        return slow(init);
    }

    PyObject* peek() const noexcept { return value_.load(std::memory_order_acquire); }

private:
    template <class F>
    PyObject* slow(F& init) {
        if (!mutex_.try_lock()) {
            Py_BEGIN_ALLOW_THREADS
            mutex_.lock();
            Py_END_ALLOW_THREADS
        }
        std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
        if (PyObject* v = value_.load(std::memory_order_acquire)) return v;
        Ref made = init();
        PyObject* v = made.release();
        value_.store(v, std::memory_order_release);
        return v;
    }

    std::atomic<PyObject*> value_{nullptr};
    std::mutex mutex_;
};

// A standard-library attribute fetched once per process: imports `module`
// and reads each dot-separated component of `path` in turn.
PyObject* cached_attr(OnceCell& cell, const char* module, const char* path);

// The cells shared by the sequence functions.
namespace cells {
PyObject* islice();
PyObject* chain();
PyObject* chain_from_iterable();
PyObject* builtins_map();
PyObject* sequence_abc();
PyObject* signature();
}  // namespace cells

// An attribute of a standard-library module, imported and read anew at
// every call (so a replaced module attribute is seen); the names are
// interned objects made once (see QUORIN_NAME).
Ref module_attr(PyObject* module, PyObject* name);

}  // namespace quorin

// An interned str made once per process, for attribute and module names
// used at every call: no string is built per call.
#define QUORIN_NAME(text)                                                                    \
    ([]() -> PyObject* {                                                                     \
        static ::quorin::OnceCell cell;                                                      \
        return cell.get([] { return ::quorin::Ref::check(PyUnicode_InternFromString(text)); }); \
    }())

namespace quorin {

}  // namespace quorin
