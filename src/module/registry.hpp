// Adding names to the module: every name goes through `add`, which keeps
// `__all__` in registration order.
#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

void add(PyObject* module, const char* name, Ref value);
void add_function(PyObject* module, const Function& f);
void add_type(PyObject* module, PyTypeObject* type);

// Fills the module with every exported name, in the order of `__all__`.
void register_all(PyObject* module);

}  // namespace quorin
