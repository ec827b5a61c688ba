// A call whose chosen exceptions become the result of a handler.

#include "runtime/core/iteration.hpp"
#include "runtime/classes/py_class.hpp"
#include "direct_call.hpp"

namespace quorin {

namespace {

struct ExceptsImpl {
    static constexpr const char* name = "Excepts";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    struct Data {
        Ref exc, func, handler;  // handler empty: a caught exception gives None
        void traverse(Visit& v) const noexcept { v(exc)(func)(handler); }
    };

    static Ref reduce(PyObject* self) {
        const Data& e = PyClass<ExceptsImpl>::live(self);
        Ref args = Ref::check(PyTuple_Pack(3, e.exc.get(), e.func.get(), e.handler ? e.handler.get() : Py_None));
        return reduce_call(own_attr(QUORIN_NAME("excepts")).get(), args.get());
    }

    static Ref call(Data& e, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
        Ref exc = e.exc.clone(), func = e.func.clone(), handler = e.handler.clone();
        if (PyObject* r = forward_raw(func.get(), args, nargsf, kwnames)) return Ref::steal(r);
        Ref raised = Ref::steal(compat::take_raised());
        if (!raised) ffi_err();
        if (!PyErr_GivenExceptionMatches(raised.get(), exc.get())) {
            compat::restore_raised(raised.release());
            throw PyErrorSet{};
        }
        if (!handler) return Ref::borrow(Py_None);
        return call1(handler.get(), raised.get());
    }
};
using Excepts = PyClass<ExceptsImpl>;

}  // namespace

namespace fn {

QUORIN_FUNCTION(excepts, "excepts(exc, func, handler=None)") {
    Ref handler = a[2] == Py_None ? Ref() : Ref::borrow(a[2]);
    return Excepts::make(ExceptsImpl::Data{Ref::borrow(a[0]), Ref::borrow(a[1]), std::move(handler)});
}

}  // namespace fn
}  // namespace quorin
