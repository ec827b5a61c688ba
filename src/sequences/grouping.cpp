// Classifying a sequence by key: groupby and countby index the keys with the
// native key index (first key object kept, first-appearance order);
// reduceby keeps its accumulators in the result dictionary itself.
#include "grouping.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/tables/key.hpp"
#include "runtime/tables/tally.hpp"

#include <cstdint>
#include <utility>

namespace quorin {

namespace {

// Calls `visit(item)` (an owned Ref) for each element of `seq`: an exact
// list by index while the index is below its current length (the key
// function may resize it), an exact tuple by index, anything else by
// iteration. Elements are announced ahead: the key reads each of them.
template <class Visit>
void for_each_element(PyObject* seq, Visit&& visit) {
    if (PyList_CheckExact(seq)) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(seq); ++i) {
            prefetch_ahead(seq, i);
            visit(Ref::borrow(PyList_GET_ITEM(seq, i)));
        }
    } else if (PyTuple_CheckExact(seq)) {
        const Py_ssize_t n = PyTuple_GET_SIZE(seq);
        for (Py_ssize_t i = 0; i < n; ++i) {
            prefetch_ahead(seq, i);
            visit(Ref::borrow(PyTuple_GET_ITEM(seq, i)));
        }
    } else {
        Ref it = get_iter(seq);
        while (Ref item = next_item(it.get())) visit(std::move(item));
    }
}

}  // namespace

Ref groupby(PyObject* key, PyObject* seq) {
    // Each group is a list from its first element on, filled by append in
    // input order: no second pass over the elements and no copy of them
    // (measured faster than collecting native arrays and copying them out).
    const bool callable = PyCallable_Check(key);
    KeyTally<TallyGroup> tally(known_length(seq));
    for_each_element(seq, [&](Ref item) {
        Ref k = apply_key(key, callable, item.get());
        tally.add(k.get(), item.get());
    });
    return std::move(tally).finish();
}

Ref countby(PyObject* key, PyObject* seq) {
    const bool callable = PyCallable_Check(key);
    KeyTally<TallyCount> tally(known_length(seq));
    for_each_element(seq, [&](Ref item) {
        Ref k = apply_key(key, callable, item.get());
        item.reset();
        tally.add(k.get());
    });
    return std::move(tally).finish();
}

Ref reduceby(PyObject* key, PyObject* binop, PyObject* seq, PyObject* const* rest, Py_ssize_t nrest) {
    if (nrest > 1) raise(PyExc_TypeError, "reduceby takes at most 4 arguments");
    PyObject* init = nrest == 1 ? rest[0] : nullptr;
    Ref out = Ref::check(PyDict_New());
    Ref it = get_iter(seq);
    while (Ref item = next_item(it.get())) {
        Ref k = apply_key(key, item.get());
        PyObject* found = nullptr;
        const int r = compat::dict_get_item_ref(out.get(), k.get(), &found);
        if (r < 0) ffi_err();
        if (r == 1) {
            Ref acc = Ref::steal(found);
            Ref next = call2(binop, acc.get(), item.get());
            check_int(PyDict_SetItem(out.get(), k.get(), next.get()));
        } else if (init == nullptr) {
            check_int(PyDict_SetItem(out.get(), k.get(), item.get()));
        } else {
            // A callable init makes a fresh base for every new key.
            Ref base = PyCallable_Check(init) ? Ref::check(PyObject_CallNoArgs(init)) : Ref::borrow(init);
            Ref next = call2(binop, base.get(), item.get());
            check_int(PyDict_SetItem(out.get(), k.get(), next.get()));
        }
    }
    return out;
}

namespace fn {

QUORIN_FUNCTION(groupby, "groupby(key, seq)") { return quorin::groupby(a[0], a[1]); }

QUORIN_FUNCTION(countby, "countby(key, seq)") { return quorin::countby(a[0], a[1]); }

QUORIN_FUNCTION(reduceby, "reduceby(key, binop, seq, *rest)") {
    return quorin::reduceby(a[0], a[1], a[2], a.rest(), a.rest_size());
}

}  // namespace fn

}  // namespace quorin
