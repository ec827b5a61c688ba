// frequencies: native counting of integer buffers (in parallel chunks when
// large), the key tally for everything else. Both give the same dictionary.
#include "frequencies.hpp"

#include "runtime/core/prefetch.hpp"
#include "runtime/buffers/int_buffer.hpp"
#include "runtime/buffers/worker_pool.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/tables/fast_hash.hpp"
#include "runtime/tables/tally.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace quorin {

namespace {

// Values lo, lo + 1, ..., lo + width - 1, taken modulo 2^64 after widening
// (so that no choice of lo can overflow): offset() is below width exactly
// for them. A width of 0 holds nothing.
struct DenseWindow {
    std::uint64_t lo = 0;
    std::uint64_t width = 0;

    template <IntElement T>
    std::uint64_t offset(T v) const noexcept {
        return wide_bits(v) - lo;
    }
};

// Elements counted alone before deciding to share the rest: enough to tell a
// few hundred distinct values from many thousands, little enough that the
// other threads hardly wait for it.
inline constexpr std::size_t kCountProbe = std::size_t{1} << 15;

// The widest window counted by value: 128 KiB of counts, within the second
// level cache of a core, and as much for each chunk of a split call.
inline constexpr std::uint64_t kDenseWidth = std::uint64_t{1} << 14;

// A window for the values of `run` judged by its first `m` elements: their
// range, widened on both sides for values the rest may add, when the range
// is narrow (at most a quarter of kDenseWidth) and a dense array of it would
// not outweigh the elements themselves; else none.
template <IntElement T>
DenseWindow dense_window(const IntRun<T>& run, std::size_t m) {
    if (m == 0) return {};
    const auto [low, span] = value_span(run, m);
    if (span >= kDenseWidth / 4 || span >= 4 * m + 64) return {};
    const std::uint64_t width = std::min(kDenseWidth, std::bit_ceil(span + 1) * 2);
    return DenseWindow{low - (width - span - 1) / 2, width};
}

// The counting table of one buffer or chunk: an open-addressing map (linear
// probing) from each distinct value T to its position in the order of first
// occurrence, with the counts kept by position beside that order. Reading
// the result back is then a sequential walk, not a probe per distinct value,
// which matters when there are millions of them.
//
// The slot comes from the FxHasher product, folded and spread once more
// before its high bits are taken: the low bits of the product depend only on
// the value's low bits (strided values such as multiples of 2^20 would share
// one slot), and its high bits alone cluster dense ranges such as 0..999,
// because the multiplier lies close to a fraction with a small denominator.
// Counting into a small table is dominated by mispredicted probes, so small
// tables are kept at most one sixteenth full (measured: 1,000 values count
// about 12% faster than at one eighth, 50% slower at one quarter); large
// ones, which miss the caches anyway, at most half full.
//
// Values in a small window (see DenseWindow) skip the map: their counts sit
// in an array indexed by value, and a value joins the order when its count
// goes from 0 to 1. The order then still lists every value once, by first
// occurrence, whichever of the two holds its count.
template <IntElement T>
class Counts {
public:
    explicit Counts(DenseWindow window = {}) : window_(window), dense_(window.width) { allocate(64); }
    Counts(Counts&&) noexcept = default;
    Counts& operator=(Counts&&) noexcept = default;

    DenseWindow window() const noexcept { return window_; }

    // Distinct values, in order of first occurrence, and their counts (read
    // the counts only after settle()).
    std::size_t size() const noexcept { return order_.size(); }
    const std::vector<T>& order() const noexcept { return order_; }
    const std::vector<std::uint64_t>& counts() const noexcept { return counts_; }

    // Copies the counts kept by value beside the order.
    void settle() noexcept {
        if (dense_.empty()) return;
        for (std::size_t j = 0; j < order_.size(); ++j) {
            const std::uint64_t d = window_.offset(order_[j]);
            if (d < window_.width) counts_[j] = dense_[d];
        }
    }

    // Adds `c` (> 0) to the count of v, appending v to the order when new.
    void add(T v, std::uint64_t c) {
        if (const std::uint64_t d = window_.offset(v); d < window_.width) {
            if (dense_[d] == 0) append(v, 0);
            dense_[d] += c;
            return;
        }
        std::size_t i = home(v);
        for (;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.pos == 0) break;
            if (s.value == v) {
                counts_[static_cast<std::size_t>(s.pos - 1)] += c;
                return;
            }
        }
        if ((size() + 1) * (capacity_ <= kSparseUpTo ? 16 : 2) > capacity_) {
            grow();
            i = home(v);
            while (slots_[i].pos != 0) i = (i + 1) & mask_;
        }
        append(v, c);
        slots_[i] = Slot{v, static_cast<Pos>(order_.size())};
    }

