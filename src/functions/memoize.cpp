// Caching a function's results in a dict under a key derived from each
// call's arguments; how the key is derived is decided once, from the
// function's signature, when the wrapper is built.

#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"
#include "runtime/classes/py_class.hpp"
#include "call_args.hpp"
#include "direct_call.hpp"
#include "parameters.hpp"

#include <optional>

namespace quorin {

namespace {

struct KeyShape {
    bool unary_shortcut = false;
    bool keyword_capable = true;
};

// Reads the function's parameters through `inspect` (as it stands at the
// call); a function whose signature cannot be read gets the general keys.
KeyShape analyse(PyObject* func) {
    return unless_ordinary_error(KeyShape{}, [func] {
        Ref signature = module_attr(QUORIN_NAME("inspect"), QUORIN_NAME("signature"));
        Ref sig = call1(signature.get(), func);
        bool has_star_args = false, keyword_capable = false;
        Py_ssize_t required_positional = 0;
        const std::vector<ParamInfo> params = *read_parameters(sig.get(), false);
        for (const ParamInfo& p : params) {
            if (p.kind == ParamKind::var_positional) has_star_args = true;
            if (p.has_default || p.kind == ParamKind::keyword_only || p.kind == ParamKind::var_keyword)
                keyword_capable = true;
            else if (p.kind == ParamKind::positional_only || p.kind == ParamKind::positional_or_keyword)
                ++required_positional;
        }
        return KeyShape{!keyword_capable && !has_star_args && required_positional == 1, keyword_capable};
    });
}

// frozenset(iter(kwargs.items())), with the frozenset of the builtins
// module as it stands at the call.
Ref frozen_kwargs(PyObject* kwargs) {
    Ref items = Ref::check(PyDict_Items(kwargs));
    Ref it = Ref::check(PyObject_CallMethodNoArgs(items.get(), QUORIN_NAME("__iter__")));
    Ref frozenset = module_attr(QUORIN_NAME("builtins"), QUORIN_NAME("frozenset"));
    return call1(frozenset.get(), it.get());
}

Ref pair(PyObject* a, PyObject* b) { return Ref::check(PyTuple_Pack(2, a, b)); }

PyObject* or_none(const Ref& r) { return r ? r.get() : Py_None; }

struct MemoizeImpl {
    static constexpr const char* name = "Memoize";
    static constexpr const char* doc = nullptr;
    static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
    // Only the key function and a miss call out; a hit nests nothing.
    static constexpr bool guards_itself = true;
    struct Data {
        Ref key, func, cache;
        KeyShape shape;
        void traverse(Visit& v) const noexcept { v(key)(func)(cache); }
    };

    static Ref call(Data& m, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
    // The cache travels with the function: a warm memo stays warm.
    static Ref reduce(PyObject* self) {
        const Data& m = PyClass<MemoizeImpl>::live(self);
        Ref args = Ref::check(PyTuple_Pack(3, m.func.get(), m.cache.get(), or_none(m.key)));
        return reduce_call(own_attr(QUORIN_NAME("memoize")).get(), args.get());
    }
};
using Memoize = PyClass<MemoizeImpl>;

// The cache key of one call, as callers reading the cache expect it.
Ref cache_key(const MemoizeImpl::Data& m, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    if (m.key) {
        Ref key = m.key.clone();
        Ref t = args_tuple(args, nargs);
        Ref kw = kwargs_dict(args, nargs, kwnames);
        return call2(key.get(), t.get(), or_none(kw));
    }
    if (m.shape.unary_shortcut && nkw == 0 && nargs == 1) return Ref::borrow(args[0]);
    Ref t = args_tuple(args, nargs);
    Ref frozen;
    if (nkw > 0) {
        Ref kw = kwargs_dict(args, nargs, kwnames);
        frozen = frozen_kwargs(kw.get());
    }
    if (m.shape.keyword_capable) return pair(nargs ? t.get() : Py_None, or_none(frozen));
    if (frozen) return pair(t.get(), frozen.get());
    return t;
}

Ref MemoizeImpl::call(Data& m, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    std::optional<RecursionGuard> guard;
    if (m.key) guard.emplace(Memoize::call_context());
    Ref cache = m.cache.clone();
    Ref key = cache_key(m, args, PyVectorcall_NARGS(nargsf), kwnames);
    PyObject* hit = nullptr;
    int found = compat::dict_get_item_ref(cache.get(), key.get(), &hit);
    if (found < 0) ffi_err();
    if (found > 0) return Ref::steal(hit);
    if (!guard) guard.emplace(Memoize::call_context());
    Ref func = m.func.clone();
    Ref result = forward_call(func.get(), args, nargsf, kwnames);
    if (PyDict_CheckExact(cache.get()))
        check_int(PyDict_SetItem(cache.get(), key.get(), result.get()));
    else
        check_int(PyObject_SetItem(cache.get(), key.get(), result.get()));
    return result;
}

}  // namespace

namespace fn {

QUORIN_FUNCTION(memoize, "memoize(func, cache=None, key=None)") {
    Ref cache;
    if (a[1] == Py_None) {
        cache = Ref::check(PyDict_New());
    } else {
        a.require_type(1, &PyDict_Type, "dict");
        cache = Ref::borrow(a[1]);
    }
    KeyShape shape = analyse(a[0]);
    Ref key = a[2] == Py_None ? Ref() : Ref::borrow(a[2]);
    return Memoize::make(MemoizeImpl::Data{std::move(key), Ref::borrow(a[0]), std::move(cache), shape});
}

}  // namespace fn
}  // namespace quorin
