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

// The hasher of the chain map: its keys are Python hashes already, so it
// only spreads them (Fibonacci multiplication; the map uses the high bits).
struct PyHashHasher {
    static constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    constexpr std::uint64_t operator()(Py_hash_t h) const noexcept {
        return static_cast<std::uint64_t>(h) * kMultiplier;
    }
};

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
// that is probed at random stays small and cache-resident. Linear probing on
// the high bits of PyHashHasher, table load at most one half, doubling.
class ChainMap {
public:
    static constexpr std::size_t kAbsent = std::numeric_limits<std::size_t>::max();

    // The record holding `h`, or kAbsent.
    std::size_t find(Py_hash_t h) const noexcept {
        if (capacity_ == 0) return kAbsent;
        for (std::size_t i = home(h);; i = (i + 1) & mask_) {
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
        shift_ = 64;
    }

private:
    struct Record {
        Py_hash_t hash;
        Chain chain;
    };

    std::size_t home(Py_hash_t h) const noexcept {
        return static_cast<std::size_t>(PyHashHasher{}(h) >> shift_);
    }

    void place(std::size_t record) noexcept {
        std::size_t i = home(records_[record].hash);
        while (slots_[i] != 0) i = (i + 1) & mask_;
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
        shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(new_capacity));
        for (std::size_t r = 0; r < records_.size(); ++r) place(r);
    }

    std::vector<Record> records_;
    std::unique_ptr<std::uint32_t[]> slots_;
    std::size_t capacity_ = 0, mask_ = 0;
    unsigned shift_ = 64;
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

// The elements of a large list or tuple lie anywhere in memory: announcing
// the one a good way ahead of `i` lets its cache miss overlap the work on
// this one (hashing reads every element's header). For a tuple element,
// whose hashing and plain_key read its first items too, those are announced
// once its own header has had time to arrive.
inline void prefetch_ahead(PyObject* list_or_tuple, Py_ssize_t i) noexcept {
    constexpr Py_ssize_t far = 16, near = 8, items = 4;
    PyObject** elements = PySequence_Fast_ITEMS(list_or_tuple);
    const Py_ssize_t n = Py_SIZE(list_or_tuple);
    if (i + far < n) __builtin_prefetch(elements[i + far]);
    if (i + near < n && PyTuple_CheckExact(elements[i + near])) {
        PyObject* t = elements[i + near];
        for (Py_ssize_t j = 0, m = std::min(PyTuple_GET_SIZE(t), items); j < m; ++j)
            __builtin_prefetch(PyTuple_GET_ITEM(t, j));
    }
}

// How many elements an exact list or tuple holds now (0 for anything else):
// a first guess for sizing, never a bound.
inline std::size_t known_length(PyObject* seq) noexcept {
    return PyList_CheckExact(seq) || PyTuple_CheckExact(seq) ? static_cast<std::size_t>(Py_SIZE(seq)) : 0;
}

// Whether hashing `o` and comparing it with any other such key runs no user
// code and cannot be told apart from any other way of doing it: exact ints,
// bools, floats, strs and None, and exact tuples of them (nested a little).
// Bytes are left out: comparing them with a str can warn.
inline bool plain_key(PyObject* o, int depth = 0) noexcept {
    PyTypeObject* t = Py_TYPE(o);
    if (t == &PyLong_Type || t == &PyUnicode_Type || t == &PyFloat_Type || t == &PyBool_Type || o == Py_None)
        return true;
    if (t != &PyTuple_Type || depth == 3) return false;
    for (Py_ssize_t i = 0, n = PyTuple_GET_SIZE(o); i < n; ++i)
        if (!plain_key(PyTuple_GET_ITEM(o, i), depth + 1)) return false;
    return true;
}

// What a KeyTally keeps per key: in the key index (Native) and as the value
// of the result dict.
struct TallyCount {
    using Native = std::uint64_t;
    static void add(Native& n, PyObject*) noexcept { n += 1; }
    static std::size_t weight(const Native& n) noexcept { return static_cast<std::size_t>(n); }
    static Ref value(Native& n) { return py_uint(n); }
    static Native native(PyObject* count) {
        const unsigned long long n = PyLong_AsUnsignedLongLong(count);
        if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) ffi_err();
        return n;
    }
    // Counts `key` in the dict itself.
    void add_in(PyObject* dict, PyObject* key, PyObject*) {
        const Py_ssize_t before = PyDict_GET_SIZE(dict);
        PyObject* count = PyDict_SetDefault(dict, key, one_.get());  // borrowed from the dict
        if (count == nullptr) ffi_err();
        if (PyDict_GET_SIZE(dict) != before) return;
        Ref next = py_uint(native(count) + 1);
        check_int(PyDict_SetItem(dict, key, next.get()));
    }
    Ref one_ = py_uint(1);
};