    // Counts each of `values` once.
    void count_each(const T* values, std::size_t n) {
        if (dense_.empty()) {
            count_sparse(values, n);
            return;
        }
        std::uint64_t* dense = dense_.data();
        const DenseWindow window = window_;
        for (std::size_t k = 0; k < n; ++k) {
            const T v = values[k];
            if (const std::uint64_t d = window.offset(v); d < window.width) {
                if (dense[d]++ == 0) append(v, 0);
            } else {
                count_sparse(&values[k], 1);
            }
        }
    }

private:
    void append(T v, std::uint64_t c) {
        order_.push_back(v);
        counts_.push_back(c);
    }

    // The map's hot loop, with the table's fields held in locals (the count
    // stores could otherwise alias them and force reloads).
    void count_sparse(const T* values, std::size_t n) {
        Slot* slots = slots_.get();
        std::size_t mask = mask_;
        unsigned shift = shift_;
        std::uint64_t* counts = counts_.data();
        constexpr std::size_t ahead = 16;
        for (std::size_t k = 0; k < n; ++k) {
            const T v = values[k];
            // A table beyond the caches: announce the slot a few values
            // ahead so that several misses overlap.
            if (mask >= kSparseUpTo && k + ahead < n) prefetch(&slots[home(values[k + ahead], shift)]);
            for (std::size_t i = home(v, shift);; i = (i + 1) & mask) {
                const Slot s = slots[i];
                if (s.value == v && s.pos != 0) {
                    ++counts[static_cast<std::size_t>(s.pos - 1)];
                    break;
                }
                if (s.pos == 0) {
                    add(v, 1);
                    slots = slots_.get();
                    mask = mask_;
                    shift = shift_;
                    counts = counts_.data();
                    break;
                }
            }
        }
    }

    // Position + 1 in the order (0: empty slot). Up to 2^16 distinct values
    // fit 32 bits; wider types can have more than 2^32 - 1.
    using Pos = std::conditional_t<(sizeof(T) <= 2), std::uint32_t, std::uint64_t>;
    struct Slot {
        T value;
        Pos pos;
    };

    static constexpr std::size_t kSparseUpTo = 16384;  // slots (256 KiB for 64-bit values: within L2)

    static std::size_t home(T v, unsigned shift) noexcept {
        std::uint64_t h = FxHasher::hash(v);
        h = (h ^ (h >> 32)) * 0x9E3779B97F4A7C15ULL;
        return static_cast<std::size_t>(FxHasher::slot(h, shift));
    }
    std::size_t home(T v) const noexcept { return home(v, shift_); }

    void allocate(std::size_t capacity) {
        slots_ = std::make_unique<Slot[]>(capacity);  // value-initialised: every slot empty
        capacity_ = capacity;
        mask_ = capacity - 1;
        shift_ = FxHasher::shift_for(capacity);
    }

    void grow() {
        std::unique_ptr<Slot[]> old = std::move(slots_);
        const std::size_t old_capacity = capacity_;
        allocate(capacity_ * 2);
        for (std::size_t j = 0; j < old_capacity; ++j) {
            if (old[j].pos == 0) continue;
            std::size_t i = home(old[j].value);
            while (slots_[i].pos != 0) i = (i + 1) & mask_;
            slots_[i] = old[j];
        }
    }

    DenseWindow window_;
    std::vector<std::uint64_t> dense_;  // counts by offset in the window
    std::unique_ptr<Slot[]> slots_;
    std::size_t capacity_ = 0, mask_ = 0;
    unsigned shift_ = 0;
    std::vector<T> order_;
    std::vector<std::uint64_t> counts_;
};

// The shared sequential step: counts elements [start, start + n) of `run`
// into `into`.
template <IntElement T>
void count_into(Counts<T>& into, const IntRun<T>& run, std::size_t start, std::size_t n) {
    for_each_block(run, start, n, [&into](const T* values, std::size_t m) { into.count_each(values, m); });
}

inline constexpr std::size_t kChunksPerThread = 4;

