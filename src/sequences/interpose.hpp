#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// An interposing iterator that reads nothing at the call: the first element
// is read by the first `next` and yielded without a separator (the fluent
// wrapper's interpose).
Ref interpose_lazy(PyObject* el, PyObject* seq);

// Writes the raw next routine of InterposeIter into its next slot.
void install_interpose_iternext();

}  // namespace quorin
