// Combining whole mappings and editing one key: every result is a new
// mapping; the inputs are only read.
#include "items.hpp"
#include "runtime/classes/function.hpp"

#include <string>

namespace quorin::fn {

using namespace mappings;

namespace {

// The mappings to combine: the positional arguments, or, when the only one
// is not a mapping (it has no "keys"), the elements it yields, read in full
// before anything is combined.
class MappingList {
public:
    explicit MappingList(const Bound& a) : items_(a.rest()), size_(a.rest_size()) {
        if (size_ == 1 && !has_keys(items_[0])) {
            owner_ = list_of(items_[0]);
            items_ = PySequence_Fast_ITEMS(owner_.get());
            size_ = PyList_GET_SIZE(owner_.get());
        }
    }
    PyObject* const* begin() const noexcept { return items_; }
    PyObject* const* end() const noexcept { return items_ + size_; }

private:
    Ref owner_;  // the private list of a lone iterable's elements
    PyObject* const* items_;
    Py_ssize_t size_;
};

[[noreturn]] void not_iterable(PyObject* obj) {
    Ref name = Ref::check(PyType_GetName(Py_TYPE(obj)));
    const char* text = PyUnicode_AsUTF8(name.get());
    if (text == nullptr) ffi_err();
    raise(PyExc_TypeError, std::string("'") + text + "' object is not iterable");
}

// Adds `value` to the list of `key` in the private grouping table.
void group(PyObject* groups, PyObject* key, PyObject* value) {
    PyObject* found = nullptr;
    int r = compat::dict_get_item_ref(groups, key, &found);
    if (r < 0) ffi_err();
    Ref values = Ref::steal(found);
    if (values) {
        check_int(PyList_Append(values.get(), value));
        return;
    }
    values = Ref::check(PyList_New(1));
    PyList_SET_ITEM(values.get(), 0, Py_NewRef(value));
    check_int(PyDict_SetItem(groups, key, values.get()));
}

}  // namespace

QUORIN_FUNCTION(merge, "merge(*dicts, factory=None)") {
    // Exact dicts are merged natively by copy_into, in order, so a run of
    // them costs what {**a, **b} costs and never compares a key twice.
    Ref target = make_target(a[0]);
    for (PyObject* mapping : MappingList(a)) {
        if (!has_keys(mapping)) not_iterable(mapping);
        copy_into(target.get(), mapping);
    }
    return target;
}

QUORIN_FUNCTION(merge_with, "merge_with(func, *dicts, factory=None)") {
    PyObject* func = a[0];
    Ref groups = Ref::check(PyDict_New());
    for (PyObject* mapping : MappingList(a))
        for_each_item(mapping, [&](PyObject* key, PyObject* value) { group(groups.get(), key, value); });
    // The factory is called only once every input has been read.
    Ref target = make_target(a[1]);
    Py_ssize_t pos = 0;
    PyObject *k, *vals;
    while (PyDict_Next(groups.get(), &pos, &k, &vals)) {
        Ref key = Ref::borrow(k);
        Ref values = Ref::borrow(vals);
        Ref merged = call1(func, values.get());
        set_item(target.get(), key.get(), merged.get());
    }
    return target;
}

QUORIN_FUNCTION(assoc, "assoc(d, key, value, factory=None)") {
    Ref target = make_target(a[3]);
    copy_into(target.get(), a[0]);
    set_item(target.get(), a[1], a[2]);
    return target;
}

QUORIN_FUNCTION(dissoc, "dissoc(d, *keys, factory=None)") {
    Ref target = make_target(a[1]);
    copy_into(target.get(), a[0]);
    PyObject* t = target.get();
    for (Py_ssize_t i = 0; i < a.rest_size(); ++i) {
        PyObject* key = a.rest()[i];
        if (check_int(PySequence_Contains(t, key))) check_int(PyObject_DelItem(t, key));
    }
    return target;
}

}  // namespace quorin::fn
