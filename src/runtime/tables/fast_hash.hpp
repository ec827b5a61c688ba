// The process-wide switch that lets py_hash take the small-int shortcut
// (an exact one-digit int hashes to its own value, -1 to -2) without asking
// the interpreter. It is decided once by checking the shortcut against the
// interpreter's own hash, so an interpreter that ever hashes ints
// differently simply loses the shortcut instead of producing wrong results.
#pragma once

#include "runtime/core/compat.hpp"

namespace quorin {

// True when the small-int shortcut agrees with the interpreter. The first
// call runs the self-test (concurrent first callers wait for it); later
// calls read the stored answer. Never sets a Python exception.
bool int_fast_hash_enabled();

// The shortcut itself, shared by py_hash and the self-test: the hash of a
// compact int of value `v`.
inline constexpr Py_hash_t small_int_hash(long long v) noexcept { return v == -1 ? -2 : static_cast<Py_hash_t>(v); }

}  // namespace quorin
