// The Iter class: each method delegates to one of the module's sequence
// functions or to a builtin of the standard library.
#include "iter.hpp"

#include "option/accessors.hpp"
#include "sequences/chaining.hpp"
#include "sequences/distinct.hpp"
#include "sequences/frequencies.hpp"
#include "sequences/grouping.hpp"
#include "sequences/interpose.hpp"
#include "sequences/partitioning.hpp"
#include "sequences/pluck.hpp"
#include "sequences/sliding_window.hpp"
#include "sequences/unique.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"
#include "runtime/classes/method.hpp"
#include "runtime/classes/py_class.hpp"

#include <cstddef>

namespace quorin {

namespace {

struct IterImpl {
    static constexpr bool generic = true;
    static constexpr const char* name = "Iter";
    static constexpr const char* constructor = "Iter(inner)";
    struct Data {
        Ref inner;
        void traverse(Visit& v) const noexcept { v(inner); }
    };
    static Ref construct(const Bound& a);
    static std::vector<PyType_Slot> slots();
    static Ref reduce(PyObject* self);
};
using FluentIter = PyClass<IterImpl>;

namespace iter {

// The wrapped iterable (None once the collector has cleared the object).
Ref inner(PyObject* self) {
    const IterImpl::Data* d = FluentIter::live_data(self);
    return d ? d->inner.clone() : Ref::borrow(Py_None);
}

Ref wrap(Ref obj) { return FluentIter::make(IterImpl::Data{std::move(obj)}); }

}  // namespace iter

// A builtin looked up at every call, so a replaced builtins.map is used.
Ref builtin(PyObject* name) { return module_attr(QUORIN_NAME("builtins"), name); }

// `builtins.<name>(inner)`.
Ref call_builtin(PyObject* self, PyObject* name) {
    Ref fn = builtin(name);
    Ref seq = iter::inner(self);
    return call1(fn.get(), seq.get());
}

// fn(n, inner) with the count converted first, wrapped.
template <Ref (*fn)(std::size_t, PyObject*)>
Ref wrap_counted(PyObject* self, const Bound& a) {
    const std::size_t n = a.usize(0);
    Ref seq = iter::inner(self);
    return iter::wrap(fn(n, seq.get()));
}

// `builtins.<name>(f, inner)`, wrapped.
Ref wrap_builtin(PyObject* self, PyObject* name, PyObject* f) {
    Ref fn = builtin(name);
    Ref seq = iter::inner(self);
    return iter::wrap(call2(fn.get(), f, seq.get()));
}

// `islice(inner, start, stop)`, wrapped; a null `stop` means no stop.
Ref wrap_islice(PyObject* self, std::size_t start, PyObject* stop) {
    Ref seq = iter::inner(self);
    Ref count = py_uint(start);
    PyObject* args[4] = {nullptr, seq.get(), count.get(), stop};
    const std::size_t nargs = stop != nullptr ? 3 : 2;
    return iter::wrap(
        Ref::check(PyObject_Vectorcall(cells::islice(), args + 1, nargs | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr)));
}

Ref IterImpl::construct(const Bound& a) { return iter::wrap(Ref::borrow(a[0])); }

// Pickles when the wrapped iterable does; otherwise the inner object's own
// error is the answer.
Ref IterImpl::reduce(PyObject* self) {
    Ref args = Ref::check(PyTuple_Pack(1, iter::inner(self).get()));
    return reduce_call(reinterpret_cast<PyObject*>(FluentIter::type()), args.get());
}

// An Iter around an Iter iterates the innermost input: unwrapped in a loop,
// so deep wrapping costs no native stack. Anything else may nest (a subclass
// with its own __iter__), so asking it for its iterator is guarded.
PyObject* iter_iter(PyObject* self) noexcept {
    return boundary([self] {
        Ref seq = iter::inner(self);
        while (Py_IS_TYPE(seq.get(), FluentIter::type())) seq = iter::inner(seq.get());
        RecursionGuard guard(" while getting an iterator");
        return get_iter(seq.get());
    });
}

QUORIN_METHOD(iter_map, "Iter", "map($self, f)") { return wrap_builtin(self, QUORIN_NAME("map"), a[0]); }

QUORIN_METHOD(iter_filter, "Iter", "filter($self, f)") { return wrap_builtin(self, QUORIN_NAME("filter"), a[0]); }

QUORIN_METHOD(iter_take, "Iter", "take($self, n)") { return wrap_islice(self, a.usize(0), nullptr); }

QUORIN_METHOD(iter_drop, "Iter", "drop($self, n)") { return wrap_islice(self, a.usize(0), Py_None); }

QUORIN_METHOD(iter_unique, "Iter", "unique($self, key=None)") {
    Ref seq = iter::inner(self);
    return iter::wrap(unique(seq.get(), a[0]));
}

QUORIN_METHOD(iter_sliding_window, "Iter", "sliding_window($self, n)") {
    return wrap_counted<sliding_window_from>(self, a);
}

QUORIN_METHOD(iter_partition_all, "Iter", "partition_all($self, n)") { return wrap_counted<partition_all>(self, a); }

QUORIN_METHOD(iter_flat_map, "Iter", "flat_map($self, f)") {
    Ref seq = iter::inner(self);
    return iter::wrap(mapcat(a[0], seq.get()));
}

QUORIN_METHOD(iter_pluck, "Iter", "pluck($self, ind)") {
    Ref seq = iter::inner(self);
    return iter::wrap(pluck(a[0], seq.get()));
}

// Lazy from the start: nothing is read at the call, so an empty input gives
// an empty result rather than an error.
QUORIN_METHOD(iter_interpose, "Iter", "interpose($self, el)") {
    Ref seq = iter::inner(self);
    return iter::wrap(interpose_lazy(a[0], seq.get()));
}

QUORIN_METHOD(iter_accumulate, "Iter", "accumulate($self, binop)") {
    Ref seq = iter::inner(self);
    return iter::wrap(accumulate(a[0], seq.get(), nullptr, 0));
}

QUORIN_METHOD_NOARGS(iter_collect, "Iter", "collect($self)") { return call_builtin(self, QUORIN_NAME("list")); }

QUORIN_METHOD(iter_reduce, "Iter", "reduce($self, binop, *rest)") {
    if (a.rest_size() > 1) raise(PyExc_TypeError, "reduce takes at most 2 arguments");
    Ref reduce = module_attr(QUORIN_NAME("functools"), QUORIN_NAME("reduce"));
    Ref seq = iter::inner(self);
    if (a.rest_size() == 0) return call2(reduce.get(), a[0], seq.get());
    PyObject* args[4] = {nullptr, a[0], seq.get(), a.rest()[0]};
    return Ref::check(PyObject_Vectorcall(reduce.get(), args + 1, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

QUORIN_METHOD_NOARGS(iter_count, "Iter", "count($self)") {
    Ref seq = iter::inner(self);
    return count(seq.get());
}

QUORIN_METHOD_NOARGS(iter_frequencies, "Iter", "frequencies($self)") {
    Ref seq = iter::inner(self);
    return frequencies(seq.get());
}

QUORIN_METHOD(iter_group_by, "Iter", "group_by($self, key)") {
    Ref seq = iter::inner(self);
    return groupby(a[0], seq.get());
}

QUORIN_METHOD_NOARGS(iter_to_dict, "Iter", "to_dict($self)") { return call_builtin(self, QUORIN_NAME("dict")); }

QUORIN_METHOD_NOARGS(iter_first, "Iter", "first($self)") {
    Ref seq = iter::inner(self);
    return first_opt(seq.get());
}

QUORIN_METHOD_NOARGS(iter_last, "Iter", "last($self)") {
    Ref seq = iter::inner(self);
    return last_opt(seq.get());
}

QUORIN_METHOD(iter_nth, "Iter", "nth($self, i)") {
    const std::size_t i = a.usize(0);
    Ref seq = iter::inner(self);
    return nth_opt(i, seq.get());
}

}  // namespace

std::vector<PyType_Slot> IterImpl::slots() {
    static std::vector<PyMethodDef> methods = method_table({
        &iter_map,           &iter_filter,   &iter_unique,      &iter_take,      &iter_drop,       &iter_sliding_window,
        &iter_partition_all, &iter_flat_map, &iter_pluck,       &iter_interpose, &iter_accumulate, &iter_collect,
        &iter_reduce,        &iter_count,    &iter_frequencies, &iter_group_by,  &iter_to_dict,    &iter_first,
        &iter_last,          &iter_nth,
    });
    return {
        {Py_tp_iter, reinterpret_cast<void*>(iter_iter)},
        {Py_tp_methods, methods.data()},
    };
}

PyTypeObject* iter_type() { return FluentIter::type(); }

}  // namespace quorin
