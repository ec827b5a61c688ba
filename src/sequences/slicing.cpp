// take, drop, take_nth hand the whole iteration to the interpreter's islice;
// tail slices where it can and otherwise keeps a ring of the last n items.
#include "slicing.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"

#include <deque>
#include <limits>

namespace quorin {

Ref tail(std::size_t n, PyObject* seq) {
    const std::size_t cap = static_cast<std::size_t>(std::numeric_limits<Py_ssize_t>::max());
    const Py_ssize_t count = static_cast<Py_ssize_t>(n > cap ? cap : n);
    Ref start = Ref::check(PyLong_FromSsize_t(-count));
    Ref slice = Ref::check(PySlice_New(start.get(), Py_None, nullptr));
    if (PyObject* sliced = PyObject_GetItem(seq, slice.get())) return Ref::steal(sliced);
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_KeyError)) ffi_err();
    PyErr_Clear();

    Ref it = get_iter(seq);
    std::deque<Ref> ring;
    while (Ref item = next_item(it.get())) {
        if (count > 0 && static_cast<Py_ssize_t>(ring.size()) == count) ring.pop_front();
        ring.push_back(std::move(item));
    }
    Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(ring.size())));
    Py_ssize_t i = 0;
    for (Ref& item : ring) PyTuple_SET_ITEM(out.get(), i++, item.release());
    return out;
}

namespace fn {

namespace {
Ref islice(PyObject* const* args, size_t nargs) {
    return Ref::check(PyObject_Vectorcall(cells::islice(), args, nargs, nullptr));
}
}  // namespace

QUORIN_FUNCTION(take, "take(n, seq)") {
    PyObject* args[] = {a[1], a[0]};
    return islice(args, 2);
}

QUORIN_FUNCTION(drop, "drop(n, seq)") {
    PyObject* args[] = {a[1], a[0], Py_None};
    return islice(args, 3);
}

QUORIN_FUNCTION(take_nth, "take_nth(n, seq)") {
    Ref zero = py_int(0);
    PyObject* args[] = {a[1], zero.get(), Py_None, a[0]};
    return islice(args, 4);
}

QUORIN_FUNCTION(tail, "tail(n, seq)") { return quorin::tail(a.usize(0), a[1]); }

}  // namespace fn
}  // namespace quorin
