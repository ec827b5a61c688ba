// pluck: one item of every element. A single index without a default gets
// the dedicated PluckIter (one item lookup per element behind the raw next
// slot); index lists and defaults follow get's rules in a NativeIter routine.
#include "pluck.hpp"

#include "runtime/core/prefetch.hpp"
#include "runtime/classes/native_iter.hpp"
#include "runtime/buffers/py_source.hpp"
#include "access.hpp"

namespace quorin {

namespace {

struct PluckImpl {
    static constexpr const char* name = "PluckIter";
    static constexpr const char* doc =
        "Lazily yields element[ind] for every element of a sequence: one item lookup\n"
        "per element, no call wrapper. Exact lists are read by index, and an int\n"
        "index into an exact tuple or list is read directly.";
    static constexpr const char* length_hint_doc =
        "One output per remaining source element (PEP 424): exact for list\n"
        "sources, the source's own hint otherwise.";

    struct State {
        Ref ind;
        PySource src;
        // `ind` as a machine word when it is an exact int that fits one.
        Py_ssize_t index = 0;
        bool has_index = false;

        State(Ref i, PySource s) : ind(std::move(i)), src(std::move(s)) {
            if (PyLong_CheckExact(ind.get())) {
                index = PyLong_AsSsize_t(ind.get());
                if (index == -1 && PyErr_Occurred())
                    PyErr_Clear();
                else
                    has_index = true;
            }
        }

        void traverse(Visit& v) const noexcept { v(ind)(src); }
    };

    // The item of an exact tuple or list at an in-range index, or null
    // (then the general lookup runs, and raises what it raises).
    static PyObject* direct_item(const State& s, PyObject* x) noexcept {
        Py_ssize_t size;
        PyObject** items;
        if (PyTuple_CheckExact(x)) {
            size = PyTuple_GET_SIZE(x);
            items = reinterpret_cast<PyTupleObject*>(x)->ob_item;
        } else if (PyList_CheckExact(x)) {
            size = PyList_GET_SIZE(x);
            items = reinterpret_cast<PyListObject*>(x)->ob_item;
        } else {
            return nullptr;
        }
        const Py_ssize_t i = s.index < 0 ? s.index + size : s.index;
        return i >= 0 && i < size ? items[i] : nullptr;
    }

    static Ref raw_next(State& s) {
        Ref x = s.src.next();
        if (!x) return {};
        if (s.has_index) {
            // The source prefetches elements kAhead steps ahead; halfway
            // there, that element is in cache, so its item can be asked for.
            if (PyObject* ahead = s.src.peek_ahead(PySource::kAhead / 2)) {
                if (PyObject* item = direct_item(s, ahead)) prefetch_for_write(item);
            }
            if (PyObject* item = direct_item(s, x.get())) return Ref::borrow(item);
        }
        return Ref::check(PyObject_GetItem(x.get(), s.ind.get()));
    }

    static Py_ssize_t length_hint(State& s) { return s.src.length_hint(); }
};
using PluckIter = IterClass<PluckImpl>;

// Index lists and defaults: each element through get's rules.
struct PluckStep {
    Ref it, ind, dflt;
    bool nests = may_nest(it.get());

    Ref next() {
        StepGuard guard(nests);
        Ref x = next_item(it.get());
        if (!x) return {};
        return get_value(ind.get(), x.get(), dflt.get());
    }
    void traverse(Visit& v) const noexcept { v(it)(ind)(dflt); }
};

Ref pluck_with(PyObject* ind, PyObject* seqs, PyObject* dflt) {
    if (dflt == nullptr && !PyList_Check(ind)) return PluckIter::make(Ref::borrow(ind), PySource::from(seqs));
    Ref it = get_iter(seqs);
    return native_iter(PluckStep{std::move(it), Ref::borrow(ind), Ref::borrow(dflt)});
}

}  // namespace

Ref pluck(PyObject* ind, PyObject* seqs) { return pluck_with(ind, seqs, nullptr); }

void install_pluck_iternext() { PluckIter::install_raw_iternext(); }

namespace fn {
QUORIN_FUNCTION(pluck, "pluck(ind, seqs, *rest)") {
    if (a.rest_size() > 1) raise(PyExc_TypeError, "pluck takes at most 3 arguments");
    return pluck_with(a[0], a[1], a.rest_size() == 1 ? a.rest()[0] : nullptr);
}
}  // namespace fn

}  // namespace quorin
