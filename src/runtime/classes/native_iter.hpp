// The module's iterator objects. One class template serves every iterator
// class: a class supplies its state type and `raw_next` (and optionally
// `length_hint`); the template gives it a type object, allocation, the
// collector's traverse and clear, a trashcan release (all from PyClass),
// the borrow flag and a next slot that is the raw routine itself, with no
// call wrapper per element.
#pragma once

#include "runtime/core/iteration.hpp"
#include "runtime/classes/py_class.hpp"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace quorin {

// Mutable state plus a borrow flag (0 free, -1 while a step runs). Only ever
// touched with the interpreter lock held, so the flag is a plain integer; it
// detects re-entry from a callback, it is not a lock between threads. The
// collector may clear the state of an idle cell: a cleared cell is exhausted.
template <class State>
class GilRefCell {
public:
    template <class... A>
    explicit GilRefCell(A&&... args) : state_(std::in_place, std::forward<A>(args)...) {}

    class Borrow {
    public:
        explicit Borrow(GilRefCell& cell) : cell_(cell) {
            if (cell_.flag_ != 0) raise(PyExc_ValueError, "iterator already executing");
            cell_.flag_ = -1;
        }
        ~Borrow() { cell_.flag_ = 0; }
        Borrow(const Borrow&) = delete;
        Borrow& operator=(const Borrow&) = delete;
        // False once the collector has cleared the state.
        explicit operator bool() const noexcept { return cell_.state_.has_value(); }
        State& operator*() const noexcept { return *cell_.state_; }
        State* operator->() const noexcept { return &*cell_.state_; }

    private:
        GilRefCell& cell_;
    };

    Borrow borrow() { return Borrow(*this); }

    void traverse(Visit& v) const noexcept { v(state_); }
    // Drops the state unless a step is running (that step's caller holds the
    // object, so it is not garbage yet).
    void clear() noexcept {
        if (flag_ != 0 || !state_) return;
        std::optional<State> dropped(std::move(state_));
        state_.reset();
    }

private:
    Py_ssize_t flag_ = 0;
    std::optional<State> state_;
};

template <class T>
concept HasLengthHint = requires(typename T::State& s) {
    { T::length_hint(s) } -> std::convertible_to<Py_ssize_t>;
};

// `Impl` provides: `static constexpr const char* name` (the class name),
// `using State` (with `void traverse(Visit&) const` listing every Python
// object it holds), `static Ref raw_next(State&)` (empty Ref: exhausted; a
// Python error: throw), and optionally `static Py_ssize_t length_hint(State&)`,
// `static constexpr const char* length_hint_doc` (what the hint promises; the
// method's text signature is put in front of it) and
// `static constexpr const char* doc` (the class docstring).
template <class Impl>
class IterClass {
public:
    using State = typename Impl::State;
    static_assert(Traversable<State>, "an iterator state lists the objects it holds");

    static PyTypeObject* type() { return Class::type(); }

    template <class... A>
    static Ref make(A&&... args) {
        return Class::make(std::forward<A>(args)...);
    }

    // The function in the type's next slot.
    static PyObject* raw_iternext(PyObject* self) noexcept {
        return boundary(
            [self] {
                auto state = Class::data(self).borrow();
                if (!state) return Ref();
                return Impl::raw_next(*state);
            },
            "panic in __next__");
    }

    // Module execution calls this for each iterator class; the type is made
    // with raw_iternext in its next slot already, so it only makes the type.
    static void install_raw_iternext() { type(); }

private:
    struct ClassImpl {
        static constexpr const char* name = Impl::name;
        static constexpr bool generic = true;
        static constexpr const char* doc = [] {
            if constexpr (requires { Impl::doc; }) return Impl::doc;
            return "";
        }();
        using Data = GilRefCell<State>;
        static constexpr bool clears_itself = true;
        static constexpr unsigned long flags = Py_TPFLAGS_DISALLOW_INSTANTIATION;
        // A step in progress over a source that need not pickle: no iterator
        // of the module says how to rebuild itself.
        static Ref reduce(PyObject* self) {
            PyErr_Format(PyExc_TypeError, "cannot pickle '%s' object", Py_TYPE(self)->tp_name);
            throw PyErrorSet{};
        }

        static std::vector<PyType_Slot> slots() {
            static PyMethodDef methods[] = {
                {"__length_hint__", reinterpret_cast<PyCFunction>(length_hint_method), METH_NOARGS, hint_doc()},
                {nullptr, nullptr, 0, nullptr},
            };
            std::vector<PyType_Slot> s = {
                {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
                {Py_tp_iternext, reinterpret_cast<void*>(raw_iternext)},
            };
            if constexpr (HasLengthHint<Impl>) s.push_back({Py_tp_methods, methods});
            return s;
        }
    };
    using Class = PyClass<ClassImpl>;

    static const char* hint_doc() {
        if constexpr (requires { Impl::length_hint_doc; }) {
            static const std::string doc = std::string("__length_hint__($self)\n--\n\n") + Impl::length_hint_doc;
            return doc.c_str();
        }
        return nullptr;
    }

    static PyObject* length_hint_method(PyObject* self, PyObject*) noexcept {
        return boundary([&] {
            Py_ssize_t hint = 0;
            if constexpr (HasLengthHint<Impl>) {
                auto state = Class::data(self).borrow();
                if (state) hint = Impl::length_hint(*state);
            }
            return Ref::check(PyLong_FromSsize_t(hint < 0 ? 0 : hint));
        });
    }
};

// The generic lazy result: owns one native next-step routine. A routine is
// a named state with `Ref next()` and `void traverse(Visit&) const`, so the
// collector sees every object it holds.
class Routine {
public:
    virtual ~Routine() = default;
    virtual Ref next() = 0;
    virtual void traverse(Visit& v) const noexcept = 0;
};

template <class Step>
concept StepState = Traversable<Step> && requires(Step& s) {
    { s.next() } -> std::same_as<Ref>;
};

template <StepState Step>
class StepRoutine final : public Routine {
public:
    explicit StepRoutine(Step step) : step_(std::move(step)) {}
    Ref next() override { return step_.next(); }
    void traverse(Visit& v) const noexcept override { v(step_); }

private:
    Step step_;
};

struct NativeIterImpl {
    static constexpr const char* name = "NativeIter";
    struct State {
        std::unique_ptr<Routine> routine;
        void traverse(Visit& v) const noexcept { routine->traverse(v); }
    };
    static Ref raw_next(State& s) { return s.routine->next(); }
};
using NativeIter = IterClass<NativeIterImpl>;

// A NativeIter running `step` (a StepState: `next()` returns an empty Ref at
// the end).
template <StepState Step>
Ref native_iter(Step step) {
    return NativeIter::make(NativeIterImpl::State{std::make_unique<StepRoutine<Step>>(std::move(step))});
}

// The iterator that yields nothing.
Ref empty_iter();

}  // namespace quorin
