// PySource: how the dedicated iterators read their input one element at a
// time. An exact list is indexed directly (its length re-read at every step,
// so appends are seen and truncation ends early) and never gets an iterator
// object; everything else goes through the iterator protocol.
//
//   PySource src = PySource::from(seq);   // not iterable: throws now
//   while (Ref x = src.next()) ...        // empty Ref: exhausted
//   StepGuard g(src.nests());             // a step reading several:
//   while (Ref x = src.next_in_step()) ...
//   Py_ssize_t r = src.length_hint();     // elements still to come, >= 0
#pragma once

#include "runtime/core/prefetch.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/classes/py_class.hpp"

#include <cstddef>

namespace quorin {

class PySource {
public:
    static PySource from(PyObject* obj);

    // The next element, or an empty Ref when exhausted. Throws when the
    // underlying iterator raises.
    Ref next() {
        if (!list_) {
            StepGuard guard(nests_);
            return next_item(obj_.get());
        }
        return next_in_step();
    }

    // next() for a step that reads several elements under one
    // `StepGuard guard(src.nests())` of its own: the step is one level of
    // nesting however many elements it passes over.
    Ref next_in_step() {
        if (!list_) return next_item(obj_.get());
        if (done_) return {};
        PyObject* list = obj_.get();
        if (pos_ >= static_cast<std::size_t>(PyList_GET_SIZE(list))) {
            // The end is final: later appends are not read.
            done_ = true;
            return {};
        }
        // Elements are scattered objects: ask for one a few steps ahead
        // now, so that its reference count is in cache when it is taken.
        if (pos_ + kAhead < static_cast<std::size_t>(PyList_GET_SIZE(list)))
            prefetch_for_write(PyList_GET_ITEM(list, static_cast<Py_ssize_t>(pos_ + kAhead)));
        return Ref::borrow(PyList_GET_ITEM(list, static_cast<Py_ssize_t>(pos_++)));
    }

    // The list element `k` places after the next one (borrowed), or null
    // when there is none or the source is not a list; for prefetching.
    PyObject* peek_ahead(std::size_t k) const noexcept {
        if (!list_) return nullptr;
        PyObject* list = obj_.get();
        return pos_ + k < static_cast<std::size_t>(PyList_GET_SIZE(list))
                   ? PyList_GET_ITEM(list, static_cast<Py_ssize_t>(pos_ + k))
                   : nullptr;
    }

    static constexpr std::size_t kAhead = 8;

    // Elements still to come: exact for a list, the iterator's own hint
    // (default 0) otherwise. A hint that fails with TypeError counts as 0;
    // any other error (KeyboardInterrupt, MemoryError...) propagates.
    Py_ssize_t length_hint() const;

    bool is_list() const noexcept { return list_; }
    // Whether reading an element can run code that reads another iterator.
    bool nests() const noexcept { return nests_; }
    void traverse(Visit& v) const noexcept { v(obj_); }

private:
    PySource(Ref obj, bool list) noexcept : obj_(std::move(obj)), list_(list), nests_(!list && may_nest(obj_.get())) {}

    Ref obj_;  // the exact list, or the iterator
    std::size_t pos_ = 0;
    bool list_ = false;
    bool done_ = false;
    bool nests_ = false;
};

// Saturating arithmetic for length hints, which must never wrap.
inline Py_ssize_t hint_add(Py_ssize_t a, Py_ssize_t b) noexcept {
    return a > PY_SSIZE_T_MAX - b ? PY_SSIZE_T_MAX : a + b;
}
inline Py_ssize_t hint_twice(Py_ssize_t a) noexcept { return hint_add(a, a); }

}  // namespace quorin
