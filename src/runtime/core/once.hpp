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

private:
    template <class F>
    PyObject* slow(F& init) {
        if (!mutex_.try_lock()) {
            Py_BEGIN_ALLOW_THREADS mutex_.lock();
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
