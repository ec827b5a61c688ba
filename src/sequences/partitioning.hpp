#pragma once

#include "runtime/classes/function.hpp"

#include <cstddef>

namespace quorin {

// Tuples of `n` items of `seq`, the last one shorter; the count is already
// converted (the fluent wrapper's partition_all). With n == 0 the result
// yields nothing, but `seq` must still be iterable.
Ref partition_all(std::size_t n, PyObject* seq);

}  // namespace quorin
