// Single-element access: eager, with Python's own conventions for absence.
#include "access.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"
#include "slicing.hpp"

namespace quorin {

namespace {

// The next item of `it`, or StopIteration with no arguments.
Ref next_or_stop(PyObject* it) {
    Ref item = next_item(it);
    if (!item) raise_stop_iteration();
    return item;
}

// Automatic collection held off for a scope: what it allocates then cannot
// set off a collection, so no finalizer runs inside it. Only 3.11 collects
// at an allocation; later versions wait for the interpreter's loop, and a
// pause there would only race another thread's gc.disable().
#if PY_VERSION_HEX < 0x030C0000
class CollectionPaused {
public:
    CollectionPaused() noexcept : was_enabled_(PyGC_Disable() == 1) {}
    ~CollectionPaused() {
        if (was_enabled_) PyGC_Enable();
    }
    CollectionPaused(const CollectionPaused&) = delete;
    CollectionPaused& operator=(const CollectionPaused&) = delete;

private:
    bool was_enabled_;
};
#else
struct CollectionPaused {};
#endif

// Skips `n` items of a builtin list or tuple iterator at once, by the index
// its pickling reads and restores (which clamps it to the end): skipping
// one by one touches no item and runs no other code either, so only the
// time differs. The read and the write allocate, and a finalizer that ran
// between them could move the iterator; collection is held off meanwhile,
// as the item-by-item skip allocates nothing. False for any other
// iterator, or when `n` is too few to repay the two method calls.
bool skip_by_index(PyObject* it, Py_ssize_t n) {
    constexpr Py_ssize_t kFewest = 64;
    if (n < kFewest || (Py_TYPE(it) != &PyListIter_Type && Py_TYPE(it) != &PyTupleIter_Type)) return false;
    [[maybe_unused]] CollectionPaused paused;
    Ref state = Ref::check(PyObject_CallMethodNoArgs(it, QUORIN_NAME("__reduce__")));
    // (iter, (seq,), index) while it has a sequence; (iter, (empty,)) once exhausted.
    if (!PyTuple_Check(state.get()) || PyTuple_GET_SIZE(state.get()) != 3) return true;
    const Py_ssize_t at = PyLong_AsSsize_t(PyTuple_GET_ITEM(state.get(), 2));
    if (at == -1 && PyErr_Occurred()) ffi_err();
    Ref to = Ref::check(PyLong_FromSsize_t(n > PY_SSIZE_T_MAX - at ? PY_SSIZE_T_MAX : at + n));
    Ref done = Ref::check(PyObject_CallMethodOneArg(it, QUORIN_NAME("__setstate__"), to.get()));
    return true;
}

// `seq[index]` read in place for an exact list or tuple and an int index
// that lands inside it (the answer its own subscript gives, without the
// call); null otherwise, and the caller asks the object, which also words
// any error.
[[gnu::always_inline]] inline PyObject* item_in_place(PyObject* seq, PyObject* index) noexcept {
    long long i = 0;
    if (!(PyList_CheckExact(seq) || PyTuple_CheckExact(seq)) || !compat::compact_int_value(index, &i)) return nullptr;
    const Py_ssize_t size = Py_SIZE(seq);
    if (i < 0) i += size;
    return i >= 0 && i < size ? PySequence_Fast_ITEMS(seq)[i] : nullptr;
}

// After a failed lookup: `dflt` for a lookup error when there is one.
[[gnu::cold]] Ref missing(PyObject* dflt) {
    if (dflt == nullptr || !is_lookup_error()) ffi_err();
    PyErr_Clear();
    return Ref::borrow(dflt);
}

Ref subscript(PyObject* coll, PyObject* key, PyObject* dflt) {
    if (PyObject* v = PyObject_GetItem(coll, key)) return Ref::steal(v);
    return missing(dflt);
}

// `coll[key]`, or `dflt` (when given) for a lookup error. Inline, as the
// whole of a single get is this.
[[gnu::always_inline]] inline Ref lookup(PyObject* coll, PyObject* key, PyObject* dflt) {
    if (PyObject* item = item_in_place(coll, key)) return Ref::borrow(item);
    // An exact dict answers a miss without raising and clearing a KeyError.
    if (dflt != nullptr && PyDict_CheckExact(coll)) {
        PyObject* v = nullptr;
        const int found = compat::dict_get_item_ref(coll, key, &v);
        if (found > 0) return Ref::steal(v);
        if (found == 0) return Ref::borrow(dflt);
        return missing(dflt);
    }
    return subscript(coll, key, dflt);
}

}  // namespace

Ref get_value(PyObject* ind, PyObject* coll, PyObject* dflt) {
    if (!PyList_Check(ind)) return lookup(coll, ind, dflt);

    const Py_ssize_t planned = PyList_GET_SIZE(ind);
    Ref out = Ref::check(PyTuple_New(planned));
    // Out of the collector's sight (and gc.get_objects()) while unfilled:
    // the lookups run user code. (The empty tuple is a shared immortal,
    // never tracked.)
    const bool tracked = PyObject_GC_IsTracked(out.get());
    if (tracked) PyObject_GC_UnTrack(out.get());
    Py_ssize_t filled = 0;
    // A lookup may run code that shrinks the list: stop at its current end.
    // The index is held, since that code may also drop it from the list.
    for (; filled < planned && filled < PyList_GET_SIZE(ind); ++filled) {
        Ref key = Ref::borrow(PyList_GET_ITEM(ind, filled));
        PyTuple_SET_ITEM(out.get(), filled, lookup(coll, key.get(), dflt).release());
    }
    if (filled < planned) return Ref::check(PyTuple_GetSlice(out.get(), 0, filled));
    if (tracked) PyObject_GC_Track(out.get());
    return out;
}

namespace fn {

QUORIN_FUNCTION(first, "first(seq)") {
    Ref it = get_iter(a[0]);
    return next_or_stop(it.get());
}

QUORIN_FUNCTION(second, "second(seq)") {
    Ref it = get_iter(a[0]);
    next_or_stop(it.get());
    return next_or_stop(it.get());
}

QUORIN_FUNCTION(nth, "nth(n, seq)") {
    PyObject* n = a[0];
    PyObject* seq = a[1];
    if (PyObject* item = item_in_place(seq, n)) return Ref::borrow(item);
    if (PyList_Check(seq) || PyTuple_Check(seq)) return Ref::check(PyObject_GetItem(seq, n));
    // The builtin containers' own iterators are no sequences: the class
    // check, which costs as much as skipping hundreds of items, is spared.
    if (may_nest(seq) && check_int(PyObject_IsInstance(seq, cells::sequence_abc())))
        return Ref::check(PyObject_GetItem(seq, n));
    Py_ssize_t skip = PyNumber_AsSsize_t(n, PyExc_OverflowError);
    if ((skip == -1 && PyErr_Occurred()) || skip < 0) {
        PyErr_Clear();
        raise(PyExc_ValueError, "Indices for islice() must be None or an integer: 0 <= x <= sys.maxsize.");
    }
    Ref it = get_iter(seq);
    if (!skip_by_index(it.get(), skip) && !skip_items(it.get(), skip)) raise_stop_iteration();
    return next_or_stop(it.get());
}

QUORIN_FUNCTION(last, "last(seq)") {
    // What slicing [-1:] and taking item 0 gives, without the slice.
    PyObject* seq = a[0];
    if (PyList_CheckExact(seq) && PyList_GET_SIZE(seq) > 0)
        return Ref::borrow(PyList_GET_ITEM(seq, PyList_GET_SIZE(seq) - 1));
    if (PyTuple_CheckExact(seq) && PyTuple_GET_SIZE(seq) > 0)
        return Ref::borrow(PyTuple_GET_ITEM(seq, PyTuple_GET_SIZE(seq) - 1));
    Ref tail = quorin::tail(1, a[0]);
    Ref zero = py_int(0);
    return Ref::check(PyObject_GetItem(tail.get(), zero.get()));
}

QUORIN_FUNCTION(get, "get(ind, coll, *rest)") {
    if (a.rest_size() > 1) raise(PyExc_TypeError, "get takes at most 3 arguments");
    PyObject* dflt = a.rest_size() == 1 ? a.rest()[0] : nullptr;
    if (!PyList_Check(a[0])) return lookup(a[1], a[0], dflt);
    return get_value(a[0], a[1], dflt);
}

QUORIN_FUNCTION(peek, "peek(seq)") {
    Ref it = get_iter(a[0]);
    Ref head = next_or_stop(it.get());
    Ref chain = module_attr(QUORIN_NAME("itertools"), QUORIN_NAME("chain"));
    Ref prefix = Ref::check(PyTuple_Pack(1, head.get()));
    Ref rest = call2(chain.get(), prefix.get(), it.get());
    return Ref::check(PyTuple_Pack(2, head.get(), rest.get()));
}

}  // namespace fn
}  // namespace quorin
