#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// Shared with the fluent wrapper's flat_map and accumulate methods.
Ref mapcat(PyObject* func, PyObject* seqs);
Ref accumulate(PyObject* binop, PyObject* seq, PyObject* const* rest, Py_ssize_t nrest);

}  // namespace quorin
