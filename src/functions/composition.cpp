// Callables built from callables: a chain applied in order, the same
// arguments fanned out to several functions, a negated predicate. Each
// call forwards the caller's vectorcall arguments as they came.

#include "runtime/core/iteration.hpp"
#include "runtime/classes/py_class.hpp"
#include "application.hpp"
#include "direct_call.hpp"

#include <algorithm>
#include <vector>

namespace quorin {

namespace {

struct ComposeImpl {
    static constexpr const char* name = "Compose";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    struct Data {
        std::vector<Ref> funcs;  // in the order they are applied; never empty
        void traverse(Visit& v) const noexcept { v(funcs); }
    };
    static Ref reduce(PyObject* self);

    static Ref call(Data& d, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
        const std::vector<Ref>& funcs = d.funcs;
        Ref f = funcs[0].clone();
        Ref value = forward_call(f.get(), args, nargsf, kwnames);
        for (std::size_t i = 1; i < funcs.size(); ++i) {
            f = funcs[i].clone();
            value = call_one(f.get(), value.get());
        }
        return value;
    }
};
using Compose = PyClass<ComposeImpl>;

struct JuxtImpl {
    static constexpr const char* name = "Juxt";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    struct Data {
        std::vector<Ref> funcs;
        void traverse(Visit& v) const noexcept { v(funcs); }
    };

    static Ref call(Data& d, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
    static Ref reduce(PyObject* self);
};
using Juxt = PyClass<JuxtImpl>;

Ref JuxtImpl::call(Data& d, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    const std::vector<Ref>& funcs = d.funcs;
    Py_ssize_t n = static_cast<Py_ssize_t>(funcs.size());
    Ref out = Ref::check(PyTuple_New(n));
    if (n == 0) return out;
    // Hidden from the collector (gc.get_objects) while its slots fill.
    PyObject_GC_UnTrack(out.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
        // The list is fixed at creation; only the collector's clear empties it.
        if (static_cast<std::size_t>(i) >= funcs.size()) Juxt::called_after_clear();
        Ref f = funcs[static_cast<std::size_t>(i)].clone();
        PyTuple_SET_ITEM(out.get(), i, forward_call(f.get(), args, nargsf, kwnames).release());
    }
    PyObject_GC_Track(out.get());
    return out;
}

struct ComplementImpl {
    static constexpr const char* name = "Complement";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    struct Data {
        Ref func;
        void traverse(Visit& v) const noexcept { v(func); }
    };
    static Ref reduce(PyObject* self) {
        Ref args = Ref::check(PyTuple_Pack(1, PyClass<ComplementImpl>::live(self).func.get()));
        return reduce_call(own_attr(QUORIN_NAME("complement")).get(), args.get());
    }

    static Ref call(Data& d, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
        Ref f = d.func.clone();
        Ref r = forward_call(f.get(), args, nargsf, kwnames);
        return Ref::borrow(truthy(r.get()) ? Py_False : Py_True);
    }
};
using Complement = PyClass<ComplementImpl>;

std::vector<Ref> collect(PyObject* const* items, Py_ssize_t n) {
    std::vector<Ref> out;
    out.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) out.push_back(Ref::borrow(items[i]));
    return out;
}

Ref tuple_of(const std::vector<Ref>& items) {
    Ref t = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i)
        PyTuple_SET_ITEM(t.get(), static_cast<Py_ssize_t>(i), items[i].clone().release());
    return t;
}

// The functions kept in the order they are applied, which is the order
// compose_left takes them.
Ref ComposeImpl::reduce(PyObject* self) {
    Ref funcs = tuple_of(Compose::live(self).funcs);
    return reduce_call(own_attr(QUORIN_NAME("compose_left")).get(), funcs.get());
}

// One tuple argument: juxt reads a lone non-callable as the collection of
// functions, whatever their number.
Ref JuxtImpl::reduce(PyObject* self) {
    Ref funcs = tuple_of(Juxt::live(self).funcs);
    Ref args = Ref::check(PyTuple_Pack(1, funcs.get()));
    return reduce_call(own_attr(QUORIN_NAME("juxt")).get(), args.get());
}

// The module's `identity` itself while it is still ours, so that the
// result of an empty composition pickles by name.
Ref own_identity() {
    Ref f = own_attr(QUORIN_NAME("identity"));
    if (PyCFunction_Check(f.get()) && PyCFunction_GET_FUNCTION(f.get()) == fn::identity.def.ml_meth) return f;
    return builtin(fn::identity);
}

}  // namespace

namespace fn {

QUORIN_FUNCTION(compose, "compose(*funcs)") {
    if (a.rest_size() == 0) return own_identity();
    std::vector<Ref> funcs = collect(a.rest(), a.rest_size());
    std::reverse(funcs.begin(), funcs.end());
    return Compose::make(ComposeImpl::Data{std::move(funcs)});
}

QUORIN_FUNCTION(compose_left, "compose_left(*funcs)") {
    if (a.rest_size() == 0) return own_identity();
    return Compose::make(ComposeImpl::Data{collect(a.rest(), a.rest_size())});
}

QUORIN_FUNCTION(complement, "complement(func)") { return Complement::make(ComplementImpl::Data{Ref::borrow(a[0])}); }

QUORIN_FUNCTION(juxt, "juxt(*funcs)") {
    if (a.rest_size() == 1 && !PyCallable_Check(a.rest()[0])) {
        // One non-callable argument is the collection of functions.
        Ref it = get_iter(a.rest()[0]);
        std::vector<Ref> funcs;
        while (Ref f = next_item(it.get())) funcs.push_back(std::move(f));
        return Juxt::make(JuxtImpl::Data{std::move(funcs)});
    }
    return Juxt::make(JuxtImpl::Data{collect(a.rest(), a.rest_size())});
}

}  // namespace fn
}  // namespace quorin
