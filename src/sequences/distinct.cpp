// Distinctness and counting: a native integer path for integer buffers,
// Python set semantics otherwise, and a length before any iteration.
#include "distinct.hpp"

#include "runtime/core/prefetch.hpp"
#include "runtime/buffers/int_buffer.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/tables/py_hash.hpp"
#include "runtime/core/once.hpp"
#include "runtime/tables/py_seen.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace quorin {

namespace {

// The hash set: for values spread too wide for a bitmap. A repeat ends the
// scan at the end of its block: the answer is known.
template <IntElement T>
bool distinct_by_set(const IntRun<T>& values, std::size_t start, std::size_t n) {
    IntSet<T> seen;
    seen.grow_to(IntSet<T>::presized_capacity(n));
    bool distinct = true;
    for (std::size_t done = 0; distinct && done < n;) {
        const std::size_t m = std::min(kIntBlock, n - done);
        for_each_block(values, start + done, m, [&](const T* p, std::size_t count) {
            for (std::size_t i = 0; i < count && distinct; ++i) distinct = seen.insert(p[i]);
        });
        done += m;
    }
    return distinct;
}

// One bit per value from the least to the greatest: smaller than the hash
// set when the values are dense, and marked in value order, so that a run
// of neighbouring values touches neighbouring bits instead of slots all
// over a table.
template <IntElement T>
bool distinct_by_bitmap(const IntRun<T>& values, std::uint64_t low, std::uint64_t words) {
    const TableArray<std::uint64_t> bits = table_array<std::uint64_t>(std::bit_ceil(words));
    std::uint64_t* map = bits.get();
    bool distinct = true;
    for (std::size_t done = 0; distinct && done < values.size();) {
        const std::size_t m = std::min(kIntBlock, values.size() - done);
        for_each_block(values, done, m, [&](const T* p, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint64_t d = wide_bits(p[i]) - low, bit = std::uint64_t{1} << (d % 64);
                distinct &= (map[d / 64] & bit) == 0;
                map[d / 64] |= bit;
            }
        });
        done += m;
    }
    return distinct;
}

template <IntElement T>
bool distinct_ints(const IntRun<T>& values) {
    const std::size_t n = values.size();
    // A repeat among the first elements is found without reading the rest.
    const std::size_t head = std::min(n, kIntBlock);
    if (!distinct_by_set(values, 0, head)) return false;
    if (head == n) return true;
    const auto [low, span] = value_span(values, n);
    if (span < n - 1) return false;  // fewer possible values than elements
    // The bitmap is at most a quarter of the set's table (16 bytes per element).
    if (span / 32 < n) return distinct_by_bitmap(values, low, span / 64 + 1);
    return distinct_by_set(values, 0, n);
}

// Announces the slot of `set` that adding `o` will look at first, when o's
// hash is at hand. Only a hint: a wrong guess costs the prefetch and nothing
// else.
void prefetch_slot(PyObject* set, PyObject* o) noexcept {
    Py_hash_t h;
    if (!hash_at_hand(o, true, &h)) return;
    auto* so = reinterpret_cast<PySetObject*>(set);
    prefetch_for_write(&so->table[static_cast<std::size_t>(h) & static_cast<std::size_t>(so->mask)]);
}

// Whether the few elements of `list` from position i on lie far apart in
// memory (more than a page between neighbours).
bool lies_scattered(PyObject* list, Py_ssize_t i) noexcept {
    constexpr Py_ssize_t sample = 4;
    if (i + sample >= PyList_GET_SIZE(list)) return false;
    for (Py_ssize_t j = i; j < i + sample; ++j) {
        const auto a = reinterpret_cast<std::uintptr_t>(PyList_GET_ITEM(list, j));
        const auto b = reinterpret_cast<std::uintptr_t>(PyList_GET_ITEM(list, j + 1));
        if ((a > b ? a - b : b - a) > 4096) return true;
    }
    return false;
}

