// The fluent wrapper: an Iter holds one iterable; its transforming methods
// wrap the lazy result of a sequence function in a new Iter, its terminal
// methods return the function's result.
#pragma once

#include "runtime/core/error.hpp"

namespace quorin {

PyTypeObject* iter_type();

}  // namespace quorin
