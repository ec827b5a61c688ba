// Classes whose objects hold Python objects. One template gives each such
// class its type object, allocation, garbage-collector traverse and clear,
// and a release that goes through the interpreter's trashcan, so that a
// chain of a million nested objects is released without deep native
// recursion. A class supplies its data and the slots of its own; a class
// with `call` also gets its vectorcall entry, and a class with a
// constructor text signature gets its new slot and docstring from that text.
// Every object can be weakly referenced, and a class that says how it is
// rebuilt (`reduce`) pickles and copies.
#pragma once

#include "runtime/classes/method.hpp"
#include "runtime/core/once.hpp"

#include <array>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <string_view>
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
concept Traversable = requires(const T& t, Visit& v) {
    t.traverse(v);
};

template <class Impl>
concept HasCall = requires(typename Impl::Data& d, PyObject* const* args, std::size_t nargsf, PyObject* kw) {
    { Impl::call(d, args, nargsf, kw) } -> std::same_as<Ref>;
};

template <class Impl>
concept HasConstructor = requires(const Bound& b) {
    { Impl::constructor } -> std::convertible_to<const char*>;
    { Impl::construct(b) } -> std::same_as<Ref>;
};

// A class whose data guards itself against the collector (an iterator's
// cell keeps the state of a running step) has no cleared flag of its own.
template <class Impl>
concept ClearsItself = requires {
    requires Impl::clears_itself;
};

// `reduce(self)` gives what `__reduce__` returns: (callable, args) or the
// name of a module attribute.
template <class Impl>
concept HasReduce = requires(PyObject* self) {
    { Impl::reduce(self) } -> std::same_as<Ref>;
};

template <class Impl>
concept HasExtraSlots = requires {
    Impl::slots();
};

template <class Impl>
concept HasExtraFlags = requires {
    Impl::flags;
};

template <class Impl>
concept HasDoc = requires {
    Impl::doc;
};

template <class Impl>
concept HasClassAttrs = requires {
    Impl::class_attrs();
};

// A callable class whose calls nest only on some paths enters the
// recursion guard (`call_context()`) itself, around those paths alone.
template <class Impl>
concept GuardsItself = requires {
    requires Impl::guards_itself;
};

template <class Impl>
concept IsGeneric = requires {
    requires Impl::generic;
};

// Small values made and dropped once per call (Some, Ok, ...) keep up to
// `Impl::pool` released objects for reuse, which skips the allocator and the
// collector's bookkeeping. Only with the interpreter lock, which guards it.
template <class Impl>
concept IsPooled = (Impl::pool > 0);
#ifdef Py_GIL_DISABLED
inline constexpr bool kPoolable = false;
#else
inline constexpr bool kPoolable = true;
#endif

// A class whose data is empty holds no Python object, so none of its
// objects can be part of a reference cycle: the collector need not know the
// class at all (no tracking, no collector header). A subclass made in Python
// is collected all the same, as the interpreter makes every such class.
template <class Impl>
inline constexpr bool kCollected = !std::is_empty_v<typename Impl::Data>;

// Data that never changes after construction can tell, once made, that it
// refers to no object the collector follows (`bool acyclic() const`); its
// object then cannot be part of a cycle and stays untracked, as the
// interpreter does with tuples of atoms.
template <class Data>
concept KnowsAcyclic = requires(const Data& d) {
    { d.acyclic() } -> std::same_as<bool>;
};

// " while calling a Compose object": the recursion guard's text for class
// `name`, made at compile time so a call builds no string.
template <std::size_t N>
struct CallContext {
    std::array<char, N + 32> text{};
    constexpr explicit CallContext(std::string_view name) {
        constexpr std::string_view vowels = "AEIOUaeiou";
        std::string_view parts[] = {" while calling a", vowels.find(name[0]) != std::string_view::npos ? "n " : " ",
                                    name, " object"};
        std::size_t at = 0;
        for (std::string_view part : parts)
            for (char c : part) text[at++] = c;
    }
};

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
//   static Ref call(Data&, PyObject* const* args, size_t nargsf, PyObject* kwnames);
//       makes the objects callable through vectorcall (no argument tuple);
//       the template adds the boundary, the recursion guard named after the
//       class and the refusal of an object the collector has cleared
//   static constexpr const char* constructor;  e.g. "Some(value)", or
//       "__new__(func, *args)" to have the binder's messages say
//       "<name>.__new__()"; with `static Ref construct(const Bound&)` it is
//       the new slot, and (with the class name in front) the docstring
//   static Ref reduce(PyObject* self);
//       the object's `__reduce__`: how pickle and copy rebuild it
//   static constexpr bool generic = true;
//       `Cls[T]` gives a generic alias, so annotations evaluated at run
//       time work as they do for the built-in containers
//
// The collector's clear empties the data of an object that may still be
// reached from a finalizer. Every class sees that the same way: `live_data`
// is null afterwards; a call then raises Panic "<name> called after being
// cleared", a value reads its payload as None, an iterator is exhausted
// (its cell, which guards itself, tells).
template <class Impl>
class PyClass {
    template <int>
    struct Absent {};
    static constexpr bool kFlagged = !ClearsItself<Impl>;

public:
    using Data = typename Impl::Data;

