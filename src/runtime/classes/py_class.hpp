// Classes whose objects hold Python objects. One template gives each such
// class its type object, allocation, garbage-collector traverse and clear,
// and a release that goes through the interpreter's trashcan, so that a
// chain of a million nested objects is released without deep native
// recursion. A class supplies only its data and the slots of its own.
#pragma once

#include "runtime/core/once.hpp"

#include <concepts>
#include <cstddef>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#if PY_VERSION_HEX < 0x030C0000
#include <structmember.h>
#define QUORIN_T_PYSSIZET T_PYSSIZET
#define QUORIN_READONLY READONLY
#else
#define QUORIN_T_PYSSIZET Py_T_PYSSIZET
#define QUORIN_READONLY Py_READONLY
#endif

namespace quorin {

// Hands every object a state holds to the collector's visit procedure:
// `v(a)(b)(c)`; null references, vectors, optionals and nested states
// (anything with `traverse(Visit&) const`) are accepted.
class Visit {
public:
    Visit(visitproc fn, void* arg) noexcept : fn_(fn), arg_(arg) {}

    Visit& operator()(PyObject* o) noexcept {
        if (rc_ == 0 && o != nullptr) rc_ = fn_(o, arg_);
        return *this;
    }
    Visit& operator()(const Ref& r) noexcept { return (*this)(r.get()); }
    template <class T>
    Visit& operator()(const std::vector<T>& items) noexcept {
        for (const T& item : items) (*this)(item);
        return *this;
    }
    template <class T>
    Visit& operator()(const std::optional<T>& item) noexcept {
        if (item) (*this)(*item);
        return *this;
    }
    template <class T>
        requires requires(const T& t, Visit& v) { t.traverse(v); }
    Visit& operator()(const T& state) noexcept {
        state.traverse(*this);
        return *this;
    }

    int result() const noexcept { return rc_; }

private:
    visitproc fn_;
    void* arg_;
    int rc_ = 0;
};

template <class T>
concept Traversable = requires(const T& t, Visit& v) { t.traverse(v); };

template <class Impl>
concept HasVectorcall = requires(PyObject* self, PyObject* const* args, std::size_t n, PyObject* kw) {
    { Impl::vectorcall(self, args, n, kw) } -> std::same_as<PyObject*>;
};

template <class Impl>
concept HasExtraSlots = requires { Impl::slots(); };

template <class Impl>
concept HasExtraFlags = requires { Impl::flags; };

template <class Impl>
concept HasDoc = requires { Impl::doc; };

template <class Impl>
concept HasClassAttrs = requires { Impl::class_attrs(); };

template <class Impl>
concept IsGeneric = requires { requires Impl::generic; };

// `Impl` provides:
//   static constexpr const char* name;      the class name
//   using Data;                             what each object holds; it has
//       `void traverse(Visit&) const` and is default-constructible and
//       move-assignable: clearing moves it out and leaves `Data{}` behind
//       (or, when Data has `void clear()`, calls that instead)
// and optionally:
//   static std::vector<PyType_Slot> slots();   further slots of the class
//   static constexpr unsigned long flags;      further type flags
//   static constexpr const char* doc;          the class docstring ("" if absent,
//                                              none at all if null)
//   static std::vector<std::pair<const char*, Ref>> class_attrs();
//       class attributes (such as __match_args__), stored before the type
//       is handed out
//   static PyObject* vectorcall(PyObject*, PyObject* const*, size_t, PyObject*);
//       makes the objects callable through vectorcall (no argument tuple)
//   static constexpr bool generic = true;
//       `Cls[T]` gives a generic alias, so annotations evaluated at run
//       time work as they do for the built-in containers
template <class Impl>
class PyClass {
public:
    using Data = typename Impl::Data;

    struct Object {
        PyObject_HEAD
        vectorcallfunc vectorcall;
        Data data;
    };

    static PyTypeObject* type() {
        static OnceCell cell;
        return reinterpret_cast<PyTypeObject*>(cell.get(make_type));
    }

    static bool check(PyObject* o) noexcept { return Py_IS_TYPE(o, peek_type()); }

