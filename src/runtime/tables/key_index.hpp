// PyKeyIndex: the key index of the counting and grouping functions. It maps
// each distinct key (dictionary equality: hash, identity, ==) to a position
// in an ordered entry list, so results can list keys in order of first
// appearance and keep the first key object seen. No Python dict is used.
//
//   PyKeyIndex<std::uint64_t> index;          // fast_int from int_fast_hash_enabled()
//   std::size_t i = index.position(key);      // borrowed key; appends {key, Payload{}}
//   index.payload(i) += 1;                    //   when no equal key exists yet
//   ...
//   std::vector<PyKeyIndex<std::uint64_t>::Entry> out = std::move(index).take_entries();
//
// Payload is whatever the caller keeps per key (a count; groupby keeps the
// list of the group's items); it must be default-constructible (the
// value for a new key) and nothrow-movable. Entries own a strong reference to their key
// (Entry::key) and own their payload; the hash chains only borrow the keys.
// position() throws PyErrorSet when hashing or comparing raises, and the
// index is then exactly as before the call. take_entries() hands the
// entries over (in first-appearance order) and leaves the index empty.
//
// The index is never reachable from Python, so a user __eq__ running inside
// position() cannot reach it; nevertheless nothing inside position() holds a
// pointer into the index's own arrays across a comparison, only positions,
// and the arrays change only after the last comparison.
#pragma once

#include "runtime/core/iteration.hpp"
#include "runtime/tables/py_hash.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace quorin {

// One key of a chain: a borrowed pointer to the key object held by the
// entry, and that entry's position.
struct ChainMember {
    PyObject* object;
    std::uint32_t index;
};

// The keys sharing one Python hash. One(object, index) is the common case
// and needs no allocation; Many(list) refers to a member list kept by the
// index (`list` is its position there), in order of first appearance.
struct Chain {
    enum class Kind : std::uint32_t { One, Many };
    Kind kind;
    std::uint32_t index;  // One: the entry position; Many: the member list's position
    PyObject* object;     // One: the key (borrowed); Many: unused
};

// Open-addressing map from Python hash to Chain, laid out compactly: the
// (hash, Chain) records sit densely in insertion order and the probe table
// holds only 32-bit record numbers (0 free, else number + 1), so the part
// that is probed stays small and cache-resident. Probed as the interpreter's
// dict probes: from the hash's low bits, then perturbed by its high bits.
// Keys that are runs of ints thus sit side by side in the table and are met
// in memory order when they come in order, while keys sharing their low bits
// still part quickly. Table load at most one half, doubling.
class ChainMap {
public:
    static constexpr std::size_t kAbsent = std::numeric_limits<std::size_t>::max();

    // The record holding `h`, or kAbsent.
    std::size_t find(Py_hash_t h) const noexcept {
        if (capacity_ == 0) return kAbsent;
        auto perturb = static_cast<std::size_t>(h);
        for (std::size_t i = perturb & mask_;; i = next(i, perturb)) {
            const std::uint32_t slot = slots_[i];
            if (slot == 0) return kAbsent;
            if (records_[slot - 1].hash == h) return slot - 1;
        }
    }

    Chain& at(std::size_t record) noexcept { return records_[record].chain; }

    // Adds `h` (which must be absent). A failed allocation leaves the map
    // as it was.
    void insert(Py_hash_t h, const Chain& chain) {
        records_.push_back(Record{h, chain});
        if (2 * records_.size() > capacity_) {
            try {
                grow();
            } catch (...) {
                records_.pop_back();
                throw;
            }
        } else {
            place(records_.size() - 1);
        }
    }

    std::size_t size() const noexcept { return records_.size(); }

    void clear() noexcept {
        records_.clear();
        slots_.reset();
        capacity_ = mask_ = 0;
    }

private:
    struct Record {
        Py_hash_t hash;
        Chain chain;
    };

    static constexpr unsigned kPerturbShift = 5;

    // The slot after `i` on the probe sequence; `perturb` starts as the hash.
    std::size_t next(std::size_t i, std::size_t& perturb) const noexcept {
        perturb >>= kPerturbShift;
        return (5 * i + perturb + 1) & mask_;
    }

