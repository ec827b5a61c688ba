// Optional values: Some holds a present value, NothingType is the absent
// one (not a singleton: every absent result is a new, equal instance), and
// the namespace Option offers `of`.
#include "value_class.hpp"
#include "values.hpp"

namespace quorin {

namespace {

using namespace value_class;

struct SomeImpl : PayloadBase<SomeImpl> {
    static constexpr const char* name = "Some";
    static constexpr const char* attr = "value";
    static constexpr bool truth = true;
    static constexpr const char* constructor = "Some(value)";
    static Ref construct(const Bound& a);
    static std::vector<PyType_Slot> slots();
};
using SomeClass = PayloadClass<SomeImpl>;

struct NothingImpl {
    static constexpr const char* name = "NothingType";
    static constexpr const char* constructor = "NothingType()";
    static Ref construct(const Bound& a);
    using Data = Empty;
    static constexpr std::size_t pool = 32;
    static std::vector<PyType_Slot> slots();
    static Ref reduce(PyObject* self);
};
using NothingClass = PyClass<NothingImpl>;

struct OptionImpl {
    static constexpr bool generic = true;
    static constexpr const char* name = "Option";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    using Data = Empty;
    static std::vector<PyType_Slot> slots();
};

bool is_option(PyObject* o) { return SomeClass::check(o) || PyObject_TypeCheck(o, nothing_type()); }

// Some

QUORIN_METHOD(some_map, "Some", "map($self, f)") {
    Ref value = SomeClass::get(self);
    return some(call1(a[0], value.get()));
}

QUORIN_METHOD(some_and_then, "Some", "and_then($self, f)") {
    Ref value = SomeClass::get(self);
    Ref r = call1(a[0], value.get());
    if (!is_option(r.get())) raise(PyExc_TypeError, "and_then callback must return an Option");
    return r;
}

QUORIN_METHOD(some_filter, "Some", "filter($self, pred)") {
    Ref value = SomeClass::get(self);
    Ref verdict = call1(a[0], value.get());
    return truthy(verdict.get()) ? some(std::move(value)) : nothing();
}

QUORIN_METHOD_NOARGS(some_unwrap, "Some", "unwrap($self)") { return SomeClass::get(self); }
QUORIN_METHOD(some_unwrap_or, "Some", "unwrap_or($self, default)") { return SomeClass::get(self); }
QUORIN_METHOD(some_unwrap_or_else, "Some", "unwrap_or_else($self, f)") { return SomeClass::get(self); }
QUORIN_METHOD(some_ok_or, "Some", "ok_or($self, err)") { return ok_obj(SomeClass::get(self)); }
QUORIN_METHOD_NOARGS(some_is_some, "Some", "is_some($self)") { return py_bool(true); }
QUORIN_METHOD_NOARGS(some_is_none, "Some", "is_none($self)") { return py_bool(false); }

// NothingType: nothing to map, filter or unwrap; callbacks are never called.

QUORIN_METHOD(nothing_map, "NothingType", "map($self, f)") { return nothing(); }
QUORIN_METHOD(nothing_and_then, "NothingType", "and_then($self, f)") { return nothing(); }
QUORIN_METHOD(nothing_filter, "NothingType", "filter($self, pred)") { return nothing(); }
QUORIN_METHOD_NOARGS(nothing_unwrap, "NothingType", "unwrap($self)") {
    raise(PyExc_ValueError, "called `unwrap` on Nothing");
}
QUORIN_METHOD(nothing_unwrap_or, "NothingType", "unwrap_or($self, default)") { return Ref::borrow(a[0]); }
QUORIN_METHOD(nothing_unwrap_or_else, "NothingType", "unwrap_or_else($self, f)") {
    return Ref::check(PyObject_CallNoArgs(a[0]));
}
QUORIN_METHOD(nothing_ok_or, "NothingType", "ok_or($self, err)") { return err_obj(Ref::borrow(a[0])); }
QUORIN_METHOD_NOARGS(nothing_is_some, "NothingType", "is_some($self)") { return py_bool(false); }
QUORIN_METHOD_NOARGS(nothing_is_none, "NothingType", "is_none($self)") { return py_bool(true); }

bool nothing_eq(PyObject*, PyObject* other) { return PyObject_TypeCheck(other, nothing_type()); }

PyObject* nothing_repr(PyObject*) noexcept {
    return boundary([] { return Ref::check(PyUnicode_FromString("Nothing")); });
}

// Option

QUORIN_STATIC_METHOD(option_of, "Option", "of(v)") { return a[0] == Py_None ? nothing() : some(Ref::borrow(a[0])); }

}  // namespace

Ref SomeImpl::construct(const Bound& a) { return some(Ref::borrow(a[0])); }

std::vector<PyType_Slot> SomeImpl::slots() {
    static std::vector<PyMethodDef> methods =
        method_table({&some_map, &some_and_then, &some_filter, &some_unwrap, &some_unwrap_or, &some_unwrap_or_else,
                      &some_ok_or, &some_is_some, &some_is_none});
    return SomeClass::slots(methods.data());
}

Ref NothingImpl::construct(const Bound&) { return nothing(); }

// Every absent value comes back as the module's own Nothing, so `is` holds
// after a round trip for that one; it is pickled by name, any other through
// `identity`, which pickles by name as well.
Ref NothingImpl::reduce(PyObject* self) {
    Ref module_nothing = own_attr(QUORIN_NAME("Nothing"));
    if (self == module_nothing.get()) return Ref::borrow(QUORIN_NAME("Nothing"));
    Ref identity = own_attr(QUORIN_NAME("identity"));
    Ref args = Ref::check(PyTuple_Pack(1, module_nothing.get()));
    return reduce_call(identity.get(), args.get());
}

std::vector<PyType_Slot> NothingImpl::slots() {
    static std::vector<PyMethodDef> methods =
        method_table({&nothing_map, &nothing_and_then, &nothing_filter, &nothing_unwrap, &nothing_unwrap_or,
                      &nothing_unwrap_or_else, &nothing_ok_or, &nothing_is_some, &nothing_is_none});
    return common_slots<nothing_eq, false>(methods.data(), nothing_repr);
}

std::vector<PyType_Slot> OptionImpl::slots() {
    static std::vector<PyMethodDef> methods = method_table({&option_of});
    return {{Py_tp_methods, methods.data()}};
}

Ref some(Ref value) { return SomeClass::make(std::move(value)); }
Ref nothing() { return NothingClass::make(); }

PyTypeObject* some_type() { return SomeClass::Class::type(); }
PyTypeObject* nothing_type() { return NothingClass::type(); }
PyTypeObject* option_type() { return PyClass<OptionImpl>::type(); }

}  // namespace quorin
