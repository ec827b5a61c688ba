#include "runtime/tables/key.hpp"

#include "runtime/core/iteration.hpp"

namespace quorin {

namespace {

Ref item_at(PyObject* element, PyObject* index) { return Ref::check(PyObject_GetItem(element, index)); }

// element[i] for each i of the list `indices`, as a tuple.
Ref select_items(PyObject* indices, PyObject* element) {
    const Py_ssize_t planned = PyList_GET_SIZE(indices);
    Ref out = Ref::check(PyTuple_New(planned));
    Py_ssize_t filled = 0;
    // An item access may run code that shrinks the list: stop at its end.
    for (; filled < planned && filled < PyList_GET_SIZE(indices); ++filled) {
        Ref index = Ref::borrow(PyList_GET_ITEM(indices, filled));
        PyTuple_SET_ITEM(out.get(), filled, item_at(element, index.get()).release());
    }
    if (filled == planned) return out;
    return Ref::check(PyTuple_GetSlice(out.get(), 0, filled));
}

}  // namespace

Ref apply_key(PyObject* key, PyObject* element) {
    if (PyCallable_Check(key)) return call1(key, element);
    if (PyList_Check(key)) return select_items(key, element);
    return item_at(element, key);
}

}  // namespace quorin
