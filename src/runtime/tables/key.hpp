// How the classifying functions turn an element into its key.
#pragma once

#include "runtime/core/error.hpp"

namespace quorin {

// The key convention shared by the classifying functions, topk, join and
// the fluent wrapper: a callable key is called with the element; a
// list key (or a list subclass) selects several items into a tuple; any
// other key selects one item, element[key]. Callability is tested on every
// call.
Ref apply_key(PyObject* key, PyObject* element);

// The same with callability decided once by the caller, for a loop over
// many elements with one key; inline, as it runs once per element.
inline Ref apply_key(PyObject* key, bool callable, PyObject* element) {
    if (callable) {
        PyObject* args[2] = {nullptr, element};
        return Ref::check(PyObject_Vectorcall(key, args + 1, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    }
    return apply_key(key, element);
}

}  // namespace quorin
