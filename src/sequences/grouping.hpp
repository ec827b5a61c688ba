#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

// The bodies of the module functions, for the fluent wrapper's methods.
Ref groupby(PyObject* key, PyObject* seq);
Ref countby(PyObject* key, PyObject* seq);
Ref reduceby(PyObject* key, PyObject* binop, PyObject* seq, PyObject* const* rest, Py_ssize_t nrest);

}  // namespace quorin
