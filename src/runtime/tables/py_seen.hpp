// PySeen: a set of Python objects with dictionary equality (hash, identity,
// ==), probed exactly like the interpreter's own dict. The unique iterator
// keeps one; no Python set is involved.
//
//   PySeen seen;                    // 32 empty slots, fast_int from int_fast_hash_enabled()
//   bool added = seen.insert(obj);  // true: new member (a strong reference is kept);
//                                   // false: an equal member exists (nothing kept)
//
// insert() throws PyErrorSet when hashing or comparing raises; the set is
// then exactly as before the call. The set is never reachable from Python,
// so the only way to re-enter it during a user __eq__ is through its owner,
// which must refuse re-entry (GilRefCell does).
#pragma once

#include "runtime/core/prefetch.hpp"
#include "runtime/tables/py_hash.hpp"
#include "runtime/tables/table_memory.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorin {

// The Python hash of `o` when it is at hand without a call (the shortcuts of
// py_hash: an exact str's cached hash, a one-digit int's value when
// `fast_int`); false otherwise. For hints such as prefetching.
inline bool hash_at_hand(PyObject* o, bool fast_int, Py_hash_t* out) noexcept {
    long long v;
    if (PyUnicode_CheckExact(o)) {
        *out = compat::str_cached_hash(o);
        return *out != -1;
    }
    if (!fast_int || !compat::compact_int_value(o, &v)) return false;
    *out = small_int_hash(v);
    return true;
}

class PySeen {
public:
    // `expected`: how many members are likely (0 when unknown); room for
    // them is made up front, so that the table is not rebuilt on the way.
    explicit PySeen(std::size_t expected = 0);
    PySeen(PySeen&&) noexcept = default;
    PySeen& operator=(PySeen&&) noexcept = default;
    PySeen(const PySeen&) = delete;
    PySeen& operator=(const PySeen&) = delete;

    bool insert(PyObject* obj);

    // Announces the slot that inserting `obj` looks at first, when its hash
    // is at hand (hash_at_hand); only a hint, nothing changes.
    void prefetch(PyObject* obj) const noexcept {
        Py_hash_t h;
        if (hash_at_hand(obj, fast_int_, &h)) quorin::prefetch(&slots_[static_cast<std::uint64_t>(h) & mask_]);
    }

    std::uint64_t size() const noexcept { return used_; }
    std::uint64_t capacity() const noexcept { return capacity_; }
    // The members, in insertion order (borrowed through the set's references).
    const std::vector<Ref>& objects() const noexcept { return objects_; }

private:
    struct Slot {
        Py_hash_t hash;
        // The member (borrowing the reference in objects_), null when empty;
        // the low bit set marks an exact one-digit int other than -1, whose
        // hash is its value: two such members with equal hashes are equal,
        // without reading either object.
        std::uintptr_t entry;
        PyObject* object() const noexcept { return reinterpret_cast<PyObject*>(entry & ~std::uintptr_t{1}); }
    };

    // The first empty slot on h's probe sequence (no comparisons).
    std::uint64_t empty_slot_for(Py_hash_t h) const noexcept;
    void grow();

    std::vector<Ref> objects_;
    // Zeroed (empty) slots from the table memory: a large table comes as
    // fresh or recycled pages instead of being cleared slot by slot.
    TableArray<Slot> slots_;
    std::uint64_t capacity_;
    std::uint64_t mask_;
    std::uint64_t used_ = 0;
    bool fast_int_;
};

}  // namespace quorin
