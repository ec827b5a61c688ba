// Optional values (Some, NothingType) and results (Ok, Err): the shared
// constructors every part of the module builds them with, and their types.
#pragma once

#include "runtime/core/error.hpp"

namespace quorin {

// Each takes over the payload reference.
Ref some(Ref value);
Ref ok_obj(Ref value);
Ref err_obj(Ref error);
// A new absent value (absence is equality with Nothing, never identity).
Ref nothing();

PyTypeObject* some_type();
PyTypeObject* nothing_type();
PyTypeObject* option_type();
PyTypeObject* ok_type();
PyTypeObject* err_type();
PyTypeObject* result_type();

}  // namespace quorin
