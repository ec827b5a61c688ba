// Fixed-size chunks of a sequence, as tuples. Exact lists and tuples are
// copied into each chunk straight from their item arrays; anything else is
// pulled through its iterator into a buffer that the iterator keeps.
#include "partitioning.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/classes/native_iter.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorin {

namespace {

// What to do with the items left over when the source ends mid-chunk.
enum class Tail { Drop, Short, Pad };

// A tuple of `size` slots whose first `filled` are set; the rest get `pad`.
Ref padded(Ref chunk, Py_ssize_t filled, Py_ssize_t size, PyObject* pad) {
    for (Py_ssize_t i = filled; i < size; ++i) PyTuple_SET_ITEM(chunk.get(), i, Py_NewRef(pad));
    return chunk;
}

// The source of the chunks. An exact list is re-measured at every chunk
// and, as its own iterator does, let go once its end has been seen, so items
// appended after that are not read; an exact tuple is read by index; any
// other input through the iterator obtained at the call.
class ChunkSource {
public:
    explicit ChunkSource(PyObject* seq) {
        if (PyList_CheckExact(seq)) {
            kind_ = Kind::List;
            seq_ = Ref::borrow(seq);
        } else if (PyTuple_CheckExact(seq)) {
            kind_ = Kind::Tuple;
            seq_ = Ref::borrow(seq);
        } else {
            kind_ = Kind::Iterator;
            seq_ = get_iter(seq);
            nests_ = may_nest(seq_.get());
            const PyTypeObject* t = Py_TYPE(seq_.get());
            quiet_ = t == &PyListIter_Type || t == &PyTupleIter_Type || t == &PySetIter_Type ||
                     t == &PyDictIterKey_Type || t == &PyDictIterValue_Type;
        }
    }

    Ref chunk(std::uint64_t n, Tail tail, PyObject* pad) {
        if (kind_ == Kind::Iterator) return pull(n, tail, pad);
        return copy(n, tail, pad);
    }

    void traverse(Visit& v) const noexcept { v(seq_)(buffer_); }

private:
    enum class Kind { List, Tuple, Iterator };

    // Nothing runs between reading the length and holding the items, so
    // that length holds for the whole chunk.
    Ref copy(std::uint64_t n, Tail tail, PyObject* pad) {
        if (!seq_) return {};
        PyObject* seq = seq_.get();
        const bool list = kind_ == Kind::List;
        const Py_ssize_t size = list ? PyList_GET_SIZE(seq) : PyTuple_GET_SIZE(seq);
        const auto avail = static_cast<std::uint64_t>(std::max<Py_ssize_t>(size - pos_, 0));
        const auto take = static_cast<Py_ssize_t>(std::min(n, avail));
        PyObject* const* items =
            take == 0 ? nullptr : (list ? PySequence_Fast_ITEMS(seq) : &PyTuple_GET_ITEM(seq, 0)) + pos_;
        if (static_cast<std::uint64_t>(take) < n) {
            // The end is seen: what follows is final, whatever the list does.
            Ref held = std::move(seq_);
            pos_ += take;
            if (take == 0 || tail == Tail::Drop) return {};
            if (tail == Tail::Short) return filled(items, take, take, list);
            return padded(filled(items, take, static_cast<Py_ssize_t>(n), list), take, static_cast<Py_ssize_t>(n), pad);
        }
        pos_ += take;
        return filled(items, take, take, list);
    }

    // A tuple of `size` slots, the first `take` copied from `items`. The
    // allocation may run the collector, and a finalizer may empty a list:
    // a list's items are held first. A tuple's own reference holds its items.
    Ref filled(PyObject* const* items, Py_ssize_t take, Py_ssize_t size, bool list) {
        if (!list) {
            Ref chunk = Ref::check(PyTuple_New(size));
            PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
            for (Py_ssize_t i = 0; i < take; ++i) out[i] = Py_NewRef(items[i]);
            return chunk;
        }
        struct Emptied {
            std::vector<Ref>& buffer;
            ~Emptied() { buffer.clear(); }
        } emptied{buffer_};
        buffer_.reserve(static_cast<std::size_t>(take));
        for (Py_ssize_t i = 0; i < take; ++i) buffer_.push_back(Ref::borrow(items[i]));
        return from_buffer(size);
    }

