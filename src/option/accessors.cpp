// Element access that answers with an optional value: absence (an exhausted
// iterator, a lookup error) is a new NothingType, every other error still
// propagates. Exact lists and tuples are indexed instead of iterated; the
// answer is the same.
#include "accessors.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"
#include "values.hpp"

namespace quorin {

namespace {

// Inlined into each caller: these accessors are a lookup and an allocation,
// so the glue between them shows.
[[gnu::always_inline]] inline Ref some_or_nothing(Ref item) { return item ? some(std::move(item)) : nothing(); }

// The item at `i` of an exact list or tuple, or an empty Ref past its end.
Ref item_at(PyObject* seq, std::size_t i) {
    const std::size_t size = static_cast<std::size_t>(Py_SIZE(seq));
    if (i >= size) return {};
    PyObject* item = PyList_CheckExact(seq) ? PyList_GET_ITEM(seq, i) : PyTuple_GET_ITEM(seq, i);
    return Ref::borrow(item);
}

bool indexable(PyObject* seq) { return PyList_CheckExact(seq) || PyTuple_CheckExact(seq); }

// An iterator that is its own iterator is used as it is: asking it with
// iter() would give back the same object.
Ref iterate(PyObject* seq) {
    if (Py_TYPE(seq)->tp_iter == PyObject_SelfIter && PyIter_Check(seq)) return Ref::borrow(seq);
    return get_iter(seq);
}

// coll[key]; an empty Ref for a lookup error.
[[gnu::always_inline]] inline Ref lookup(PyObject* coll, PyObject* key) {
    // An exact dict answers a miss without raising and clearing a KeyError.
    if (PyDict_CheckExact(coll)) {
        PyObject* v = nullptr;
        int found = compat::dict_get_item_ref(coll, key, &v);
        if (found >= 0) return Ref::steal(v);
    } else if (PyObject* v = PyObject_GetItem(coll, key)) {
        return Ref::steal(v);
    }
    if (!is_lookup_error()) ffi_err();
    PyErr_Clear();
    return {};
}

}  // namespace

Ref first_opt(PyObject* seq) {
    if (indexable(seq)) return some_or_nothing(item_at(seq, 0));
    Ref it = iterate(seq);
    return some_or_nothing(next_item(it.get()));
}

Ref last_opt(PyObject* seq) {
    if (indexable(seq)) {
        Py_ssize_t size = Py_SIZE(seq);
        return some_or_nothing(size == 0 ? Ref() : item_at(seq, static_cast<std::size_t>(size - 1)));
    }
    Ref it = iterate(seq);
    Ref last;
    while (Ref item = next_item(it.get())) last = std::move(item);
    return some_or_nothing(std::move(last));
}

Ref nth_opt(std::size_t n, PyObject* seq) {
    if (indexable(seq)) return some_or_nothing(item_at(seq, n));
    Ref it = iterate(seq);
    for (std::size_t i = 0; i < n; ++i)
        if (!next_item(it.get())) return nothing();
    return some_or_nothing(next_item(it.get()));
}

namespace fn {

QUORIN_FUNCTION(first_opt, "first_opt(seq)") { return quorin::first_opt(a[0]); }

QUORIN_FUNCTION(last_opt, "last_opt(seq)") { return quorin::last_opt(a[0]); }

QUORIN_FUNCTION(nth_opt, "nth_opt(n, seq)") { return quorin::nth_opt(a.usize(0), a[1]); }

QUORIN_FUNCTION(get_opt, "get_opt(ind, coll)") { return some_or_nothing(lookup(a[1], a[0])); }

QUORIN_FUNCTION(get_in_opt, "get_in_opt(coll, *keys)") {
    Ref value = Ref::borrow(a[0]);
    for (Py_ssize_t i = 0; i < a.rest_size(); ++i) {
        value = lookup(value.get(), a.rest()[i]);
        if (!value) return nothing();
    }
    return some(std::move(value));
}

// chain is looked up at every call, so a replaced itertools.chain is used.
QUORIN_FUNCTION(peek_opt, "peek_opt(seq)") {
    Ref it = get_iter(a[0]);
    Ref head = next_item(it.get());
    if (!head) return nothing();
    Ref chain = module_attr(QUORIN_NAME("itertools"), QUORIN_NAME("chain"));
    Ref first = Ref::check(PyTuple_Pack(1, head.get()));
    Ref rest = call2(chain.get(), first.get(), it.get());
    return some(Ref::check(PyTuple_Pack(2, head.get(), rest.get())));
}

}  // namespace fn
}  // namespace quorin
