#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

namespace fn {
extern const Function groupby, countby, reduceby;
}

// The key convention shared by the classifying functions (and topk, join
// and the fluent wrapper): a callable key is called with the element; a
// list key (or a list subclass) selects several items into a tuple; any
// other key selects one item, element[key]. Callability is tested on every
// call.
Ref apply_key(PyObject* key, PyObject* element);

// The bodies of the module functions, for the fluent wrapper's methods.
Ref groupby(PyObject* key, PyObject* seq);
Ref countby(PyObject* key, PyObject* seq);
Ref reduceby(PyObject* key, PyObject* binop, PyObject* seq, PyObject* const* rest, Py_ssize_t nrest);

}  // namespace quorin