    struct Object {
        PyObject_HEAD PyObject* weaklist;
        [[no_unique_address]] std::conditional_t<HasCall<Impl>, vectorcallfunc, Absent<0>> vectorcall;
        [[no_unique_address]] std::conditional_t<kFlagged, bool, Absent<1>> live;
        Data data;
    };
    // The start of every Object, whose offsets are defined for any Data.
    struct Head {
        PyObject_HEAD PyObject* weaklist;
    };

    static PyTypeObject* type() {
        static OnceCell cell;
        return reinterpret_cast<PyTypeObject*>(cell.get(make_type));
    }

    // Exactly this class (the type is made on first use, which can fail).
    static bool check(PyObject* o) { return Py_IS_TYPE(o, type()); }

    // A new object holding `Data(args...)`.
    template <class... A>
    static Ref make(A&&... args) {
        PyTypeObject* tp = type();
        // Untracked and unzeroed (the data is constructed in place): not
        // visible to the collector until its data exists.
        Object* obj = nullptr;
        if constexpr (kPooled) {
            if (Pool& p = pool(); p.size > 0) {
                obj = p.slots[--p.size];
                PyObject_Init(reinterpret_cast<PyObject*>(obj), tp);
            }
        }
        if (obj == nullptr) obj = kCollected<Impl> ? PyObject_GC_New(Object, tp) : PyObject_New(Object, tp);
        if (obj == nullptr) ffi_err();
        PyObject* raw = reinterpret_cast<PyObject*>(obj);
        try {
            new (&obj->data) Data(std::forward<A>(args)...);
        } catch (...) {
            if constexpr (kCollected<Impl>) {
                PyObject_GC_Del(raw);
            } else {
                PyObject_Free(raw);
            }
            Py_DECREF(tp);
            throw;
        }
        if constexpr (HasCall<Impl>) obj->vectorcall = vectorcall;
        if constexpr (kFlagged) obj->live = true;
        obj->weaklist = nullptr;
        if constexpr (KnowsAcyclic<Data>) {
            if (!obj->data.acyclic()) PyObject_GC_Track(raw);
        } else if constexpr (kCollected<Impl>) {
            PyObject_GC_Track(raw);
        }
        return Ref::steal(raw);
    }

    static Data& data(PyObject* self) noexcept { return object(self)->data; }

    // The data, or null once the collector has cleared the object.
    static Data* live_data(PyObject* self) noexcept requires kFlagged {
        Object* o = object(self);
        return o->live ? &o->data : nullptr;
    }

    // The data of an object that must not have been cleared (a callable
    // asked how to rebuild itself).
    static Data& live(PyObject* self) requires kFlagged {
        Data* d = live_data(self);
        if (d == nullptr) called_after_clear();
        return *d;
    }

    // The recursion guard's text for a call of this class.
    static const char* call_context() noexcept { return context.text.data(); }

    // Raises the Panic of a call that finds its object cleared.
    [[noreturn]] static void called_after_clear() {
        throw Panic(std::string(Impl::name) + " called after being cleared");
    }

private:
    static Object* object(PyObject* self) noexcept { return reinterpret_cast<Object*>(self); }

    static constexpr bool kPooled = kPoolable && IsPooled<Impl>;
    struct Pool {
        std::size_t size = 0;
        std::array<Object*, kPooled ? Impl::pool : 1> slots{};
    };
    static Pool& pool() noexcept {
        static Pool p;
        return p;
    }

    static constexpr CallContext<std::char_traits<char>::length(Impl::name)> context{Impl::name};

    static PyObject* vectorcall(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
        return boundary([&] {
            RecursionGuard guard(context.text.data(), !GuardsItself<Impl>);
            return Impl::call(live(self), args, nargsf, kwnames);
        });
    }

    static Signature make_constructor_signature() {
        // A text named after a method ("__new__(...)") names the class in
        // the binder's messages as its owner.
        const std::string own_name = std::string(Impl::name) + "(";
        return Signature(Impl::constructor,
                         std::string_view(Impl::constructor).starts_with(own_name) ? nullptr : Impl::name);
    }
    // Made when the module is loaded (it needs no interpreter), so a call
    // passes no guard.
    static inline const Signature constructor_signature = make_constructor_signature();

    static PyObject* tp_new(PyTypeObject*, PyObject* args, PyObject* kwargs) noexcept {
        return call_bound<&Impl::construct>(constructor_signature, args, kwargs);
    }

    static PyObject* vectorcall_new(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
        return call_bound<&Impl::construct>(constructor_signature, args, PyVectorcall_NARGS(nargsf), kwnames);
    }

    static const char* class_doc() {
        if constexpr (HasDoc<Impl>) {
            return Impl::doc;
        } else if constexpr (HasConstructor<Impl>) {
            static const std::string doc = Impl::name + std::string(std::strchr(Impl::constructor, '(')) + "\n--\n\n";
            return doc.c_str();
        } else {
            return "";
        }
    }

