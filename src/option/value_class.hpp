// What the four value classes share: a payload class (Some, Ok, Err) holds
// one object under a read-only attribute, shows itself as "Name(repr)", is
// equal to another of its class with an equal payload, and matches by that
// attribute in a class pattern. None of the classes orders or hashes.
#pragma once

#include "runtime/core/iteration.hpp"
#include "runtime/classes/method.hpp"
#include "runtime/classes/py_class.hpp"

#include <utility>
#include <vector>

namespace quorin::value_class {

using ClassAttrs = std::vector<std::pair<const char*, Ref>>;

struct Empty {
    void traverse(Visit&) const noexcept {}
};

// The payload: set at construction, never changed (only the collector's
// clear takes it away, from objects nobody can reach any more).
struct Payload {
    Ref held;
    void traverse(Visit& v) const noexcept { v(held); }
    // A payload the collector does not follow (a number, a string) closes no cycle.
    bool acyclic() const noexcept { return !held || !PyType_IS_GC(Py_TYPE(held.get())); }
};

// `==` answered by `eq`; `!=` asks the interpreter for `self == other` and
// negates its truth; orderings are not defined.
template <bool (*eq)(PyObject*, PyObject*)>
PyObject* richcompare(PyObject* self, PyObject* other, int op) noexcept {
    return boundary([&] {
        if (op == Py_EQ) return py_bool(eq(self, other));
        if (op != Py_NE) return Ref::borrow(Py_NotImplemented);
        Ref same = Ref::check(PyObject_RichCompare(self, other, Py_EQ));
        return py_bool(!truthy(same.get()));
    });
}

template <bool truth>
int truth_value(PyObject*) noexcept {
    return truth ? 1 : 0;
}

// The slots every value class has; `methods` are its own.
template <bool (*eq)(PyObject*, PyObject*), bool truth>
std::vector<PyType_Slot> common_slots(PyMethodDef* methods, reprfunc repr) {
    return {
        {Py_tp_repr, reinterpret_cast<void*>(repr)},
        {Py_tp_richcompare, reinterpret_cast<void*>(richcompare<eq>)},
        {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
        {Py_nb_bool, reinterpret_cast<void*>(truth_value<truth>)},
        {Py_tp_methods, methods},
    };
}

template <class Impl>
struct PayloadClass;

// `Impl` is a payload class: `name`, `attr` (the attribute naming the
// payload), `truth`, `constructor` with `construct`, and `slots()` built
// with `PayloadClass::slots`.
// It derives from `PayloadBase<Impl>` for its data and class attributes.
template <class Impl>
struct PayloadBase {
    using Data = Payload;
    static constexpr bool generic = true;
    static constexpr std::size_t pool = 32;
    // Class patterns bind the payload by position: `case Some(x)`.
    static ClassAttrs class_attrs() {
        ClassAttrs attrs;
        attrs.emplace_back("__match_args__", Ref::check(Py_BuildValue("(s)", Impl::attr)));
        return attrs;
    }
    // Rebuilt by its class from the payload, which must pickle too.
    static Ref reduce(PyObject* self) {
        Ref args = Ref::check(PyTuple_Pack(1, PayloadClass<Impl>::get(self).get()));
        return reduce_call(reinterpret_cast<PyObject*>(Py_TYPE(self)), args.get());
    }
};

template <class Impl>
struct PayloadClass {
    using Class = PyClass<Impl>;

    static Ref make(Ref held) { return Class::make(Payload{std::move(held)}); }

    // A strong reference to the payload (None once the collector cleared it).
    static Ref get(PyObject* self) {
        const Payload* d = Class::live_data(self);
        return d ? d->held.clone() : Ref::borrow(Py_None);
    }

    static bool check(PyObject* o) { return PyObject_TypeCheck(o, Class::type()); }

    // The same payload in a new object of the class.
    static Ref copy(PyObject* self) { return make(get(self)); }

    // "Name(" + repr(payload) + ")", with `prefix` in front.
    static Ref text(PyObject* self, const char* prefix) {
        Ref held = get(self);
        return Ref::check(PyUnicode_FromFormat("%s%s(%R)", prefix, Impl::name, held.get()));
    }

    static bool eq(PyObject* self, PyObject* other) {
        if (!check(other)) return false;
        Ref mine = get(self), theirs = get(other);
        Ref same = Ref::check(PyObject_RichCompare(mine.get(), theirs.get(), Py_EQ));
        return truthy(same.get());
    }

    static std::vector<PyType_Slot> slots(PyMethodDef* methods) {
        static PyGetSetDef getset[] = {
            {Impl::attr, getter, nullptr, nullptr, nullptr},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        std::vector<PyType_Slot> s = common_slots<eq, Impl::truth>(methods, repr);
        s.push_back({Py_tp_getset, getset});
        return s;
    }

private:
    static PyObject* repr(PyObject* self) noexcept {
        return boundary([self] { return text(self, ""); });
    }
    static PyObject* getter(PyObject* self, void*) noexcept {
        return boundary([self] { return get(self); });
    }
};

}  // namespace quorin::value_class
