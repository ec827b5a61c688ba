#pragma once

#include "runtime/classes/function.hpp"

#include <cstddef>

namespace quorin {

namespace fn {
extern const Function count, isdistinct;
}

// Whether values[0] == values[i] is truthy for every i (rich comparison, the
// first value on the left, no identity shortcut, so a NaN is not equal even
// to itself). The n >= 1 references are borrowed: the caller keeps them
// alive for the call. Comparison errors propagate.
bool all_equal(PyObject* const* values, std::size_t n);

// count(seq) as a C++ call (the fluent wrapper's method uses it).
Ref count(PyObject* seq);

}  // namespace quorin
