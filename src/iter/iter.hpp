// The fluent wrapper: an Iter holds one iterable; its transforming methods
// wrap the lazy result of a sequence function in a new Iter, its terminal
// methods return the function's result.
#pragma once

#include "../utils/method.hpp"

namespace quorin {

PyTypeObject* iter_type();

namespace iter {

// The wrapped iterable of an Iter (a strong reference).
Ref inner(PyObject* self);
// A new Iter around `obj`.
Ref wrap(Ref obj);

// The methods that delegate to the dedicated iterators, each defined with
// its iterator; null when that iterator is not part of the build.
const Method* unique_method();
const Method* sliding_window_method();
const Method* partition_all_method();
const Method* pluck_method();
const Method* interpose_method();

}  // namespace iter
}  // namespace quorin
