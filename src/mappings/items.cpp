#include "items.hpp"

#include "runtime/classes/binding.hpp"
#include "runtime/core/once.hpp"

namespace quorin::mappings {

Ref make_target(PyObject* factory) {
    if (factory == nullptr || factory == Py_None) return Ref::check(PyDict_New());
    return Ref::check(PyObject_CallNoArgs(factory));
}

bool has_keys(PyObject* obj) {
    if (PyDict_CheckExact(obj)) return true;
    return check_int(compat::has_attr(obj, QUORIN_NAME("keys"))) != 0;
}

Ref items_iter(PyObject* src) {
    Ref items = Ref::check(PyObject_CallMethodNoArgs(src, QUORIN_NAME("items")));
    return get_iter(items.get());
}

Item as_item(PyObject* element) {
    if (!PyTuple_Check(element)) {
        set_not_instance(element, "tuple");
        throw PyErrorSet{};
    }
    if (PyTuple_GET_SIZE(element) < 2) raise(PyExc_IndexError, "tuple index out of range");
    return {Ref::borrow(PyTuple_GET_ITEM(element, 0)), Ref::borrow(PyTuple_GET_ITEM(element, 1))};
}

void copy_into(PyObject* target, PyObject* src) {
    // An exact dict's items() cannot be overridden, and assigning its pairs
    // one by one into an exact dict gives what the native merge gives: take
    // the merge (stored hashes, no per-item calls).
    if (PyDict_CheckExact(src) && PyDict_CheckExact(target)) {
        if (PyDict_Update(target, src) < 0) ffi_err();
        return;
    }
    for_each_item(src, [target](PyObject* key, PyObject* value) { set_item(target, key, value); });
}

}  // namespace quorin::mappings