struct TallyGroup {
    using Native = Ref;  // the group's list, made at its first item
    static void add(Native& group, PyObject* item) {
        if (!group) group = Ref::check(PyList_New(0));
        check_int(PyList_Append(group.get(), item));
    }
    static std::size_t weight(const Native& group) noexcept {
        return static_cast<std::size_t>(PyList_GET_SIZE(group.get()));
    }
    static Ref value(Native& group) { return std::move(group); }
    static Native native(PyObject* group) { return Ref::borrow(group); }
    void add_in(PyObject* dict, PyObject* key, PyObject* item) {
        if (!spare_) spare_ = Ref::check(PyList_New(0));
        const Py_ssize_t before = PyDict_GET_SIZE(dict);
        PyObject* group = PyDict_SetDefault(dict, key, spare_.get());  // borrowed from the dict
        if (group == nullptr) ffi_err();
        if (PyDict_GET_SIZE(dict) != before) spare_.reset();  // now the new key's group
        check_int(PyList_Append(group, item));
    }
    Ref spare_;
};

// Counting or grouping by key with the results of PyKeyIndex, cheaper when
// nearly every key is new. The key index does its work once per element and
// the result dict is built from it at the end, which for mostly distinct
// keys does the insertion work twice; so while every key is plain (see
// plain_key) and nearly every element brings a new key, the tally moves its
// entries into the result dict and goes on counting there, and moves back
// to the index when keys start to repeat. For plain keys the two stores
// cannot be told apart: no user code runs in either, both keep the first key
// object and the order of first appearance. The first key that is not plain
// brings the tally back to the index for good, so user __hash__ and __eq__
// see exactly the index's calls.
//
//   KeyTally<TallyCount> tally;
//   tally.add(key);               // groups: tally.add(key, item)
//   Ref dict = std::move(tally).finish();
template <class Policy>
class KeyTally {
public:
    using Native = typename Policy::Native;

    // `expected`: how many elements are coming, when known (0 otherwise).
    explicit KeyTally(std::size_t expected = 0) : expected_(expected) {}

    // Tallies `item` (borrowed; groups only) under `key` (borrowed). Kept
    // small enough to inline into the caller's loop: the index is the hot
    // path for repeated keys, and there it costs one comparison more.
    [[gnu::always_inline]] void add(PyObject* key, PyObject* item = nullptr) {
        if (!dict_) [[likely]] {
            const std::size_t pos = index_.position(key);
            Policy::add(index_.payload(pos), item);
            if (pos == next_fresh_) [[unlikely]]
                new_key();
        } else {
            add_in_dict(key, item);
        }
    }

    // Whether the keys are many (more than a few thousand): the elements
    // are then worth announcing ahead (prefetch_ahead); with few keys they
    // are mostly the same objects again and announcing them only costs.
    bool many_keys() const noexcept { return many_keys_; }

