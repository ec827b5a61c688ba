// Results: Ok holds a success value, Err a failure value, and the namespace
// Result offers `of`, which turns a call's exception into an Err.
#include "value_class.hpp"
#include "values.hpp"

namespace quorin {

namespace {

using namespace value_class;

struct OkImpl : PayloadBase<OkImpl> {
    static constexpr const char* name = "Ok";
    static constexpr const char* attr = "value";
    static constexpr bool truth = true;
    static constexpr const char* constructor = "Ok(value)";
    static Ref construct(const Bound& a);
    static std::vector<PyType_Slot> slots();
};
using OkClass = PayloadClass<OkImpl>;

struct ErrImpl : PayloadBase<ErrImpl> {
    static constexpr const char* name = "Err";
    static constexpr const char* attr = "error";
    static constexpr bool truth = false;
    static constexpr const char* constructor = "Err(error)";
    static Ref construct(const Bound& a);
    static std::vector<PyType_Slot> slots();
};
using ErrClass = PayloadClass<ErrImpl>;

struct ResultImpl {
    static constexpr bool generic = true;
    static constexpr const char* name = "Result";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    using Data = Empty;
    static std::vector<PyType_Slot> slots();
};

// Ok

QUORIN_METHOD(ok_map, "Ok", "map($self, f)") {
    Ref value = OkClass::get(self);
    return ok_obj(call1(a[0], value.get()));
}

QUORIN_METHOD(ok_map_err, "Ok", "map_err($self, f)") { return OkClass::copy(self); }

QUORIN_METHOD(ok_and_then, "Ok", "and_then($self, f)") {
    Ref value = OkClass::get(self);
    Ref r = call1(a[0], value.get());
    if (!OkClass::check(r.get()) && !ErrClass::check(r.get()))
        raise(PyExc_TypeError, "and_then callback must return a Result");
    return r;
}

QUORIN_METHOD_NOARGS(ok_unwrap, "Ok", "unwrap($self)") { return OkClass::get(self); }
QUORIN_METHOD(ok_unwrap_or, "Ok", "unwrap_or($self, default)") { return OkClass::get(self); }
QUORIN_METHOD_NOARGS(ok_ok, "Ok", "ok($self)") { return some(OkClass::get(self)); }
QUORIN_METHOD_NOARGS(ok_err, "Ok", "err($self)") { return nothing(); }
QUORIN_METHOD_NOARGS(ok_is_ok, "Ok", "is_ok($self)") { return py_bool(true); }
QUORIN_METHOD_NOARGS(ok_is_err, "Ok", "is_err($self)") { return py_bool(false); }

// Err: the value-side operations pass the error along untouched.

QUORIN_METHOD(err_map, "Err", "map($self, f)") { return ErrClass::copy(self); }

QUORIN_METHOD(err_map_err, "Err", "map_err($self, f)") {
    Ref error = ErrClass::get(self);
    return err_obj(call1(a[0], error.get()));
}

QUORIN_METHOD(err_and_then, "Err", "and_then($self, f)") { return ErrClass::copy(self); }

QUORIN_METHOD_NOARGS(err_unwrap, "Err", "unwrap($self)") {
    Ref message = ErrClass::text(self, "called `unwrap` on ");
    PyErr_SetObject(PyExc_ValueError, message.get());
    throw PyErrorSet{};
}

QUORIN_METHOD(err_unwrap_or, "Err", "unwrap_or($self, default)") { return Ref::borrow(a[0]); }
QUORIN_METHOD_NOARGS(err_ok, "Err", "ok($self)") { return nothing(); }
QUORIN_METHOD_NOARGS(err_err, "Err", "err($self)") { return some(ErrClass::get(self)); }
QUORIN_METHOD_NOARGS(err_is_ok, "Err", "is_ok($self)") { return py_bool(false); }
QUORIN_METHOD_NOARGS(err_is_err, "Err", "is_err($self)") { return py_bool(true); }

// Result

// Only ordinary exceptions become an Err; KeyboardInterrupt, SystemExit and
// the like still stop the program.
QUORIN_STATIC_METHOD(result_of, "Result", "of(f)") {
    if (PyObject* value = PyObject_CallNoArgs(a[0])) return ok_obj(Ref::steal(value));
    if (!PyErr_ExceptionMatches(PyExc_Exception)) ffi_err();
    return err_obj(Ref::steal(compat::take_raised()));
}

}  // namespace

Ref OkImpl::construct(const Bound& a) { return ok_obj(Ref::borrow(a[0])); }

std::vector<PyType_Slot> OkImpl::slots() {
    static std::vector<PyMethodDef> methods = method_table(
        {&ok_map, &ok_map_err, &ok_and_then, &ok_unwrap, &ok_unwrap_or, &ok_ok, &ok_err, &ok_is_ok, &ok_is_err});
    return OkClass::slots(methods.data());
}

Ref ErrImpl::construct(const Bound& a) { return err_obj(Ref::borrow(a[0])); }

std::vector<PyType_Slot> ErrImpl::slots() {
    static std::vector<PyMethodDef> methods =
        method_table({&err_map, &err_map_err, &err_and_then, &err_unwrap, &err_unwrap_or, &err_ok, &err_err, &err_is_ok,
                      &err_is_err});
    return ErrClass::slots(methods.data());
}

std::vector<PyType_Slot> ResultImpl::slots() {
    static std::vector<PyMethodDef> methods = method_table({&result_of});
    return {{Py_tp_methods, methods.data()}};
}

Ref ok_obj(Ref value) { return OkClass::make(std::move(value)); }
Ref err_obj(Ref error) { return ErrClass::make(std::move(error)); }

PyTypeObject* ok_type() { return OkClass::Class::type(); }
PyTypeObject* err_type() { return ErrClass::Class::type(); }
PyTypeObject* result_type() { return PyClass<ResultImpl>::type(); }

}  // namespace quorin
