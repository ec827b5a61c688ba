#include "runtime/tables/py_seen.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace quorin {

namespace {
constexpr std::uint64_t kInitialSlots = 32;
// Room made up front at most for this many members: a long list whose
// first elements repeat should not pay for a table it never fills.
constexpr std::uint64_t kMostPresized = std::uint64_t{1} << 20;
constexpr unsigned kPerturbShift = 5;

// Slots enough for `members` below the two-thirds load that insert keeps.
std::uint64_t slots_for(std::uint64_t members) noexcept {
    return std::max(kInitialSlots, std::bit_ceil(std::min(members, kMostPresized) * 3 / 2 + 1));
}
}  // namespace

PySeen::PySeen(std::size_t expected)
    : slots_(table_array<Slot>(slots_for(expected))),
      capacity_(slots_.get_deleter().count),
      mask_(capacity_ - 1),
      fast_int_(int_fast_hash_enabled()) {}

std::uint64_t PySeen::empty_slot_for(Py_hash_t h) const noexcept {
    std::uint64_t perturb = static_cast<std::uint64_t>(h);
    std::uint64_t i = perturb & mask_;
    while (slots_[i].entry != 0) {
        perturb >>= kPerturbShift;
        i = (5 * i + perturb + 1) & mask_;
    }
    return i;
}

void PySeen::grow() {
    const std::uint64_t old_capacity = capacity_;
    TableArray<Slot> old = std::exchange(slots_, table_array<Slot>(old_capacity * 4));
    capacity_ = old_capacity * 4;
    mask_ = capacity_ - 1;
    for (std::uint64_t j = 0; j < old_capacity; ++j)
        if (old[j].entry != 0) slots_[empty_slot_for(old[j].hash)] = old[j];
}

bool PySeen::insert(PyObject* obj) {
    long long v;
    const bool small = fast_int_ && compat::compact_int_value(obj, &v) && v != -1;
    const Py_hash_t h = small ? small_int_hash(v) : py_hash(obj, fast_int_);
    std::uint64_t perturb = static_cast<std::uint64_t>(h);
    std::uint64_t i = perturb & mask_;
    // Slots are re-read by index after every comparison rather than held by
    // pointer: nothing can change them meanwhile, but nothing has to be
    // assumed either.
    while (const std::uintptr_t entry = slots_[i].entry) {
        if (slots_[i].hash == h && ((small && (entry & 1)) || py_same_key(slots_[i].object(), obj))) return false;
        perturb >>= kPerturbShift;
        i = (5 * i + perturb + 1) & mask_;
    }
    // Take the reference first; should growing fail, drop it again so the
    // set is as it was.
    objects_.push_back(Ref::borrow(obj));
    if (3 * (used_ + 1) > 2 * capacity_) {
        try {
            grow();
        } catch (...) {
            objects_.pop_back();
            throw;
        }
        i = empty_slot_for(h);
    }
    slots_[i] = Slot{h, reinterpret_cast<std::uintptr_t>(obj) | std::uintptr_t{small}};
    ++used_;
    return true;
}

}  // namespace quorin
