// frequencies(seq): counts of the distinct elements, keys in order of first
// occurrence.
#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// frequencies(seq) as a C++ call (the fluent wrapper's method uses it).
Ref frequencies(PyObject* seq);

}  // namespace quorin