    // A new object holding `Data(args...)`.
    template <class... A>
    static Ref make(A&&... args) {
        PyTypeObject* tp = type();
        // Untracked and unzeroed (the data is constructed in place): not
        // visible to the collector until its data exists.
        Object* obj = PyObject_GC_New(Object, tp);
        if (obj == nullptr) ffi_err();
        PyObject* raw = reinterpret_cast<PyObject*>(obj);
        try {
            new (&obj->data) Data(std::forward<A>(args)...);
        } catch (...) {
            PyObject_GC_Del(raw);
            Py_DECREF(tp);
            throw;
        }
        obj->vectorcall = nullptr;
        if constexpr (HasVectorcall<Impl>) obj->vectorcall = Impl::vectorcall;
        PyObject_GC_Track(raw);
        return Ref::steal(raw);
    }

    static Data& data(PyObject* self) noexcept { return reinterpret_cast<Object*>(self)->data; }

private:
    static PyTypeObject* peek_type() noexcept { return type(); }

    static int traverse(PyObject* self, visitproc visit, void* arg) noexcept {
        Visit v(visit, arg);
        v(reinterpret_cast<PyObject*>(Py_TYPE(self)));
        v(data(self));
        return v.result();
    }

    static int clear(PyObject* self) noexcept {
        Data& d = data(self);
        if constexpr (requires { d.clear(); }) {
            d.clear();
        } else {
            // Moved out first: code run by the release sees the object empty.
            Data dropped = std::exchange(d, Data{});
        }
        return 0;
    }

    static void dealloc(PyObject* self) noexcept {
        PyTypeObject* tp = Py_TYPE(self);
        PyObject_GC_UnTrack(self);
        Py_TRASHCAN_BEGIN(self, dealloc)
        data(self).~Data();
        tp->tp_free(self);
        Py_DECREF(tp);
        Py_TRASHCAN_END
    }

    static Ref make_type() {
        static const std::string qualified = std::string("quorin._quorin.") + Impl::name;
        static std::vector<PyType_Slot> slots = [] {
            std::vector<PyType_Slot> s;
            if constexpr (HasExtraSlots<Impl>) s = Impl::slots();
            const char* doc = "";
            if constexpr (HasDoc<Impl>) doc = Impl::doc;
            if (doc != nullptr) s.push_back({Py_tp_doc, const_cast<char*>(doc)});
            s.push_back({Py_tp_traverse, reinterpret_cast<void*>(traverse)});
            s.push_back({Py_tp_clear, reinterpret_cast<void*>(clear)});
            s.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
            if constexpr (HasVectorcall<Impl>) {
                static PyMemberDef members[] = {
                    {"__vectorcalloffset__", QUORIN_T_PYSSIZET, offsetof(Object, vectorcall), QUORIN_READONLY, nullptr},
                    {nullptr, 0, 0, 0, nullptr},
                };
                s.push_back({Py_tp_members, members});
                s.push_back({Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)});
            }
            s.push_back({0, nullptr});
            return s;
        }();
        unsigned long flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE;
        if constexpr (HasExtraFlags<Impl>) flags |= Impl::flags;
        if constexpr (HasVectorcall<Impl>) flags |= Py_TPFLAGS_HAVE_VECTORCALL;
        static PyType_Spec layout = {
            qualified.c_str(), static_cast<int>(sizeof(Object)), 0, static_cast<unsigned int>(flags), slots.data(),
        };
        Ref tp = Ref::check(PyType_FromSpec(&layout));
        auto* type = reinterpret_cast<PyTypeObject*>(tp.get());
        // The type is immutable once made, so its dictionary is written
        // directly, before anyone can have looked anything up in it.
        if constexpr (HasClassAttrs<Impl>) {
            for (auto& [name, value] : Impl::class_attrs())
                check_int(PyDict_SetItemString(type->tp_dict, name, value.get()));
        }
        if constexpr (IsGeneric<Impl>) {
            static PyMethodDef class_getitem = {"__class_getitem__", reinterpret_cast<PyCFunction>(Py_GenericAlias),
                                                METH_O | METH_CLASS, "See PEP 585"};
            Ref method = Ref::check(PyDescr_NewClassMethod(type, &class_getitem));
            check_int(PyDict_SetItemString(type->tp_dict, "__class_getitem__", method.get()));
        }
        PyType_Modified(type);
        return tp;
    }
};

}  // namespace quorin
