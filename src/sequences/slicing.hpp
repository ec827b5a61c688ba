#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// The last `n` elements of `seq`: its own slice where it takes one, else a
// tuple gathered by iteration.
Ref tail(std::size_t n, PyObject* seq);

}  // namespace quorin