    // The result: each key (first object seen), in order of first
    // appearance, to its value.
    Ref finish() && {
        if (dict_) return std::move(dict_);
        return dict_from_index(index_.size());
    }

private:
    Ref dict_from_index(std::size_t room) {
        auto entries = std::move(index_).take_entries();
        Ref out = new_dict(room);
        for (auto& entry : entries) {
            Ref value = Policy::value(entry.payload);
            check_int(PyDict_SetItem(out.get(), entry.key.get(), value.get()));
        }
        return out;
    }

    // An empty dict with room for `n` keys, so that filling it does not
    // rebuild its table again and again.
    static Ref new_dict(std::size_t n) {
        return Ref::check(_PyDict_NewPresized(static_cast<Py_ssize_t>(std::min<std::size_t>(n, PY_SSIZE_T_MAX))));
    }

    // New keys (in the index) or elements (in the dict) between two looks
    // at how many elements brought a new key: at least kWindow, and as many
    // as there are keys, so that moving the entries between the stores
    // costs O(1) per element.
    static constexpr std::size_t kWindow = 8192;
    static constexpr std::size_t kManyKeys = 4096;

    [[gnu::noinline]] void new_key() {
        if (++next_fresh_ == next_check_) checkpoint();
    }

    [[gnu::noinline]] void add_in_dict(PyObject* key, PyObject* item) {
        if (plain_key(key)) {
            policy_.add_in(dict_.get(), key, item);
            if (++seen_ == next_check_) checkpoint();
            return;
        }
        to_index();
        plain_ = false;
        add(key, item);
    }

    // Only the keys stored matter for moving between the stores: a key that
    // is not plain but equal to a stored one leaves nothing behind (its
    // __hash__ and __eq__ ran in the index, as they would have anyway).
    void checkpoint() {
        const std::size_t keys = this->keys();
        const std::size_t seen = dict_ ? seen_ : elements_in_index();
        const std::size_t window = seen - seen_at_check_, fresh = keys - keys_at_check_;
        if (!dict_) {
            const auto& entries = index_.entries();
            for (std::size_t i = keys_at_check_; plain_ && i < entries.size(); ++i) plain_ = plain_key(entries[i].key.get());
            if (plain_ && 16 * fresh >= 15 * window) to_dict();
        } else if (4 * fresh < 3 * window) {
            to_index();
        }
        seen_at_check_ = seen_ = seen;
        keys_at_check_ = keys;
        many_keys_ = keys > kManyKeys;
        next_check_ = (dict_ ? seen : keys) + std::max(kWindow, keys);
    }

    std::size_t keys() const noexcept {
        return dict_ ? static_cast<std::size_t>(PyDict_GET_SIZE(dict_.get())) : index_.size();
    }

    // The elements tallied so far, all of them in the index's payloads.
    std::size_t elements_in_index() const {
        std::size_t n = 0;
        for (const auto& entry : index_.entries()) n += Policy::weight(entry.payload);
        return n;
    }

    // Nearly every element so far brought a new key: room is made for as
    // many keys as elements are expected.
    void to_dict() {
        dict_ = dict_from_index(std::max(index_.size(), expected_));
        index_ = PyKeyIndex<Native>{};
        next_fresh_ = kNever;
    }

    // Every key in the dict is plain: indexing them runs no user code, so
    // the dict cannot change while it is walked.
    void to_index() {
        PyKeyIndex<Native> index;
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(dict_.get(), &pos, &key, &value)) index.payload(index.position(key)) = Policy::native(value);
        index_ = std::move(index);
        dict_.reset();
        next_fresh_ = index_.size();
    }

    static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

    std::size_t expected_;
    PyKeyIndex<Native> index_;
    Ref dict_;  // set while the tally counts in the result dict
    Policy policy_;
    std::size_t next_fresh_ = 0;  // in the index: the position the next new key gets
    std::size_t seen_ = 0;        // in the dict: the elements tallied so far
    std::size_t next_check_ = kWindow, seen_at_check_ = 0, keys_at_check_ = 0;
    bool plain_ = true;  // every key stored up to the last check is plain
    bool many_keys_ = false;
};

}  // namespace quorin
