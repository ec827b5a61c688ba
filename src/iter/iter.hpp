// The fluent wrapper: an Iter holds one iterable; its transforming methods
// wrap the lazy result of a sequence function in a new Iter, its terminal
// methods return the function's result.
#pragma once

#include "../utils/method.hpp"

#include <cstddef>

namespace quorin {

PyTypeObject* iter_type();

namespace iter {

// The wrapped iterable of an Iter (a strong reference).
Ref inner(PyObject* self);
// A new Iter around `obj`.
Ref wrap(Ref obj);

// fn(n, inner) with the count converted first, wrapped.
template <Ref (*fn)(std::size_t, PyObject*)>
Ref wrap_counted(PyObject* self, const Bound& a) {
    const std::size_t n = a.usize(0);
    Ref seq = inner(self);
    return wrap(fn(n, seq.get()));
}

// The methods that delegate to the dedicated iterators, each defined with
// its iterator; null when that iterator is not part of the build.
const Method* unique_method();
const Method* sliding_window_method();
const Method* pluck_method();
const Method* interpose_method();

}  // namespace iter
}  // namespace quorin