    // A tuple of `size` slots, the first ones taken from the buffer.
    Ref from_buffer(Py_ssize_t size) {
        Ref chunk = Ref::check(PyTuple_New(size));
        PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
        for (std::size_t i = 0; i < buffer_.size(); ++i) out[i] = buffer_[i].release();
        return chunk;
    }

    // Chunks up to this size are pulled straight into their tuple; a larger
    // size is a bound the source may never reach, so its items are gathered
    // in the buffer first and the tuple is made at the size actually read.
    static constexpr std::uint64_t kDirect = 4096;

    Ref pull(std::uint64_t n, Tail tail, PyObject* pad) {
        if (n > kDirect) return pull_buffered(n, tail, pad);
        const auto size = static_cast<Py_ssize_t>(n);
        Ref chunk = Ref::check(PyTuple_New(size));
        // Out of the collector's sight while slots are empty, unless the
        // source neither runs code nor allocates between items.
        if (!quiet_) PyObject_GC_UnTrack(chunk.get());
        PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
        Py_ssize_t got = 0;
        {
            PyObject* it = seq_.get();
            StepGuard guard(nests_);
            while (got < size) {
                Ref item = next_item(it);
                if (!item) break;
                out[got++] = item.release();
            }
        }
        if (got < size) {
            if (got == 0 || tail == Tail::Drop) return {};
            if (tail == Tail::Short) {
                Ref shorter = Ref::check(PyTuple_New(got));
                PyObject** to = &PyTuple_GET_ITEM(shorter.get(), 0);
                for (Py_ssize_t i = 0; i < got; ++i) to[i] = std::exchange(out[i], nullptr);
                return shorter;
            }
            chunk = padded(std::move(chunk), got, size, pad);
        }
        if (!quiet_) PyObject_GC_Track(chunk.get());
        return chunk;
    }

    // The iterator may run user code between items, so they are collected
    // in the buffer first and the tuple is made whole in one step.
    Ref pull_buffered(std::uint64_t n, Tail tail, PyObject* pad) {
        struct Emptied {
            std::vector<Ref>& buffer;
            ~Emptied() { buffer.clear(); }
        } emptied{buffer_};
        if (buffer_.capacity() == 0) buffer_.reserve(static_cast<std::size_t>(kDirect));
        PyObject* it = seq_.get();
        StepGuard guard(nests_);
        while (buffer_.size() < n) {
            Ref item = next_item(it);
            if (!item) break;
            buffer_.push_back(std::move(item));
        }
        const auto got = static_cast<Py_ssize_t>(buffer_.size());
        Py_ssize_t size = got;
        if (static_cast<std::uint64_t>(got) < n) {
            if (got == 0 || tail == Tail::Drop) return {};
            if (tail == Tail::Pad) size = static_cast<Py_ssize_t>(n);
        }
        return padded(from_buffer(size), got, size, pad);
    }

    Kind kind_;
    Ref seq_;
    Py_ssize_t pos_ = 0;
    bool nests_ = false;
    bool quiet_ = false;
    // Empty between steps; reused so that a chunk costs no allocation of
    // its own beyond the tuple.
    std::vector<Ref> buffer_;
};

struct ChunkStep {
    ChunkSource source;
    std::uint64_t n;
    Tail tail;
    Ref pad;

    Ref next() {
        if (n == 0) return {};
        return source.chunk(n, tail, pad.get());
    }
    void traverse(Visit& v) const noexcept { v(source)(pad); }
};

}  // namespace

Ref partition_all(std::size_t n, PyObject* seq) {
    return native_iter(ChunkStep{ChunkSource(seq), n, Tail::Short, Ref()});
}

namespace fn {

QUORIN_FUNCTION(partition, "partition(n, seq, *rest)") {
    const std::int64_t n = a.i64(0);
    if (a.rest_size() > 1) raise(PyExc_TypeError, "partition takes at most 3 arguments");
    if (n <= 0) return empty_iter();
    const bool padding = a.rest_size() == 1;
    return native_iter(ChunkStep{ChunkSource(a[1]), static_cast<std::uint64_t>(n), padding ? Tail::Pad : Tail::Drop,
                                 padding ? Ref::borrow(a.rest()[0]) : Ref()});
}

QUORIN_FUNCTION(partition_all, "partition_all(n, seq)") {
    const std::int64_t n = a.i64(0);
    if (n <= 0) return empty_iter();
    return quorin::partition_all(static_cast<std::size_t>(n), a[1]);
}

}  // namespace fn
}  // namespace quorin
