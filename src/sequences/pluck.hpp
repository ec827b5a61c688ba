#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// pluck(ind, seqs) with no default, as a C++ call.
Ref pluck(PyObject* ind, PyObject* seqs);

// Writes the raw next routine of PluckIter into its next slot.
void install_pluck_iternext();

}  // namespace quorin
