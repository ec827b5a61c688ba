// What every mapping function shares: the target it fills (made by the
// optional factory), reading a mapping's items() as key/value pairs, and
// copying one mapping into another.
#pragma once

#include "runtime/core/iteration.hpp"

namespace quorin::mappings {

// The result mapping: factory() when a factory is given (not None), its
// result taken as it is; a new dict otherwise.
Ref make_target(PyObject* factory);

// target[key] = value by the generic item assignment.
inline void set_item(PyObject* target, PyObject* key, PyObject* value) {
    check_int(PyDict_CheckExact(target) ? PyDict_SetItem(target, key, value) : PyObject_SetItem(target, key, value));
}

// Whether `obj` has a "keys" attribute: what tells a mapping from an iterable
// of mappings, and a level to copy from a value to replace.
bool has_keys(PyObject* obj);

// An iterator over src.items() (a missing method raises AttributeError).
Ref items_iter(PyObject* src);

// One element of items(): element 0 and 1 of a tuple (subclasses accepted),
// held as strong references.
struct Item {
    Ref key, value;
};
Item as_item(PyObject* element);

// Calls fn(key, value) for each item of an exact dict, read in place: the
// order and the checks of its items iterator (a change of size, or a key
// read where none was expected, raises as the iterator raises), without a
// tuple per item.
template <class F>
void for_each_dict_item(PyObject* dict, F&& fn) {
    const Py_ssize_t used = PyDict_GET_SIZE(dict);
    Py_ssize_t left = used, pos = 0;
    PyObject *k, *v;
    for (;;) {
        if (PyDict_GET_SIZE(dict) != used) raise(PyExc_RuntimeError, "dictionary changed size during iteration");
        if (!PyDict_Next(dict, &pos, &k, &v)) return;
        if (left-- == 0) raise(PyExc_RuntimeError, "dictionary keys changed during iteration");
        Ref key = Ref::borrow(k), value = Ref::borrow(v);
        fn(key.get(), value.get());
    }
}

// Calls fn(key, value) for each element of src.items(), in order. The pair is
// held while fn runs; the element itself is released first, so that a dict's
// items iterator can reuse its result tuple. An exact dict's items() cannot
// be overridden: it is read in place.
template <class F>
void for_each_item(PyObject* src, F&& fn) {
    if (PyDict_CheckExact(src)) return for_each_dict_item(src, fn);
    Ref it = items_iter(src);
    while (Ref element = next_item(it.get())) {
        Item item = as_item(element.get());
        element.reset();
        fn(item.key.get(), item.value.get());
    }
}

// target[key] = value for every item of src. The pairs already assigned when
// something fails stay in the target; every caller then drops the target.
void copy_into(PyObject* target, PyObject* src);

}  // namespace quorin::mappings
