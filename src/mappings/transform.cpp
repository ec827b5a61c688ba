// Mapping and filtering the items of one mapping: one skeleton, six steps
// that differ in what the user's callable is given and how its result is
// used.
#include "items.hpp"
#include "runtime/classes/function.hpp"

#include <string>

namespace quorin::fn {

using namespace mappings;

namespace {

enum class Gets { key, value, item };

// The (key, value) tuple handed to func. Like the dict's items iterator, it
// is filled anew for the next item when func kept no reference to it.
class ItemTuple {
public:
    PyObject* make(PyObject* key, PyObject* value) {
        PyObject* t = tuple_.get();
        if (t == nullptr || Py_REFCNT(t) != 1) {
            tuple_ = Ref::check(PyTuple_Pack(2, key, value));
            return tuple_.get();
        }
        // The old pair is released only once the tuple holds the new one.
        Ref old_key = Ref::steal(PyTuple_GET_ITEM(t, 0)), old_value = Ref::steal(PyTuple_GET_ITEM(t, 1));
        PyTuple_SET_ITEM(t, 0, Py_NewRef(key));
        PyTuple_SET_ITEM(t, 1, Py_NewRef(value));
        // The collector may have stopped tracking it for its old contents.
        if (!PyObject_GC_IsTracked(t)) PyObject_GC_Track(t);
        return t;
    }

private:
    Ref tuple_;
};

// func called on the key, the value, or a (key, value) tuple.
template <Gets gets>
Ref call_on(PyObject* func, PyObject* key, PyObject* value, ItemTuple& scratch) {
    if constexpr (gets == Gets::key) {
        return call1(func, key);
    } else if constexpr (gets == Gets::value) {
        return call1(func, value);
    } else {
        return call1(func, scratch.make(key, value));
    }
}

[[noreturn]] void bad_length(const char* relation) {
    raise(PyExc_ValueError,
          std::string("dictionary update sequence element has length ") + relation + " 2; 2 is required");
}

// The two elements of an item returned by itemmap's func: any iterable of
// exactly two, read no further than a third element.
Item as_pair(PyObject* result) {
    if (PyTuple_CheckExact(result)) {
        Py_ssize_t n = PyTuple_GET_SIZE(result);
        if (n != 2) bad_length(n < 2 ? "<" : ">");
        return {Ref::borrow(PyTuple_GET_ITEM(result, 0)), Ref::borrow(PyTuple_GET_ITEM(result, 1))};
    }
    Ref it = get_iter(result);
    Item pair;
    pair.key = next_item(it.get());
    if (pair.key) pair.value = next_item(it.get());
    if (!pair.value) bad_length("<");
    if (next_item(it.get())) bad_length(">");
    return pair;
}

struct KeyMap {
    static void step(PyObject* target, PyObject* func, PyObject* key, PyObject* value, ItemTuple& scratch) {
        set_item(target, call_on<Gets::key>(func, key, value, scratch).get(), value);
    }
};

struct ValMap {
    static void step(PyObject* target, PyObject* func, PyObject* key, PyObject* value, ItemTuple& scratch) {
        set_item(target, key, call_on<Gets::value>(func, key, value, scratch).get());
    }
};

struct ItemMap {
    static void step(PyObject* target, PyObject* func, PyObject* key, PyObject* value, ItemTuple& scratch) {
        Ref result = call_on<Gets::item>(func, key, value, scratch);
        PyObject* r = result.get();
        // A tuple held here cannot change: its two items are read in place.
        if (PyTuple_CheckExact(r) && PyTuple_GET_SIZE(r) == 2)
            return set_item(target, PyTuple_GET_ITEM(r, 0), PyTuple_GET_ITEM(r, 1));
        Item pair = as_pair(r);
        set_item(target, pair.key.get(), pair.value.get());
    }
};

template <Gets gets>
struct Filter {
    static void step(PyObject* target, PyObject* predicate, PyObject* key, PyObject* value, ItemTuple& scratch) {
        if (truthy(call_on<gets>(predicate, key, value, scratch).get())) set_item(target, key, value);
    }
};

// The shared skeleton: target first (before `d` is touched), then one step
// per item of d.items().
template <class Step>
Ref transform(const Bound& a) {
    PyObject* func = a[0];
    Ref target = make_target(a[2]);
    PyObject* t = target.get();
    ItemTuple scratch;
    for_each_item(a[1],
                  [t, func, &scratch](PyObject* key, PyObject* value) { Step::step(t, func, key, value, scratch); });
    return target;
}

}  // namespace

QUORIN_FUNCTION(keymap, "keymap(func, d, factory=None)") { return transform<KeyMap>(a); }
QUORIN_FUNCTION(valmap, "valmap(func, d, factory=None)") { return transform<ValMap>(a); }
QUORIN_FUNCTION(itemmap, "itemmap(func, d, factory=None)") { return transform<ItemMap>(a); }
QUORIN_FUNCTION(keyfilter, "keyfilter(predicate, d, factory=None)") { return transform<Filter<Gets::key>>(a); }
QUORIN_FUNCTION(valfilter, "valfilter(predicate, d, factory=None)") { return transform<Filter<Gets::value>>(a); }
QUORIN_FUNCTION(itemfilter, "itemfilter(predicate, d, factory=None)") { return transform<Filter<Gets::item>>(a); }

}  // namespace quorin::fn
