#pragma once

#include "runtime/classes/function.hpp"

#include <cstddef>

namespace quorin {

// sliding_window once `n` is converted: n == 0 gives the empty iterator
// (seq not examined); otherwise the source is built and n - 1 elements are
// read ahead now, so errors of the first elements surface at the call.
Ref sliding_window_from(std::size_t n, PyObject* seq);

// Writes the raw next routine of SlidingWindowIter into its next slot.
void install_sliding_window_iternext();

}  // namespace quorin
