// Partial application decided by the wrapped function's signature: each
// call adds its arguments to the stored ones and either calls the function
// or returns a new curry holding the larger set.
#include "curry.hpp"

#include "runtime/classes/binding.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/classes/py_class.hpp"
#include "application.hpp"
#include "call_args.hpp"
#include "direct_call.hpp"
#include "parameters.hpp"

#include <atomic>

namespace quorin {

namespace {

// What the signature alone tells: for an exact Signature of exact
// Parameters, whether `bind` and `bind_partial` depend on nothing but the
// call's shape (the number of positionals and the keyword names, never the
// values), and the number of parameters when they are all positional
// without defaults (else -1). For such a count and a call without keywords,
// `bind` succeeds exactly when the count is reached and `bind_partial`
// exactly when it is not exceeded, so the count alone decides.
struct SignatureFacts {
    bool by_shape = false;
    Py_ssize_t plain = -1;
};

SignatureFacts signature_facts(PyObject* sig) {
    return unless_ordinary_error(SignatureFacts{}, [sig] {
        std::optional<std::vector<ParamInfo>> params = read_parameters(sig, true);
        if (!params) return SignatureFacts{};
        SignatureFacts facts{true, static_cast<Py_ssize_t>(params->size())};
        for (const ParamInfo& p : *params) {
            bool positional = p.kind == ParamKind::positional_only || p.kind == ParamKind::positional_or_keyword;
            if (p.has_default || !positional) facts.plain = -1;
        }
        return facts;
    });
}

// What binding a call of this shape does: call the function (True),
// return a partial (False), or let the function report the arguments (None).
enum class Outcome { call, partial, report };

// `plain` before the resolved triple has been read.
constexpr Py_ssize_t kUnread = -2;

struct CurryImpl {
    static constexpr bool generic = true;
    // Only calling the wrapped function can nest natively.
    static constexpr bool guards_itself = true;
    static constexpr const char* name = "curry";
    static constexpr const char* constructor = "__new__(func, *args, **kwargs)";

    struct Data {
        Ref func, args, kwargs;
        // Unresolved (null) or the triple (signature or None, plain positional
        // count, outcomes by call shape or None); published once by
        // compare-and-swap and owned thereafter.
        std::atomic<PyObject*> resolved{nullptr};
        // Read from the resolved triple: its plain positional count.
        Py_ssize_t plain = kUnread;
        // The stored keywords' names in the dict's order, made at the first
        // call that passes them (the dict is never changed).
        Ref kw_names;
        // The outcome of the last call shape seen, by the positional count
        // and the keyword-name tuple of the call (held, compared by identity).
        bool shape_seen = false;
        Py_ssize_t shape_nargs = 0;
        Ref shape_kwnames;
        Outcome shape_outcome = Outcome::report;

        Data() = default;
        Data(Ref f, Ref a, Ref k, PyObject* r, Py_ssize_t p = kUnread)
            : func(std::move(f)), args(std::move(a)), kwargs(std::move(k)), plain(p) {
            resolved.store(Py_XNewRef(r), std::memory_order_release);
        }
        ~Data() { Py_XDECREF(resolved.exchange(nullptr)); }

        void traverse(Visit& v) const noexcept { v(func)(args)(kwargs)(resolved.load(std::memory_order_acquire)); }
        void clear() noexcept {
            // Moved out first: code run by the release sees the object empty.
            Ref f = std::move(func), a = std::move(args), k = std::move(kwargs), n = std::move(kw_names),
                s = std::move(shape_kwnames);
            Ref r = Ref::steal(resolved.exchange(nullptr));
            plain = kUnread;
            shape_seen = false;
        }
    };

