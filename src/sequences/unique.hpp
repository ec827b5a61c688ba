#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// unique(seq, key) as a C++ call; `key` may be Py_None (no key).
Ref unique(PyObject* seq, PyObject* key);

// Writes the raw next routine of UniqueIter, then of UniqueIntIter, into
// their next slots (module execution).
void install_unique_iternext();

}  // namespace quorin
