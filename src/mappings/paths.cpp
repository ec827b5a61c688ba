// Reading and editing along a path of keys into nested mappings.
#include "items.hpp"
#include "runtime/classes/function.hpp"
#include "runtime/core/once.hpp"

#include <cstring>
#include <utility>
#include <vector>

namespace quorin::fn {

using namespace mappings;

namespace {

bool is_key_error() noexcept { return PyErr_ExceptionMatches(PyExc_KeyError); }

// coll[key], or an empty Ref when the lookup fails with an error that
// `missing` accepts (the error is then cleared); other errors propagate.
Ref lookup(PyObject* coll, PyObject* key, bool (*missing)() noexcept) {
    if (PyDict_CheckExact(coll)) {
        // A miss of an exact dict is a KeyError, found without raising one.
        PyObject* v = nullptr;
        int found = compat::dict_get_item_ref(coll, key, &v);
        if (found > 0) return Ref::steal(v);
        if (found == 0) return Ref();
    } else if (PyObject* v = PyObject_GetItem(coll, key)) {
        return Ref::steal(v);
    }
    if (!missing()) ffi_err();
    PyErr_Clear();
    return Ref();
}

bool is_numpy_bool(PyObject* v) {
    Ref name = Ref::check(PyType_GetName(Py_TYPE(v)));
    const char* n = PyUnicode_AsUTF8(name.get());
    if (n == nullptr) ffi_err();
    if (std::strcmp(n, "bool_") != 0 && std::strcmp(n, "bool") != 0) return false;
    Ref module = Ref::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(v)), QUORIN_NAME("__module__")));
    if (!module) {
        // A class without a module name is not numpy's.
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) ffi_err();
        PyErr_Clear();
        return false;
    }
    return PyUnicode_Check(module.get()) && PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0;
}

// A flag parameter: True, False or a numpy boolean scalar (read through its
// truth slot); anything else, even 0 or 1, fails the type check.
bool flag(const Bound& a, std::size_t i) {
    PyObject* v = a[i];
    if (!PyBool_Check(v) && !is_numpy_bool(v)) a.require_type(i, &PyBool_Type, "bool");
    return truthy(v);
}

// What the end of an edited path gets: `value` (assoc_in), or func called on
// the existing value or, when there is none, on `value` (update_in).
struct Leaf {
    PyObject* func;
    PyObject* value;

    Ref operator()(PyObject* existing) const {
        if (func == nullptr) return Ref::borrow(value);
        return call1(func, existing != nullptr ? existing : value);
    }
};

// A copy of `source` along the path `keys` (a private, non-empty list), the
// last key leading to leaf(old value). Each level is a new target holding a
// copy of the source level when that is a mapping; a missing level, or a
// value that is not a mapping, is replaced by a fresh mapping. A loop rather
// than recursion, so that a path of any length fits the C stack: the levels
// are made top-down, then each is stored into the one above, bottom-up, in
// the order a recursive descent would make its calls.
Ref edit_path(PyObject* source, PyObject* keys, const Leaf& leaf, PyObject* factory) {
    const Py_ssize_t n = PyList_GET_SIZE(keys);
    std::vector<std::pair<Ref, PyObject*>> levels;  // target and its key (held by `keys`)
    levels.reserve(static_cast<std::size_t>(n));
    Ref level = Ref::borrow(source);
    Ref value;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* key = PyList_GET_ITEM(keys, i);
        Ref target = make_target(factory);
        Ref child;
        if (has_keys(level.get())) {
            copy_into(target.get(), level.get());
            child = lookup(level.get(), key, is_key_error);
        }
        levels.emplace_back(std::move(target), key);
        if (i + 1 == n) {
            value = leaf(child.get());
        } else {
            level = child ? std::move(child) : make_target(factory);
        }
    }
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
        set_item(it->first.get(), it->second, value.get());
        value = std::move(it->first);
    }
    return value;
}

Ref edit_in(PyObject* d, PyObject* keys, const Leaf& leaf, PyObject* factory) {
    Ref path = list_of(keys);
    if (PyList_GET_SIZE(path.get()) == 0) raise_stop_iteration();
    return edit_path(d, path.get(), leaf, factory);
}

// The keys of a path, one at a time: an exact list by index below its current
// length (a lookup may run code that resizes it; its own iterator would see
// the same), an exact tuple by index, anything else through its iterator.
class KeyCursor {
public:
    explicit KeyCursor(PyObject* keys) : keys_(keys) {
        if (!PyList_CheckExact(keys) && !PyTuple_CheckExact(keys)) it_ = get_iter(keys);
    }
    Ref next() {
        if (it_) return next_item(it_.get());
        const Py_ssize_t i = index_++;
        if (PyList_CheckExact(keys_))
            return i < PyList_GET_SIZE(keys_) ? Ref::borrow(PyList_GET_ITEM(keys_, i)) : Ref();
        return i < PyTuple_GET_SIZE(keys_) ? Ref::borrow(PyTuple_GET_ITEM(keys_, i)) : Ref();
    }

private:
    PyObject* keys_;  // the caller's argument
    Ref it_;
    Py_ssize_t index_ = 0;
};

}  // namespace

QUORIN_FUNCTION(assoc_in, "assoc_in(d, keys, value, factory=None)") {
    return edit_in(a[0], a[1], Leaf{nullptr, a[2]}, a[3]);
}

QUORIN_FUNCTION(update_in, "update_in(d, keys, func, default=None, factory=None)") {
    return edit_in(a[0], a[1], Leaf{a[2], a[3]}, a[4]);
}

QUORIN_FUNCTION(get_in, "get_in(keys, coll, default=None, no_default=False)") {
    const bool strict = flag(a, 3);
    KeyCursor keys(a[0]);
    Ref current = Ref::borrow(a[1]);
    while (Ref key = keys.next()) {
        Ref found = strict ? Ref::check(PyObject_GetItem(current.get(), key.get()))
                           : lookup(current.get(), key.get(), is_lookup_error);
        if (!found) return Ref::borrow(a[2]);
        current = std::move(found);
    }
    return current;
}

}  // namespace quorin::fn
