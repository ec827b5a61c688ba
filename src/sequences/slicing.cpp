// take, drop, take_nth hand the whole iteration to the interpreter's islice;
// tail slices where it can and otherwise keeps a ring of the last n items.
#include "slicing.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"

#include <algorithm>
#include <limits>
#include <vector>

namespace quorin {

namespace {

// seq[-count:] (all of seq when count is 0) for an exact list or tuple,
// without building the slice object its subscript would parse.
Ref own_tail(Py_ssize_t count, PyObject* seq) {
    const Py_ssize_t size = Py_SIZE(seq);
    const Py_ssize_t start = count == 0 || count >= size ? 0 : size - count;
    return Ref::check(PyList_CheckExact(seq) ? PyList_GetSlice(seq, start, size) : PyTuple_GetSlice(seq, start, size));
}

// The last `count` items of iterator `it` (all when count is 0) as a tuple.
// Once the ring is full each item replaces the oldest in place, so the
// loop does one store per item, as a bounded deque's does.
Ref last_items(PyObject* it, Py_ssize_t count) {
    const std::size_t cap = count == 0 ? std::numeric_limits<std::size_t>::max() : static_cast<std::size_t>(count);
    std::vector<Ref> ring;
    ring.reserve(std::min<std::size_t>(cap, 64));
    bool full = false;
    while (Ref item = next_item(it)) {
        ring.push_back(std::move(item));
        if (ring.size() == cap) {
            full = true;
            break;
        }
    }
    std::size_t oldest = 0;
    if (full) {
        while (Ref item = next_item(it)) {
            ring[oldest] = std::move(item);
            if (++oldest == cap) oldest = 0;
        }
    }
    const std::size_t size = ring.size();
    Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(size)));
    for (std::size_t i = 0, at = oldest; i < size; ++i, at = at + 1 == size ? 0 : at + 1)
        PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), ring[at].release());
    return out;
}

}  // namespace

Ref tail(std::size_t n, PyObject* seq) {
    const std::size_t cap = static_cast<std::size_t>(std::numeric_limits<Py_ssize_t>::max());
    const Py_ssize_t count = static_cast<Py_ssize_t>(n > cap ? cap : n);
    if (PyList_CheckExact(seq) || PyTuple_CheckExact(seq)) return own_tail(count, seq);
    Ref start = Ref::check(PyLong_FromSsize_t(-count));
    Ref slice = Ref::check(PySlice_New(start.get(), Py_None, nullptr));
    if (PyObject* sliced = PyObject_GetItem(seq, slice.get())) return Ref::steal(sliced);
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_KeyError)) ffi_err();
    PyErr_Clear();
    Ref it = get_iter(seq);
    return last_items(it.get(), count);
}

namespace fn {

namespace {
// islice(*args). The type has no vectorcall entry, so calling it packs the
// arguments into a tuple and then runs __init__, which for islice is
// object's and does nothing with them: packing here and asking tp_new alone
// is the same work without the generic call around it.
[[gnu::always_inline]] inline Ref islice(PyObject* const* args, Py_ssize_t nargs) {
    PyObject* type = cells::islice();
    Ref packed = args_tuple(args, nargs);
    auto* t = reinterpret_cast<PyTypeObject*>(type);
    if (t->tp_init != PyBaseObject_Type.tp_init) return Ref::check(PyObject_Call(type, packed.get(), nullptr));
    return Ref::check(t->tp_new(t, packed.get(), nullptr));
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
