#include "runtime/tables/fast_hash.hpp"

#include "runtime/core/once.hpp"

namespace quorin {

namespace {

// Each probe value, and whether it must be held in the compact form (the
// last four are too large for one digit; should an interpreter ever store
// them compactly, the shortcut must still agree).
struct Probe {
    long long value;
    bool must_be_compact;
};

constexpr Probe kProbes[] = {
    {0, true},
    {1, true},
    {-1, true},
    {-2, true},
    {5, true},
    {256, true},
    {257, true},
    {1073741823, true},
    {-1073741823, true},
    {1099511627776, false},
    {-1099511627776, false},
    {9223372036854775807, false},
    {-9223372036854775807, false},
};

// Runs with the interpreter lock held. Any failure (even an allocation
// failure creating a probe) turns the shortcut off; the error is dropped so
// callers never see it.
bool self_test() noexcept {
    for (const Probe& probe : kProbes) {
        Ref obj = Ref::steal(PyLong_FromLongLong(probe.value));
        if (!obj) {
            PyErr_Clear();
            return false;
        }
        Py_hash_t expected = PyObject_Hash(obj.get());
        if (expected == -1) {
            PyErr_Clear();
            return false;
        }
        long long compact = 0;
        if (compat::compact_int_value(obj.get(), &compact)) {
            if (compact != probe.value || small_int_hash(compact) != expected) return false;
        } else if (probe.must_be_compact) {
            return false;
        }
    }
    return true;
}

OnceCell switch_cell;

}  // namespace

bool int_fast_hash_enabled() {
    // The cell stores True or False; the once-guard makes concurrent first
    // callers wait (with the interpreter lock released) for the first.
    PyObject* answer = switch_cell.get([] { return Ref::borrow(self_test() ? Py_True : Py_False); });
    return answer == Py_True;
}

}  // namespace quorin
