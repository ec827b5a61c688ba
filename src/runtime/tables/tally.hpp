// KeyTally: counting (TallyCount) or grouping (TallyGroup) elements by key
// into a dict that lists the keys in order of first appearance, on top of
// PyKeyIndex.
#pragma once

#include "runtime/tables/key_index.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace quorin {

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
            for (std::size_t i = keys_at_check_; plain_ && i < entries.size(); ++i)
                plain_ = plain_key(entries[i].key.get());
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