// Exactly a Python set's hashing and equality, one lookup-and-insert per
// element: the element was already a member when adding it leaves the size
// unchanged. While every element is plain (plain_key: its hashing and
// comparing run no user code) a native set stands in for the Python one,
// with the same answers; at the first element that is not, the Python set
// is filled with the members so far in their order (exactly the set that
// adding them one by one would have made) and takes over.
bool distinct_objects(PyObject* seq) {
    PySeen native(known_length(seq));
    Ref seen;
    auto added = [&](PyObject* item) {
        if (!seen) {
            if (plain_key(item)) return native.insert(item);
            seen = Ref::check(PySet_New(nullptr));
            for (const Ref& member : native.objects()) check_int(PySet_Add(seen.get(), member.get()));
        }
        const Py_ssize_t before = PySet_GET_SIZE(seen.get());
        check_int(PySet_Add(seen.get(), item));
        return PySet_GET_SIZE(seen.get()) != before;
    };
    auto announce_slot = [&](PyObject* item) {
        if (!seen)
            native.prefetch(item);
        else
            prefetch_slot(seen.get(), item);
    };
    if (PyList_CheckExact(seq)) {
        // What the list's own iterator does, by index against the current
        // length (hashing and comparing may run code that resizes the list).
        // Elements far apart in memory are announced ahead (they and their
        // set slots would each miss the caches); elements laid out in order
        // are left to the processor's own prefetching, announcing them only
        // costs. Looked at once per block of elements.
        constexpr Py_ssize_t far = 16, near = 8, block = 64;
        bool scattered = false;
        for (Py_ssize_t i = 0, n; i < (n = PyList_GET_SIZE(seq)); ++i) {
            if (i % block == 0) scattered = lies_scattered(seq, i + far);
            if (scattered && i + far < n) {
                // The far element's header first; by the time it is the near
                // one, its hash can be read without waiting and its slot is
                // announced.
                prefetch(PyList_GET_ITEM(seq, i + far));
                announce_slot(PyList_GET_ITEM(seq, i + near));
            }
            Ref item = Ref::borrow(PyList_GET_ITEM(seq, i));
            if (!added(item.get())) return false;
        }
        return true;
    }
    Ref it = get_iter(seq);
    while (Ref item = next_item(it.get()))
        if (!added(item.get())) return false;
    return true;
}

}  // namespace

namespace fn {

QUORIN_FUNCTION(isdistinct, "isdistinct(seq)") {
    bool distinct;
    if (std::optional<IntBuf> buf = usable_int_buffer(a[0]))
        distinct = buf->visit([](auto values) { return distinct_ints(values); });
    else
        distinct = distinct_objects(a[0]);
    return Ref::borrow(distinct ? Py_True : Py_False);
}

QUORIN_FUNCTION(count, "count(seq)") { return quorin::count(a[0]); }

}  // namespace fn

Ref count(PyObject* seq) {
    // The commonest case first, read in place: a call of `len` costs as much again.
    if (PyList_CheckExact(seq) || PyTuple_CheckExact(seq)) return Ref::check(PyLong_FromSsize_t(Py_SIZE(seq)));
    // These exact types always have `__len__` and cannot gain or lose it,
    // so the lookup (which builds a bound method) can only say yes.
    if (PyDict_CheckExact(seq) || PyUnicode_CheckExact(seq) || PyAnySet_CheckExact(seq) || PyBytes_CheckExact(seq))
        return Ref::check(PyLong_FromSsize_t(PyObject_Length(seq)));
    // One interned name for every call: a fresh string per call would also
    // take a new entry in the interpreter's type-attribute cache each time.
    if (PyObject* len_attr = PyObject_GetAttr(seq, QUORIN_NAME("__len__"))) {
        Ref::steal(len_attr).reset();
        Py_ssize_t n = PyObject_Length(seq);
        if (n < 0) ffi_err();
        return Ref::check(PyLong_FromSsize_t(n));
    }
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) ffi_err();
    PyErr_Clear();
    Ref it = get_iter(seq);
    std::uint64_t n = 0;
    while (next_item(it.get())) ++n;
    return py_uint(n);
}

}  // namespace quorin
