// Functions that apply callables at once: identity, apply, do, flip, and
// pushing a value through a chain (pipe, thread_first, thread_last).
#include "application.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"
#include "curry.hpp"
#include "direct_call.hpp"

#include <vector>

namespace quorin {

Ref builtin(const Function& f) { return Ref::check(PyCFunction_NewEx(&f.def, nullptr, QUORIN_NAME("quorin._quorin"))); }

namespace {

enum class Side { first, last };

// `value` threaded through `forms`: a tuple form (func, *extra) is called
// with the value inserted before or after its extra arguments, any other
// form with the value alone.
Ref thread(PyObject* value, PyObject* const* forms, Py_ssize_t nforms, Side side) {
    Ref v = Ref::borrow(value);
    std::vector<PyObject*> buf;
    for (Py_ssize_t i = 0; i < nforms; ++i) {
        Ref form = Ref::borrow(forms[i]);
        if (!PyTuple_Check(form.get())) {
            v = call_one(form.get(), v.get());
            continue;
        }
        // The interpreter's own IndexError for an empty tuple.
        Ref func = Ref::borrow(PyTuple_GetItem(form.get(), 0));
        if (!func) ffi_err();
        Py_ssize_t n = PyTuple_GET_SIZE(form.get());
        // buf[0] is room the callee may use; then the n arguments.
        buf.assign(static_cast<std::size_t>(n) + 1, nullptr);
        PyObject** out = buf.data() + 1;
        Py_ssize_t extra_at = side == Side::first ? 1 : 0;
        out[side == Side::first ? 0 : n - 1] = v.get();
        for (Py_ssize_t k = 1; k < n; ++k) out[extra_at + k - 1] = PyTuple_GET_ITEM(form.get(), k);
        v = forward_call(func.get(), out, static_cast<std::size_t>(n) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
    }
    return v;
}

}  // namespace

namespace fn {

QUORIN_FUNCTION(identity, "identity(x)") { return Ref::borrow(a[0]); }

QUORIN_FUNCTION_CLASSIC(apply, "apply(func, *args, **kwargs)") {
    return Ref::check(PyObject_VectorcallDict(a[0], a.rest(), static_cast<std::size_t>(a.rest_size()), a.kwargs()));
}

QUORIN_FUNCTION(do_, "do(func, x)") {
    call1(a[0], a[1]);
    return Ref::borrow(a[1]);
}

QUORIN_FUNCTION(flip, "flip(func, a, b)") { return call2(a[0], a[2], a[1]); }

QUORIN_FUNCTION(pipe, "pipe(data, *funcs)") {
    Py_ssize_t n = a.rest_size();
    if (n == 0) return Ref::borrow(a[0]);
    Ref v = call_one(a.rest()[0], a[0]);
    for (Py_ssize_t i = 1; i < n; ++i) v = call_one(a.rest()[i], v.get());
    return v;
}

QUORIN_FUNCTION(thread_first, "thread_first(val, *forms)") {
    return thread(a[0], a.rest(), a.rest_size(), Side::first);
}

QUORIN_FUNCTION(thread_last, "thread_last(val, *forms)") { return thread(a[0], a.rest(), a.rest_size(), Side::last); }

}  // namespace fn

Ref flip_curry() {
    Ref f = builtin(fn::flip);
    return make_curry(f.get());
}

}  // namespace quorin