    static int traverse(PyObject* self, visitproc visit, void* arg) noexcept {
        Visit v(visit, arg);
        v(reinterpret_cast<PyObject*>(Py_TYPE(self)));
        v(data(self));
        return v.result();
    }

    static int clear(PyObject* self) noexcept {
        if constexpr (kFlagged) object(self)->live = false;
        Data& d = data(self);
        if constexpr (requires { d.clear(); }) {
            d.clear();
        } else {
            // Moved out first: code run by the release sees the object empty.
            [[maybe_unused]] Data dropped = std::exchange(d, Data{});
        }
        return 0;
    }

    static void dealloc(PyObject* self) noexcept {
        if constexpr (kCollected<Impl>) {
            PyObject_GC_UnTrack(self);
            Py_TRASHCAN_BEGIN(self, dealloc) release(self);
            Py_TRASHCAN_END
        } else {
            // Nothing nests in an empty state; the trashcan is for collected objects only.
            release(self);
        }
    }

    static void release(PyObject* self) noexcept {
        PyTypeObject* tp = Py_TYPE(self);
        if (object(self)->weaklist != nullptr) PyObject_ClearWeakRefs(self);
        data(self).~Data();
        bool kept = false;
        if constexpr (kPooled) {
            // An object of a subclass has another size and release.
            Pool& p = pool();
            if (tp == type() && p.size < p.slots.size()) {
                p.slots[p.size++] = object(self);
                kept = true;
            }
        }
        if (!kept) tp->tp_free(self);
        Py_DECREF(tp);
    }

    static PyObject* reduce_method(PyObject* self, PyObject*) noexcept {
        return boundary([self] { return Impl::reduce(self); });
    }

    static Ref make_type() {
        static const std::string qualified = std::string("quorin._quorin.") + Impl::name;
        static std::vector<PyType_Slot> slots = [] {
            std::vector<PyType_Slot> s;
            if constexpr (HasExtraSlots<Impl>) s = Impl::slots();
            if (const char* doc = class_doc()) s.push_back({Py_tp_doc, const_cast<char*>(doc)});
            if constexpr (kCollected<Impl>) {
                s.push_back({Py_tp_traverse, reinterpret_cast<void*>(traverse)});
                s.push_back({Py_tp_clear, reinterpret_cast<void*>(clear)});
            }
            s.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
            if constexpr (HasConstructor<Impl>) s.push_back({Py_tp_new, reinterpret_cast<void*>(tp_new)});
            static PyMemberDef members[] = {
                {"__weaklistoffset__", QUORIN_T_PYSSIZET, offsetof(Head, weaklist), QUORIN_READONLY, nullptr},
                {nullptr, 0, 0, 0, nullptr},
                {nullptr, 0, 0, 0, nullptr},
            };
            if constexpr (HasCall<Impl>) {
                members[1] = {"__vectorcalloffset__", QUORIN_T_PYSSIZET, offsetof(Object, vectorcall), QUORIN_READONLY,
                              nullptr};
                s.push_back({Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)});
            }
            s.push_back({Py_tp_members, members});
            s.push_back({0, nullptr});
            return s;
        }();
        unsigned long flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
        if constexpr (kCollected<Impl>) flags |= Py_TPFLAGS_HAVE_GC;
        if constexpr (HasExtraFlags<Impl>) flags |= Impl::flags;
        if constexpr (HasCall<Impl>) flags |= Py_TPFLAGS_HAVE_VECTORCALL;
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
        if constexpr (HasReduce<Impl>) {
            static PyMethodDef reduce = {"__reduce__", reinterpret_cast<PyCFunction>(reduce_method), METH_NOARGS,
                                         "__reduce__($self)\n--\n\nHow pickle and copy rebuild the object."};
            Ref method = Ref::check(PyDescr_NewMethod(type, &reduce));
            check_int(PyDict_SetItemString(type->tp_dict, "__reduce__", method.get()));
        }
        if constexpr (IsGeneric<Impl>) {
            static PyMethodDef class_getitem = {"__class_getitem__", reinterpret_cast<PyCFunction>(Py_GenericAlias),
                                                METH_O | METH_CLASS, "See PEP 585"};
            Ref method = Ref::check(PyDescr_NewClassMethod(type, &class_getitem));
            check_int(PyDict_SetItemString(type->tp_dict, "__class_getitem__", method.get()));
        }
        // Calling the class then binds the fast way, with no argument tuple
        // (the class has no __init__ for the call to skip).
        if constexpr (HasConstructor<Impl>) type->tp_vectorcall = vectorcall_new;
        PyType_Modified(type);
        return tp;
    }
};

// `(callable, args)`, a `__reduce__` result.
inline Ref reduce_call(PyObject* callable, PyObject* args) { return Ref::check(PyTuple_Pack(2, callable, args)); }

// A name of the module as it stands now: what pickle finds by that name.
inline Ref own_attr(PyObject* name) { return module_attr(QUORIN_NAME("quorin._quorin"), name); }

}  // namespace quorin
