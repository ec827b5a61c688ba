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

#include "py_hash.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorin {

class PySeen {
public:
    PySeen();
    PySeen(PySeen&&) noexcept = default;
    PySeen& operator=(PySeen&&) noexcept = default;
    PySeen(const PySeen&) = delete;
    PySeen& operator=(const PySeen&) = delete;

    bool insert(PyObject* obj);

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
    std::unique_ptr<Slot[]> slots_;
    std::uint64_t capacity_;
    std::uint64_t mask_;
    std::uint64_t used_ = 0;
    bool fast_int_;
};

}  // namespace quorin
