// Fixed-size chunks of a sequence, as tuples. Exact lists and tuples are
// copied into each chunk straight from their item arrays; anything else is
// pulled through its iterator. Which of the two a result does is settled
// when it is made, so each step runs only its own loop.
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

// How the chunks are cut.
struct Cut {
    std::uint64_t n;
    Tail tail;
    Ref pad;

    void traverse(Visit& v) const noexcept { v(pad); }
};

// A tuple of `size` slots whose first `filled` are set; the rest get `pad`.
Ref padded(Ref chunk, Py_ssize_t filled, Py_ssize_t size, PyObject* pad) {
    for (Py_ssize_t i = filled; i < size; ++i) PyTuple_SET_ITEM(chunk.get(), i, Py_NewRef(pad));
    return chunk;
}

// Items held while their tuple is made. The buffer is emptied however the
// step ends and reused, so a chunk costs no allocation of its own beyond
// the tuple.
struct Held {
    std::vector<Ref>& items;

    ~Held() { items.clear(); }

    // A tuple of `size` slots, the first ones taken from the held items,
    // the rest set to `pad`.
    Ref tuple(Py_ssize_t size, PyObject* pad) {
        Ref chunk = Ref::check(PyTuple_New(size));
        PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
        for (std::size_t i = 0; i < items.size(); ++i) out[i] = items[i].release();
        return padded(std::move(chunk), static_cast<Py_ssize_t>(items.size()), size, pad);
    }
};

// The size of the last, incomplete chunk of `got` items, or 0 when it is
// dropped.
Py_ssize_t last_size(const Cut& cut, Py_ssize_t got) noexcept {
    if (got == 0 || cut.tail == Tail::Drop) return 0;
    return cut.tail == Tail::Pad ? static_cast<Py_ssize_t>(cut.n) : got;
}

// An exact list or tuple, read by index. A list is measured again at every
// chunk and, as its own iterator does, let go once its end has been seen,
// so items appended after that are not read.
struct SeqChunks {
    Cut cut;
    Ref seq;  // empty once the end has been seen
    Py_ssize_t pos = 0;
    std::vector<Ref> buffer{};  // empty between steps

    // A whole chunk goes straight from the item array into its tuple, made
    // first: the allocation may run the collector, and a finalizer may
    // shorten a list, so the length is read again once the tuple exists,
    // and nothing runs between that read and holding the items.
    Ref next() {
        const std::uint64_t n = cut.n;
        if (!seq || n == 0) return {};
        if (available() < n) return last();
        Ref chunk = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(n)));
        if (available() < n) [[unlikely]]
            return last();
        PyObject* const* items = PySequence_Fast_ITEMS(seq.get()) + pos;
        PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
        for (std::uint64_t i = 0; i < n; ++i) out[i] = Py_NewRef(items[i]);
        pos += static_cast<Py_ssize_t>(n);
        return chunk;
    }

    std::uint64_t available() const noexcept {
        const Py_ssize_t size = Py_SIZE(seq.get());
        return size > pos ? static_cast<std::uint64_t>(size - pos) : 0;
    }

    // The end is seen: what follows is final, whatever the list does. The
    // items of the last chunk are held before its tuple is made.
    [[gnu::noinline]] Ref last() {
        const auto got = static_cast<Py_ssize_t>(std::min(cut.n, available()));
        Ref held = std::move(seq);
        const Py_ssize_t size = last_size(cut, got);
        if (size == 0) return {};
        PyObject* const* items = PySequence_Fast_ITEMS(held.get()) + pos;
        Held chunk{buffer};
        chunk.items.reserve(static_cast<std::size_t>(got));
        for (Py_ssize_t i = 0; i < got; ++i) chunk.items.push_back(Ref::borrow(items[i]));
        return chunk.tuple(size, cut.pad.get());
    }

    void traverse(Visit& v) const noexcept { v(cut)(seq)(buffer); }
};

// Any other input, through the iterator obtained at the call.
struct IterChunks {
    Cut cut;
    Ref it;
    bool nests = may_nest(it.get());
    // The source neither runs code nor allocates between items, so a tuple
    // with empty slots may stay in the collector's sight while it fills.
    bool quiet = [t = Py_TYPE(it.get())] {
        return t == &PyListIter_Type || t == &PyTupleIter_Type || t == &PySetIter_Type || t == &PyDictIterKey_Type ||
               t == &PyDictIterValue_Type;
    }();
    std::vector<Ref> buffer{};  // empty between steps

