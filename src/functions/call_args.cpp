#include "call_args.hpp"

#include "direct_call.hpp"

namespace quorin {

Ref kwargs_dict(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (nkw == 0) return {};
    Ref d = Ref::check(PyDict_New());
    for (Py_ssize_t i = 0; i < nkw; ++i)
        check_int(PyDict_SetItem(d.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]));
    return d;
}

ArgPack::ArgPack(PyObject* stored_args, PyObject* stored_kwargs, PyObject* stored_names, PyObject* const* args,
                 Py_ssize_t nargs, PyObject* kwnames) {
    items_[0] = nullptr;
    Py_ssize_t nstored = PyTuple_GET_SIZE(stored_args);
    Py_ssize_t nnew_kw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    Ref merged;  // the keyword dict, when both parts have keywords
    if (PyDict_GET_SIZE(stored_kwargs) > 0 && nnew_kw > 0) {
        merged = Ref::check(PyDict_Copy(stored_kwargs));
        for (Py_ssize_t i = 0; i < nnew_kw; ++i)
            check_int(PyDict_SetItem(merged.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]));
    } else if (PyDict_GET_SIZE(stored_kwargs) > 0) {
        merged = Ref::borrow(stored_kwargs);
    }
    npos_ = nstored + nargs;
    nkw_ = merged ? PyDict_GET_SIZE(merged.get()) : nnew_kw;
    reserve(static_cast<std::size_t>(npos_ + nkw_));
    for (Py_ssize_t i = 0; i < nstored; ++i) push(PyTuple_GET_ITEM(stored_args, i));
    for (Py_ssize_t i = 0; i < nargs; ++i) push(args[i]);
    if (!merged) {
        for (Py_ssize_t i = 0; i < nnew_kw; ++i) push(args[nargs + i]);
        if (nnew_kw > 0) kwnames_ = Ref::borrow(kwnames);
        return;
    }
    bool named = stored_names && merged.get() == stored_kwargs;
    kwnames_ = named ? Ref::borrow(stored_names) : Ref::check(PyTuple_New(nkw_));
    Py_ssize_t pos = 0, k = 0;
    PyObject *key, *value;
    // Nothing here runs user code, so the dict cannot change under the walk.
    while (PyDict_Next(merged.get(), &pos, &key, &value)) {
        if (!named) PyTuple_SET_ITEM(kwnames_.get(), k++, Py_NewRef(key));
        push(value);
    }
}

ArgPack::~ArgPack() {
    for (std::size_t i = 1; i <= filled_; ++i) Py_DECREF(items_[i]);
}

void ArgPack::reserve(std::size_t n) {
    if (n <= kInline) return;
    heap_.reset(new PyObject*[n + 1]);
    items_ = heap_.get();
    items_[0] = nullptr;
}

Ref ArgPack::call(PyObject* f) {
    return forward_call(f, items_ + 1, static_cast<std::size_t>(npos_) | PY_VECTORCALL_ARGUMENTS_OFFSET, names());
}

Ref ArgPack::try_method(PyObject* obj, PyObject* name) {
    items_[0] = obj;
    PyObject* r = PyObject_VectorcallMethod(name, items_, static_cast<std::size_t>(npos_ + 1), names());
    items_[0] = nullptr;
    return Ref::steal(r);
}

Ref ArgPack::positionals() const { return args_tuple(items_ + 1, npos_); }

Ref ArgPack::keywords() const {
    if (nkw_ == 0) return Ref::check(PyDict_New());
    return kwargs_dict(items_ + 1, npos_, kwnames_.get());
}

}  // namespace quorin
