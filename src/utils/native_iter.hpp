// The module's iterator objects. One class template serves every iterator
// class: a class supplies its state type and `raw_next` (and optionally
// `length_hint`); the template gives it a type object, allocation,
// deallocation, the borrow flag and a next slot that is the raw routine
// itself, with no call wrapper per element.
#pragma once

#include "iteration.hpp"
#include "once.hpp"

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace quorin {

// Mutable state plus a borrow flag (0 free, -1 while a step runs). Only ever
// touched with the interpreter lock held, so the flag is a plain integer; it
// detects re-entry from a callback, it is not a lock between threads.
template <class State>
class GilRefCell {
public:
    template <class... A>
    explicit GilRefCell(A&&... args) : state_(std::forward<A>(args)...) {}

    class Borrow {
    public:
        explicit Borrow(GilRefCell& cell) : cell_(cell) {
            if (cell_.flag_ != 0) raise(PyExc_ValueError, "iterator already executing");
            cell_.flag_ = -1;
        }
        ~Borrow() { cell_.flag_ = 0; }
        Borrow(const Borrow&) = delete;
        Borrow& operator=(const Borrow&) = delete;
        State& operator*() const noexcept { return cell_.state_; }
        State* operator->() const noexcept { return &cell_.state_; }

    private:
        GilRefCell& cell_;
    };

    Borrow borrow() { return Borrow(*this); }

private:
    Py_ssize_t flag_ = 0;
    State state_;
};

template <class T>
concept HasLengthHint = requires(typename T::State& s) {
    { T::length_hint(s) } -> std::convertible_to<Py_ssize_t>;
};

// `Impl` provides: `static constexpr const char* name` (the class name),
// `using State`, `static Ref raw_next(State&)` (empty Ref: exhausted; a
// Python error: throw), and optionally `static Py_ssize_t length_hint(State&)`.
template <class Impl>
class IterClass {
public:
    using State = typename Impl::State;

    struct Object {
        PyObject_HEAD
        GilRefCell<State> cell;
    };

    static PyTypeObject* type() {
        static OnceCell cell;
        return reinterpret_cast<PyTypeObject*>(cell.get(make_type));
    }

    template <class... A>
    static Ref make(A&&... args) {
        PyTypeObject* tp = type();
        PyObject* raw = tp->tp_alloc(tp, 0);
        if (raw == nullptr) ffi_err();
        Object* obj = reinterpret_cast<Object*>(raw);
        try {
            new (&obj->cell) GilRefCell<State>(std::forward<A>(args)...);
        } catch (...) {
            tp->tp_free(raw);
            Py_DECREF(tp);
            throw;
        }
        return Ref::steal(raw);
    }

    // The function in the type's next slot.
    static PyObject* raw_iternext(PyObject* self) noexcept {
        return boundary(
            [self] {
                auto state = reinterpret_cast<Object*>(self)->cell.borrow();
                return Impl::raw_next(*state);
            },
            "panic in __next__");
    }

private:
    static void dealloc(PyObject* self) {
        PyTypeObject* tp = Py_TYPE(self);
        reinterpret_cast<Object*>(self)->cell.~GilRefCell<State>();
        tp->tp_free(self);
        Py_DECREF(tp);
    }

    static PyObject* length_hint_method(PyObject* self, PyObject*) noexcept {
        return boundary([self] {
            Py_ssize_t hint = 0;
            if constexpr (HasLengthHint<Impl>) {
                auto state = reinterpret_cast<Object*>(self)->cell.borrow();
                hint = Impl::length_hint(*state);
            }
            return Ref::check(PyLong_FromSsize_t(hint < 0 ? 0 : hint));
        });
    }

    static Ref make_type() {
        static const std::string qualified = std::string("quorin._quorin.") + Impl::name;
        static PyMethodDef methods[] = {
            {"__length_hint__", reinterpret_cast<PyCFunction>(length_hint_method), METH_NOARGS, nullptr},
            {nullptr, nullptr, 0, nullptr},
        };
        static PyType_Slot slots[] = {
            {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
            {Py_tp_iternext, reinterpret_cast<void*>(raw_iternext)},
            {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
            {Py_tp_doc, const_cast<char*>("")},
            {HasLengthHint<Impl> ? Py_tp_methods : 0, HasLengthHint<Impl> ? methods : nullptr},
            {0, nullptr},
        };
        static PyType_Spec spec = {
            qualified.c_str(),
            static_cast<int>(sizeof(Object)),
            0,
            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
            slots,
        };
        return Ref::check(PyType_FromSpec(&spec));
    }
};

// The generic lazy result: owns one native next-step routine.
class Routine {
public:
    virtual ~Routine() = default;
    virtual Ref next() = 0;
};

struct NativeIterImpl {
    static constexpr const char* name = "NativeIter";
    using State = std::unique_ptr<Routine>;
    static Ref raw_next(State& routine) { return routine->next(); }
};
using NativeIter = IterClass<NativeIterImpl>;

template <class F>
class LambdaRoutine final : public Routine {
public:
    explicit LambdaRoutine(F f) : f_(std::move(f)) {}
    Ref next() override { return f_(); }

private:
    F f_;
};

// A NativeIter running `step` (a callable returning Ref; empty at the end).
template <class F>
Ref native_iter(F step) {
    return NativeIter::make(std::unique_ptr<Routine>(new LambdaRoutine<F>(std::move(step))));
}

// The iterator that yields nothing.
Ref empty_iter();

}  // namespace quorin
