#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// get(ind, coll[, dflt]) as a C++ call (`dflt` null: no default): coll[ind],
// or a tuple of coll[i] for each i of a list `ind`; a lookup error becomes
// `dflt` when there is one.
Ref get_value(PyObject* ind, PyObject* coll, PyObject* dflt);

}  // namespace quorin