    // Chunks up to this size are pulled straight into their tuple; a larger
    // size is a bound the source may never reach, so its items are gathered
    // in the buffer first and the tuple is made at the size actually read.
    static constexpr std::uint64_t kDirect = 4096;

    Ref next() {
        const std::uint64_t n = cut.n;
        if (n - 1 >= kDirect) [[unlikely]]  // n == 0 wraps round
            return n == 0 ? Ref() : pull_buffered();
        const auto size = static_cast<Py_ssize_t>(n);
        Ref chunk = Ref::check(PyTuple_New(size));
        if (!quiet) PyObject_GC_UnTrack(chunk.get());
        PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
        Py_ssize_t got = 0;
        {
            PyObject* src = it.get();
            StepGuard guard(nests);
            while (got < size) {
                Ref item = next_item(src);
                if (!item) break;
                out[got++] = item.release();
            }
        }
        if (got < size) [[unlikely]]
            return pulled_last(std::move(chunk), got);
        if (!quiet) PyObject_GC_Track(chunk.get());
        return chunk;
    }

    // The source ended after `got` items of `chunk`.
    [[gnu::noinline]] Ref pulled_last(Ref chunk, Py_ssize_t got) {
        const Py_ssize_t size = last_size(cut, got);
        if (size == 0) return {};
        PyObject** out = &PyTuple_GET_ITEM(chunk.get(), 0);
        if (size < PyTuple_GET_SIZE(chunk.get())) {
            Ref shorter = Ref::check(PyTuple_New(size));
            PyObject** to = &PyTuple_GET_ITEM(shorter.get(), 0);
            for (Py_ssize_t i = 0; i < got; ++i) to[i] = std::exchange(out[i], nullptr);
            return shorter;
        }
        chunk = padded(std::move(chunk), got, size, cut.pad.get());
        if (!quiet) PyObject_GC_Track(chunk.get());
        return chunk;
    }

    // The iterator may run user code between items, so they are collected
    // in the buffer first and the tuple is made whole in one step.
    [[gnu::noinline]] Ref pull_buffered() {
        Held chunk{buffer};
        if (buffer.capacity() == 0) buffer.reserve(static_cast<std::size_t>(kDirect));
        PyObject* src = it.get();
        StepGuard guard(nests);
        while (buffer.size() < cut.n) {
            Ref item = next_item(src);
            if (!item) break;
            buffer.push_back(std::move(item));
        }
        const auto got = static_cast<Py_ssize_t>(buffer.size());
        const Py_ssize_t size = static_cast<std::uint64_t>(got) < cut.n ? last_size(cut, got) : got;
        if (size == 0) return {};
        return chunk.tuple(size, cut.pad.get());
    }

    void traverse(Visit& v) const noexcept { v(cut)(it)(buffer); }
};

// The chunks of `seq`; with n == 0 there are none, but `seq` must still be
// iterable.
Ref chunks(PyObject* seq, Cut cut) {
    if (PyList_CheckExact(seq) || PyTuple_CheckExact(seq))
        return native_iter(SeqChunks{std::move(cut), Ref::borrow(seq)});
    return native_iter(IterChunks{std::move(cut), get_iter(seq)});
}

}  // namespace

Ref partition_all(std::size_t n, PyObject* seq) { return chunks(seq, Cut{n, Tail::Short, Ref()}); }

namespace fn {

QUORIN_FUNCTION(partition, "partition(n, seq, *rest)") {
    const std::int64_t n = a.i64(0);
    if (a.rest_size() > 1) raise(PyExc_TypeError, "partition takes at most 3 arguments");
    if (n <= 0) return empty_iter();
    const bool padding = a.rest_size() == 1;
    return chunks(a[1], Cut{static_cast<std::uint64_t>(n), padding ? Tail::Pad : Tail::Drop,
                            padding ? Ref::borrow(a.rest()[0]) : Ref()});
}

QUORIN_FUNCTION(partition_all, "partition_all(n, seq)") {
    const std::int64_t n = a.i64(0);
    if (n <= 0) return empty_iter();
    return quorin::partition_all(static_cast<std::size_t>(n), a[1]);
}

}  // namespace fn
}  // namespace quorin