    static Ref construct(const Bound& b);
    static Ref call(Data& c, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
    static Ref reduce(PyObject* self);
};

using Curry = PyClass<CurryImpl>;

// The resolved triple of `c` (wrapping `func`), computed now when `c` has none yet. The
// computation runs user code (`__signature__`, `__wrapped__`, ...) that may
// call this very curry or race with another thread, so nothing is held
// while it runs: the first result published wins and later ones are
// dropped.
Ref resolve(CurryImpl::Data& c, PyObject* func) {
    if (PyObject* r = c.resolved.load(std::memory_order_acquire)) return Ref::borrow(r);
    Ref sig;
    if (Curry::check(func)) {
        // A curry's own signature is (*args, **kwargs): every bind succeeds,
        // which is what "none" does too, without a pass through inspect per
        // level of nesting.
        sig = Ref::borrow(Py_None);
    } else {
        sig = Ref::steal(PyObject_CallOneArg(cells::signature(), func));
    }
    if (!sig) {
        if (!PyErr_ExceptionMatches(PyExc_ValueError) && !PyErr_ExceptionMatches(PyExc_TypeError)) ffi_err();
        PyErr_Clear();
        sig = Ref::borrow(Py_None);
    }
    SignatureFacts facts = sig.get() == Py_None ? SignatureFacts{} : signature_facts(sig.get());
    Ref count = Ref::check(PyLong_FromSsize_t(facts.plain));
    Ref shapes = facts.by_shape ? Ref::check(PyDict_New()) : Ref::borrow(Py_None);
    Ref pair = Ref::check(PyTuple_Pack(3, sig.get(), count.get(), shapes.get()));
    PyObject* expected = nullptr;
    if (c.resolved.compare_exchange_strong(expected, pair.get(), std::memory_order_acq_rel)) {
        PyObject* published = pair.release();
        return Ref::borrow(published);
    }
    return Ref::borrow(expected);
}

// A curry holding the call's arguments too; without new keywords it
// shares the stored dict, which no curry changes.
Ref partial(const Ref& func, const Ref& stored_kwargs, const ArgPack& pack, PyObject* kwnames, PyObject* resolved,
            Py_ssize_t plain) {
    Ref kwargs = kwnames ? pack.keywords() : stored_kwargs.clone();
    return Curry::make(func.clone(), pack.positionals(), std::move(kwargs), resolved, plain);
}

// Entered around a call of the wrapped function: a Python function's frame
// is guarded by the interpreter, anything else (a curry of a curry) here.
RecursionGuard wrapped_guard(PyObject* func) { return RecursionGuard(Curry::call_context(), !PyFunction_Check(func)); }

// The key of a call's shape: (number of positionals, *keyword names), or
// null when a name is not an exact str (its comparison could run user code).
Ref shape_key(const ArgPack& pack) {
    PyObject* names = pack.keyword_names();
    Py_ssize_t nkw = names ? PyTuple_GET_SIZE(names) : 0;
    for (Py_ssize_t i = 0; i < nkw; ++i)
        if (!PyUnicode_CheckExact(PyTuple_GET_ITEM(names, i))) return {};
    Ref key = Ref::check(PyTuple_New(nkw + 1));
    PyTuple_SET_ITEM(key.get(), 0, Ref::check(PyLong_FromSsize_t(pack.npos())).release());
    for (Py_ssize_t i = 0; i < nkw; ++i) PyTuple_SET_ITEM(key.get(), i + 1, Py_NewRef(PyTuple_GET_ITEM(names, i)));
    return key;
}

bool pending_type_error() {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyErr_Clear();
    return true;
}

Outcome bind_outcome(PyObject* sig, ArgPack& pack) {
    if (Ref bound = pack.try_method(sig, QUORIN_NAME("bind"))) return Outcome::call;
    if (!pending_type_error()) ffi_err();
    if (Ref bound = pack.try_method(sig, QUORIN_NAME("bind_partial"))) return Outcome::partial;
    if (!pending_type_error()) ffi_err();
    // Surplus or unknown arguments: the function reports them itself.
    return Outcome::report;
}

Ref CurryImpl::construct(const Bound& b) {
    Ref kw = b.kwargs() ? Ref::borrow(b.kwargs()) : Ref::check(PyDict_New());
    return Curry::make(Ref::borrow(b[0]), b.rest_tuple(), std::move(kw), nullptr);
}

// The outcome of a call of this shape: remembered by the curry for its
// last shape, by the function's table for every shape that is decided by
// shape alone, or found by binding.
Outcome shape_outcome(CurryImpl::Data& c, PyObject* sig, PyObject* shapes, ArgPack& pack, Py_ssize_t nargs,
                      PyObject* kwnames) {
    if (c.shape_seen && c.shape_nargs == nargs && c.shape_kwnames.get() == kwnames) return c.shape_outcome;
    Ref key = shapes == Py_None ? Ref() : shape_key(pack);
    PyObject* found = nullptr;
    if (key && compat::dict_get_item_ref(shapes, key.get(), &found) < 0) ffi_err();
    Ref known = Ref::steal(found);
    Outcome outcome;
    if (known) {
        PyObject* k = known.get();
        outcome = k == Py_True ? Outcome::call : k == Py_False ? Outcome::partial : Outcome::report;
    } else {
        outcome = bind_outcome(sig, pack);
        if (key) {
            PyObject* value = outcome == Outcome::call ? Py_True : outcome == Outcome::partial ? Py_False : Py_None;
            check_int(PyDict_SetItem(shapes, key.get(), value));
        }
    }
    if (key) {
        c.shape_seen = true;
        c.shape_nargs = nargs;
        c.shape_kwnames = Ref::borrow(kwnames);
        c.shape_outcome = outcome;
    }
    return outcome;
}

// Positionals alone, for a function whose positional count decides: the
// stored ones are read from their tuple, which is held, so no reference
// is taken per argument. Null when there are too many for the array.
constexpr Py_ssize_t kPlainArgs = 8;

Ref call_plain(CurryImpl::Data& c, PyObject* const* args, Py_ssize_t nargs) {
    Ref func = c.func.clone(), stored = c.args.clone();
    Py_ssize_t nstored = PyTuple_GET_SIZE(stored.get()), total = nstored + nargs;
    if (total < c.plain) {
        Ref joined = Ref::check(PyTuple_New(total));
        for (Py_ssize_t i = 0; i < nstored; ++i)
            PyTuple_SET_ITEM(joined.get(), i, Py_NewRef(PyTuple_GET_ITEM(stored.get(), i)));
        for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(joined.get(), nstored + i, Py_NewRef(args[i]));
        return Curry::make(std::move(func), std::move(joined), c.kwargs.clone(),
                           c.resolved.load(std::memory_order_acquire), c.plain);
    }
    if (total > kPlainArgs) return {};
    // buf[0] is room the callee may use.
    PyObject* buf[kPlainArgs + 1];
    for (Py_ssize_t i = 0; i < nstored; ++i) buf[i + 1] = PyTuple_GET_ITEM(stored.get(), i);
    for (Py_ssize_t i = 0; i < nargs; ++i) buf[nstored + i + 1] = args[i];
    RecursionGuard guard = wrapped_guard(func.get());
    return forward_call(func.get(), buf + 1, static_cast<std::size_t>(total) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr);
}

Ref CurryImpl::call(Data& c, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (kwnames && PyTuple_GET_SIZE(kwnames) == 0) kwnames = nullptr;
    if (c.plain >= 0 && !kwnames && PyDict_GET_SIZE(c.kwargs.get()) == 0)
        if (Ref r = call_plain(c, args, nargs)) return r;
    Ref func = c.func.clone(), stored_kwargs = c.kwargs.clone();
    if (!c.kw_names && PyDict_GET_SIZE(c.kwargs.get()) > 0)
        c.kw_names = Ref::check(PySequence_Tuple(Ref::check(PyDict_Keys(c.kwargs.get())).get()));
    ArgPack pack(c.args.get(), c.kwargs.get(), c.kw_names.get(), args, nargs, kwnames);
    Ref resolved = resolve(c, func.get());
    PyObject* sig = PyTuple_GET_ITEM(resolved.get(), 0);
    if (sig == Py_None) {
        RecursionGuard guard = wrapped_guard(func.get());
        return pack.call(func.get());
    }
    if (c.plain == kUnread) c.plain = PyLong_AsSsize_t(PyTuple_GET_ITEM(resolved.get(), 1));
    Outcome outcome;
    if (c.plain >= 0 && pack.nkw() == 0) {
        outcome = pack.npos() >= c.plain ? Outcome::call : Outcome::partial;
    } else {
        outcome = shape_outcome(c, sig, PyTuple_GET_ITEM(resolved.get(), 2), pack, nargs, kwnames);
    }
    if (outcome == Outcome::partial) return partial(func, stored_kwargs, pack, kwnames, resolved.get(), c.plain);
    RecursionGuard guard = wrapped_guard(func.get());
    return pack.call(func.get());
}

bool is_raw_flip(PyObject* func) {
    return PyCFunction_Check(func) && PyCFunction_GET_FUNCTION(func) == fn::flip.def.ml_meth;
}

// Rebuilt as curry(func, *args, **kwargs); the module's `flip` wraps a
// function that has no name of its own in the module, so a flip is rebuilt
// from the module's `flip` and its stored arguments instead (the module's
// `flip` itself by name). Keywords go through a partial, as a reduce
// passes positionals only.
Ref CurryImpl::reduce(PyObject* self) {
    const Data& c = Curry::live(self);
    Ref callable, head;
    if (is_raw_flip(c.func.get())) {
        callable = own_attr(QUORIN_NAME("flip"));
        if (callable.get() == self) return Ref::borrow(QUORIN_NAME("flip"));
        head = Ref::check(PyTuple_New(0));
    } else {
        callable = Ref::borrow(reinterpret_cast<PyObject*>(Curry::type()));
        head = Ref::check(PyTuple_Pack(1, c.func.get()));
    }
    Ref args = Ref::check(PySequence_Concat(head.get(), c.args.get()));
    if (PyDict_GET_SIZE(c.kwargs.get()) == 0) return reduce_call(callable.get(), args.get());
    Ref partial = module_attr(QUORIN_NAME("functools"), QUORIN_NAME("partial"));
    Ref partial_args = Ref::check(PySequence_Concat(Ref::check(PyTuple_Pack(1, callable.get())).get(), args.get()));
    Ref bound = Ref::check(PyObject_Call(partial.get(), partial_args.get(), c.kwargs.get()));
    Ref none = Ref::check(PyTuple_New(0));
    return reduce_call(bound.get(), none.get());
}

}  // namespace

PyTypeObject* curry_type() { return Curry::type(); }

Ref make_curry(PyObject* func) {
    return Curry::make(Ref::borrow(func), Ref::check(PyTuple_New(0)), Ref::check(PyDict_New()), nullptr);
}

}  // namespace quorin
