// The interpreter's iteration and call protocols, in the module's error style.
#pragma once

#include "runtime/core/prefetch.hpp"
#include "runtime/core/error.hpp"

#include <algorithm>
#include <cstddef>

namespace quorin {

inline Ref get_iter(PyObject* obj) { return Ref::check(PyObject_GetIter(obj)); }

// The next item of iterator `it`; an empty Ref at exhaustion. Calls the
// next slot directly; a StopIteration set explicitly by the slot also ends.
// A loop may pass the slot read once (`Py_TYPE(it)->tp_iternext`), as the
// interpreter's own consumers do.
inline Ref next_item(iternextfunc step, PyObject* it) {
    PyObject* item = step(it);
    if (item == nullptr && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_StopIteration)) ffi_err();
        PyErr_Clear();
    }
    return Ref::steal(item);
}

inline Ref next_item(PyObject* it) { return next_item(Py_TYPE(it)->tp_iternext, it); }

// Pulls and drops `n` items of iterator `it`; false when it ran out first.
// Inline, so the loop pays what a native consumer's loop pays per item.
inline bool skip_items(PyObject* it, Py_ssize_t n) {
    const iternextfunc step = Py_TYPE(it)->tp_iternext;
    for (; n > 0; --n)
        if (!next_item(step, it)) return false;
    return true;
}

// Whether asking `it` for an item may run another lazy step, and so nest
// without bound. The builtin containers' own iterators never do.
inline bool may_nest(PyObject* it) noexcept {
    const PyTypeObject* t = Py_TYPE(it);
    return t != &PyListIter_Type && t != &PyTupleIter_Type && t != &PyRangeIter_Type && t != &PyLongRangeIter_Type &&
           t != &PyDictIterKey_Type && t != &PyDictIterValue_Type && t != &PyDictIterItem_Type &&
           t != &PyListRevIter_Type && t != &PySetIter_Type;
}

// One level of nesting for one step of an iterator that pulls from others:
// a very deep chain of such steps is a RecursionError rather than a native
// stack overflow. A step is one level however many items it pulls, so the
// guard is entered once per step, and not at all when no source can nest.
class StepGuard : public RecursionGuard {
public:
    explicit StepGuard(bool nests) : RecursionGuard(" while getting the next item", nests) {}
};

// The next item of `it` asked from inside an iterator's own step, for a
// step that pulls one item.
inline Ref nested_next(PyObject* it) {
    StepGuard guard(may_nest(it));
    return next_item(it);
}

// StopIteration with no arguments.
[[noreturn]] inline void raise_stop_iteration() {
    PyErr_SetNone(PyExc_StopIteration);
    throw PyErrorSet{};
}

inline Ref call1(PyObject* f, PyObject* x) { return Ref::check(PyObject_CallOneArg(f, x)); }

// The positional part of a vectorcall as a new tuple.
inline Ref args_tuple(PyObject* const* args, Py_ssize_t nargs) {
    Ref t = Ref::check(PyTuple_New(nargs));
    for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(t.get(), i, Py_NewRef(args[i]));
    return t;
}

inline Ref call2(PyObject* f, PyObject* x, PyObject* y) {
    PyObject* args[3] = {nullptr, x, y};
    return Ref::check(PyObject_Vectorcall(f, args + 1, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

// The elements of a large list or tuple lie anywhere in memory: announcing
// the one a good way ahead of `i` lets its cache miss overlap the work on
// this one (hashing reads every element's header). For a tuple element,
// whose hashing and plain_key read its first items too, those are announced
// once its own header has had time to arrive.
inline void prefetch_ahead(PyObject* list_or_tuple, Py_ssize_t i) noexcept {
    constexpr Py_ssize_t far = 16, near = 8, items = 4;
    PyObject** elements = PySequence_Fast_ITEMS(list_or_tuple);
    const Py_ssize_t n = Py_SIZE(list_or_tuple);
    if (i + far < n) prefetch(elements[i + far]);
    if (i + near < n && PyTuple_CheckExact(elements[i + near])) {
        PyObject* t = elements[i + near];
        for (Py_ssize_t j = 0, m = std::min(PyTuple_GET_SIZE(t), items); j < m; ++j) prefetch(PyTuple_GET_ITEM(t, j));
    }
}

// How many elements an exact list or tuple holds now (0 for anything else):
// a first guess for sizing, never a bound.
inline std::size_t known_length(PyObject* seq) noexcept {
    return PyList_CheckExact(seq) || PyTuple_CheckExact(seq) ? static_cast<std::size_t>(Py_SIZE(seq)) : 0;
}

// A new list of what `iterable` yields. Unlike list(iterable), it never asks
// for a length hint: a hint may lie or raise, and only iterating matters.
inline Ref list_of(PyObject* iterable) {
    if (PyList_CheckExact(iterable) || PyTuple_CheckExact(iterable)) return Ref::check(PySequence_List(iterable));
    Ref out = Ref::check(PyList_New(0));
    Ref it = get_iter(iterable);
    while (Ref item = next_item(it.get())) check_int(PyList_Append(out.get(), item.get()));
    return out;
}

// bool(x). The commonest verdicts of a predicate (the bools, None, an exact
// one-digit int) are read in place, which spares two calls per element of a
// filtering loop; anything else, int subclasses included, asks the object.
inline bool truthy(PyObject* x) {
    if (x == Py_True) return true;
    if (x == Py_False || x == Py_None) return false;
    long long v = 0;
    if (compat::compact_int_value(x, &v)) return v != 0;
    return check_int(PyObject_IsTrue(x)) != 0;
}

inline Ref py_int(long long v) { return Ref::check(PyLong_FromLongLong(v)); }
inline Ref py_uint(unsigned long long v) { return Ref::check(PyLong_FromUnsignedLongLong(v)); }
inline Ref py_bool(bool v) { return Ref::borrow(v ? Py_True : Py_False); }

}  // namespace quorin