    void place(std::size_t record) noexcept {
        auto perturb = static_cast<std::size_t>(records_[record].hash);
        std::size_t i = perturb & mask_;
        while (slots_[i] != 0) i = next(i, perturb);
        slots_[i] = static_cast<std::uint32_t>(record + 1);
    }

    // Rebuilds the table at the next size that keeps the load at most one
    // half, placing every record (the new one included).
    void grow() {
        std::size_t new_capacity = capacity_ == 0 ? 16 : capacity_;
        while (2 * records_.size() > new_capacity) new_capacity *= 2;
        slots_.reset(new std::uint32_t[new_capacity]());
        capacity_ = new_capacity;
        mask_ = new_capacity - 1;
        for (std::size_t r = 0; r < records_.size(); ++r) place(r);
    }

    std::vector<Record> records_;
    std::unique_ptr<std::uint32_t[]> slots_;
    std::size_t capacity_ = 0, mask_ = 0;
};

template <class Payload>
class PyKeyIndex {
public:
    struct Entry {
        Ref key;  // the first object seen with this key
        Payload payload;
    };

    // Entry positions (and the chain map's record numbers, which count from
    // one) are 32 bits wide.
    static constexpr std::size_t kMaxKeys = (std::size_t{1} << 32) - 1;

    PyKeyIndex() : fast_int_(int_fast_hash_enabled()) {}
    PyKeyIndex(PyKeyIndex&&) noexcept = default;
    PyKeyIndex& operator=(PyKeyIndex&&) noexcept = default;
    PyKeyIndex(const PyKeyIndex&) = delete;
    PyKeyIndex& operator=(const PyKeyIndex&) = delete;

    // The entry position of `key` (borrowed), appending a new entry (with a
    // reference of its own to the key) when no equal key is indexed yet.
    std::size_t position(PyObject* key) {
        const Py_hash_t h = py_hash(key, fast_int_);
        const std::size_t record = chains_.find(h);  // stable until the next insert
        if (record == ChainMap::kAbsent) {
            const std::uint32_t fresh = append(key);
            try {
                chains_.insert(h, Chain{Chain::Kind::One, fresh, key});
            } catch (...) {
                entries_.pop_back();
                throw;
            }
            return fresh;
        }
        // Comparisons run user code: read the chain anew by position after
        // each one and change nothing until the last one is done.
        if (chains_.at(record).kind == Chain::Kind::One) {
            const Chain one = chains_.at(record);
            if (py_same_key(one.object, key)) return one.index;
            const std::uint32_t fresh = append(key);
            try {
                many_.push_back({ChainMember{one.object, one.index}, ChainMember{key, fresh}});
            } catch (...) {
                entries_.pop_back();
                throw;
            }
            chains_.at(record) = Chain{Chain::Kind::Many, static_cast<std::uint32_t>(many_.size() - 1), nullptr};
            return fresh;
        }
        const std::uint32_t list = chains_.at(record).index;
        for (std::size_t j = 0; j < many_[list].size(); ++j) {
            const ChainMember member = many_[list][j];
            if (py_same_key(member.object, key)) return member.index;
        }
        const std::uint32_t fresh = append(key);
        try {
            many_[list].push_back(ChainMember{key, fresh});
        } catch (...) {
            entries_.pop_back();
            throw;
        }
        return fresh;
    }

    Payload& payload(std::size_t i) noexcept { return entries_[i].payload; }
    std::size_t size() const noexcept { return entries_.size(); }
    const std::vector<Entry>& entries() const noexcept { return entries_; }

    // Moves the entries out, in first-appearance order; the index is left
    // empty (its chains would otherwise borrow keys it no longer holds).
    std::vector<Entry> take_entries() && noexcept {
        chains_.clear();
        many_.clear();
        return std::exchange(entries_, {});
    }

private:
    // Appends the entry for a new key; the only place entries_ grows.
    std::uint32_t append(PyObject* key) {
        if (entries_.size() >= kMaxKeys) raise(PyExc_OverflowError, "too many distinct keys");
        const auto fresh = static_cast<std::uint32_t>(entries_.size());
        entries_.push_back(Entry{Ref::borrow(key), Payload{}});
        return fresh;
    }

    // Declared first so it is destroyed last: the chains borrow its keys.
    std::vector<Entry> entries_;
    ChainMap chains_;
    std::vector<std::vector<ChainMember>> many_;
    bool fast_int_;
};

}  // namespace quorin
