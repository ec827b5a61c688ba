#pragma once

#include "runtime/core/error.hpp"

namespace quorin {

// The `curry` class.
PyTypeObject* curry_type();

// A new curry of `func` with no stored arguments.
Ref make_curry(PyObject* func);

}  // namespace quorin