// Whether chunk tables of `counted` would be small against their chunks:
// otherwise merging them would cost as much as counting.
template <IntElement T>
bool few_values(const Counts<T>& counted, std::size_t probed) noexcept {
    return counted.size() <= probed / 8;
}

// Counts a whole buffer. Large buffers: a short probe is counted here first;
// when its values are few the rest is split over every pool thread (the
// calling one included), and the chunk tables are merged in chunk order, so
// the key order is that of first occurrence in the whole buffer, whatever
// the thread count. When the probe is inconclusive it grows to one thread's
// share before the same test is made again.
template <IntElement T>
Counts<T> count_buffer(const IntRun<T>& run) {
    const std::size_t n = run.size();
    Counts<T> main(dense_window(run, std::min(n, kCountProbe)));
    if (n < kParallelThreshold) {
        count_into(main, run, 0, n);
        return main;
    }
    WorkerPool& workers = pool();
    std::size_t probed = kCountProbe;
    count_into(main, run, 0, probed);
    if (!few_values(main, probed)) {
        const std::size_t share = std::max(probed, workers.chunk_length(n));
        count_into(main, run, probed, share - probed);
        probed = share;
        if (!few_values(main, probed)) {
            count_into(main, run, probed, n - probed);
            return main;
        }
    }
    const std::size_t rest = n - probed;
    // Several chunks per thread: a thread the system leaves waiting (on a
    // machine busy with other work) holds up one small chunk while the
    // others take on the rest.
    const std::size_t chunk = ceil_div(rest, workers.threads() * kChunksPerThread);
    const std::size_t nchunks = ceil_div(rest, chunk);
    std::vector<Counts<T>> parts;
    parts.reserve(nchunks);
    for (std::size_t i = 0; i < nchunks; ++i) parts.emplace_back(main.window());
    workers.run_chunks(nchunks, [&](std::size_t i) {
        const std::size_t start = probed + i * chunk;
        count_into(parts[i], run, start, std::min(chunk, n - start));
    });
    for (Counts<T>& part : parts) {
        part.settle();
        for (std::size_t j = 0; j < part.size(); ++j) main.add(part.order()[j], part.counts()[j]);
        part = Counts<T>{};  // free it before the next merge
    }
    return main;
}

template <IntElement T>
Ref count_ints(const IntRun<T>& values) {
    Counts<T> counts = count_buffer(values);
    counts.settle();
    Ref out = Ref::check(PyDict_New());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        Ref key = py_from(counts.order()[i]);
        Ref count = py_uint(counts.counts()[i]);
        check_int(PyDict_SetItem(out.get(), key.get(), count.get()));
    }
    return out;
}

Ref count_objects(PyObject* seq) {
    KeyTally<TallyCount> tally(known_length(seq));
    auto count = [&tally](PyObject* item) { tally.add(item); };
    if (PyList_CheckExact(seq)) {
        // Hashing and comparing run user code that may resize the list: the
        // length is read anew at every step and each item is held meanwhile.
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(seq); ++i) {
            if (tally.many_keys()) prefetch_ahead(seq, i);
            Ref item = Ref::borrow(PyList_GET_ITEM(seq, i));
            count(item.get());
        }
    } else if (PyTuple_CheckExact(seq)) {
        for (Py_ssize_t i = 0, n = PyTuple_GET_SIZE(seq); i < n; ++i) {
            if (tally.many_keys()) prefetch_ahead(seq, i);
            count(PyTuple_GET_ITEM(seq, i));
        }
    } else {
        Ref it = get_iter(seq);
        while (Ref item = next_item(it.get())) count(item.get());
    }
    return std::move(tally).finish();
}

// The integer path: the dictionary, or an empty Ref when `seq` is not a
// usable integer buffer (the caller then takes the object path).
Ref frequencies_int(PyObject* seq) {
    std::optional<IntBuf> buf = usable_int_buffer(seq);
    if (!buf) return {};
    // The view stays acquired (and the exporter pinned) until every chunk,
    // on whatever thread, has finished and the dictionary is built.
    return buf->visit([](auto values) { return count_ints(values); });
}

}  // namespace

Ref frequencies(PyObject* seq) {
    if (Ref counted = frequencies_int(seq)) return counted;
    return count_objects(seq);
}

namespace fn {

QUORIN_FUNCTION(frequencies, "frequencies(seq)") { return quorin::frequencies(a[0]); }

}  // namespace fn

}  // namespace quorin
