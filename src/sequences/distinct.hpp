#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// count(seq) as a C++ call (the fluent wrapper's method uses it).
Ref count(PyObject* seq);

}  // namespace quorin
