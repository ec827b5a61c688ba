// Process-wide cells filled once (type objects, cached standard-library
// attributes). A thread that finds another thread filling a cell waits for
// it with the interpreter lock released, so the filler, which may need the
// lock (an import does), can finish. The filler itself may come back to the
// cell (an audit hook or an import that calls into the module): it must not
// wait for itself, so it computes a value of its own; whichever finishes
// first is published and kept, and a later one is dropped.
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

private:
    template <class F>
    PyObject* slow(F& init) {
        const void* self = this_thread_tag();
        if (filler_.load(std::memory_order_acquire) == self) return publish(init());
        if (!mutex_.try_lock()) {
            Py_BEGIN_ALLOW_THREADS mutex_.lock();
            Py_END_ALLOW_THREADS
        }
        std::unique_lock<std::mutex> held(mutex_, std::adopt_lock);
        if (PyObject* v = value_.load(std::memory_order_acquire)) return v;
        filler_.store(self, std::memory_order_release);
        struct Clear {
            std::atomic<const void*>& f;
            ~Clear() { f.store(nullptr, std::memory_order_release); }
        } clear{filler_};
        return publish(init());
    }

    static const void* this_thread_tag() noexcept {
        static thread_local char tag;
        return &tag;
    }

    // Keeps `made` unless a value is already there (then `made` is dropped).
    PyObject* publish(Ref made) {
        PyObject* expected = nullptr;
        if (value_.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) return made.release();
        return expected;
    }

    std::atomic<PyObject*> value_{nullptr};
    // The thread filling the cell, known by the address of one of its
    // thread-locals; null when none is.
    std::atomic<const void*> filler_{nullptr};
    std::mutex mutex_;
};

// Standard-library names. There are two ways to reach one, by intent:
// - `cells::<name>()`: fetched once per process and kept (borrowed), for
//   names the module uses as its own tools;
// - `module_attr(QUORIN_NAME("heapq"), QUORIN_NAME("merge"))`: imported and
//   read anew at every call, where a function is meant to use a module
//   attribute as it stands at the call (one replaced since is seen).
namespace cells {
PyObject* islice();               // itertools.islice
PyObject* chain();                // itertools.chain
PyObject* chain_from_iterable();  // itertools.chain.from_iterable
PyObject* builtins_map();         // builtins.map
PyObject* sequence_abc();         // collections.abc.Sequence
PyObject* signature();            // inspect.signature
PyObject* signature_class();      // inspect.Signature
PyObject* parameter_class();      // inspect.Parameter
}  // namespace cells

Ref module_attr(PyObject* module, PyObject* name);

}  // namespace quorin

// An interned str made once per process, for attribute and module names
// used at every call: no string is built per call.
#define QUORIN_NAME(text)                                                                       \
    ([]() -> PyObject* {                                                                        \
        static ::quorin::OnceCell cell;                                                         \
        return cell.get([] { return ::quorin::Ref::check(PyUnicode_InternFromString(text)); }); \
    }())
