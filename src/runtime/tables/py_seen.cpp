#include "runtime/tables/py_seen.hpp"

#include <utility>

namespace quorin {

namespace {
constexpr std::uint64_t kInitialSlots = 32;
constexpr unsigned kPerturbShift = 5;
}  // namespace

PySeen::PySeen()
    : slots_(new Slot[kInitialSlots]()),
      capacity_(kInitialSlots),
      mask_(kInitialSlots - 1),
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
    std::unique_ptr<Slot[]> bigger(new Slot[old_capacity * 4]());
    std::unique_ptr<Slot[]> old = std::exchange(slots_, std::move(bigger));
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
