// topk: a bounded native heap for integer buffers (one chunk per pool
// thread for large ones), a bounded heap of references while every value is
// plain, and the interpreter's stable list sort for everything else, so ties
// keep their input order.
#include "runtime/core/prefetch.hpp"
#include "runtime/classes/function.hpp"
#include "runtime/buffers/int_buffer.hpp"
#include "runtime/buffers/worker_pool.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/core/once.hpp"
#include "runtime/tables/key.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorin {

namespace {

// A binary min-heap under `less` in a vector (the root is the least), for
// keeping the k best of a stream: grow it with heap_push, then let a better
// value take the root's place with heap_replace_root.
template <class T, class Less>
void heap_push(std::vector<T>& heap, T v, Less less) {
    std::size_t pos = heap.size();
    heap.emplace_back();
    while (pos > 0) {
        const std::size_t parent = (pos - 1) / 2;
        if (!less(v, heap[parent])) break;
        heap[pos] = std::move(heap[parent]);
        pos = parent;
    }
    heap[pos] = std::move(v);
}

template <class T, class Less>
void heap_replace_root(std::vector<T>& heap, T v, Less less) {
    T* h = heap.data();
    const std::size_t len = heap.size();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t left = 2 * pos + 1;
        if (left >= len) break;
        std::size_t child = left;
        if (left + 1 < len && !less(h[left], h[left + 1])) child = left + 1;  // the right one on a tie
        if (!less(h[child], v)) break;
        h[pos] = std::move(h[child]);
        pos = child;
    }
    h[pos] = std::move(v);
}

// Once a heap is full almost every value is no larger than its root, so
// k_largest tests a block of values at once: a branch-free scan that the
// compiler can vectorise (with AVX2 where the processor has it, chosen at
// load time).
inline constexpr std::size_t kTopBlock = 64;

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define QUORIN_TOPK_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUORIN_TOPK_CLONES
#endif

// Whether any of the kTopBlock values at `p` is larger than `root`.
template <IntElement T>
QUORIN_TOPK_CLONES bool any_above(const T* p, T root) noexcept {
    bool any = false;
    for (std::size_t j = 0; j < kTopBlock; ++j) any |= p[j] > root;
    return any;
}

// The k largest of the values fed to it, in pieces, as a binary min-heap
// (unordered contents): its root is the smallest value kept, and a value no
// larger than the root is passed over.
template <IntElement T>
class KLargest {
public:
    explicit KLargest(std::size_t cap) : cap_(cap) { heap_.reserve(cap); }

    void feed(const T* values, std::size_t n) {
        if (cap_ == 0) return;
        constexpr auto less = [](T a, T b) { return a < b; };
        std::size_t i = 0;
        for (; i < n && heap_.size() < cap_; ++i) heap_push(heap_, values[i], less);
        if (heap_.size() < cap_) return;
        T root = heap_[0];
        while (i < n) {
            if (n - i >= kTopBlock && !any_above(values + i, root)) {
                i += kTopBlock;  // nothing here would enter the heap
                continue;
            }
            for (const std::size_t end = std::min(n, i + kTopBlock); i < end; ++i) {
                if (root < values[i]) {
                    heap_replace_root(heap_, values[i], less);
                    root = heap_[0];
                }
            }
        }
    }

    std::vector<T> take() && { return std::move(heap_); }

private:
    std::size_t cap_;
    std::vector<T> heap_;
};

// The k largest of elements [start, start + n) of `run`.
template <IntElement T>
std::vector<T> k_largest(const IntRun<T>& run, std::size_t start, std::size_t n, std::uint64_t k) {
    KLargest<T> top(static_cast<std::size_t>(std::min<std::uint64_t>(n, k)));
    for_each_block(run, start, n, [&top](const T* values, std::size_t m) { top.feed(values, m); });
    return std::move(top).take();
}

// The parallel driver: the buffer split over every pool thread (the calling
// one included) for large buffers, each chunk keeping its own k largest; the
// candidates (in chunk order) are reduced to the k largest overall. The kept
// multiset is the same for any thread count.
template <IntElement T>
std::vector<T> k_largest_dispatch(const IntRun<T>& run, std::uint64_t k) {
    const std::size_t n = run.size();
    if (k == 0 || n < kParallelThreshold) return k_largest(run, 0, n, k);
    WorkerPool& workers = pool();
    const std::size_t chunk = workers.chunk_length(n);
    const std::size_t nchunks = ceil_div(n, chunk);
    std::vector<std::vector<T>> parts = workers.map_chunks<std::vector<T>>(nchunks, [&](std::size_t i) {
        const std::size_t start = i * chunk;
        return k_largest(run, start, std::min(chunk, n - start), k);
    });
    std::size_t total = 0;
    for (const auto& p : parts) total += p.size();
    std::vector<T> candidates;
    candidates.reserve(total);
    for (const auto& p : parts) candidates.insert(candidates.end(), p.begin(), p.end());
    parts.clear();
    return k_largest(IntRun<T>(candidates.data(), sizeof(T), candidates.size(), false), 0, candidates.size(), k);
}

template <IntElement T>
Ref ints_to_tuple(const std::vector<T>& values) {
    Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), py_from(values[i]).release());
    }
    return out;
}

// The integer path: the tuple, or an empty Ref when `seq` is not a usable
// integer buffer.
Ref topk_int(std::uint64_t k, PyObject* seq) {
    std::optional<IntBuf> buf = usable_int_buffer(seq);
    if (!buf) return {};
    return buf->visit([k](auto values) {
        auto kept = k_largest_dispatch(values, k);
        // Equal integers are indistinguishable: an unstable sort will do.
        std::sort(kept.begin(), kept.end(), std::greater<>());
        return ints_to_tuple(kept);
    });
}

OnceCell reverse_kwnames_cell;

// list.sort(reverse=True) on our own list: stable, so equal elements keep
// their order.
void sort_descending(PyObject* list) {
    PyObject* kwnames = reverse_kwnames_cell.get([] { return Ref::check(PyTuple_Pack(1, QUORIN_NAME("reverse"))); });
    PyObject* args[2] = {list, Py_True};
    Ref::check(PyObject_VectorcallMethod(QUORIN_NAME("sort"), args, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames));
}

// The first min(len, k) items of a sorted list, as a tuple.
Ref sorted_head(PyObject* list, std::uint64_t k, bool third_item) {
    const auto m =
        static_cast<Py_ssize_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(PyList_GET_SIZE(list)), k));
    Ref out = Ref::check(PyTuple_New(m));
    for (Py_ssize_t j = 0; j < m; ++j) {
        PyObject* item = PyList_GET_ITEM(list, j);
        if (third_item) item = PyTuple_GET_ITEM(item, 2);  // our own (key, -index, element)
        PyTuple_SET_ITEM(out.get(), j, Py_NewRef(item));
    }
    return out;
}

// Values the interpreter orders without running user code and without
// raising: exact ints and non-NaN floats among themselves (compared exactly,
// as Python compares them), exact strs among themselves. A stable descending
// sort of such values is fixed by the values and their positions alone, so a
// bounded heap that prefers the earlier of equal values finds the same head.
enum class Plain : unsigned char { No, Number, Text };

Plain plain_rank(PyObject* o) noexcept {
    PyTypeObject* t = Py_TYPE(o);
    if (t == &PyLong_Type) return Plain::Number;
    if (t == &PyUnicode_Type) return Plain::Text;
    if (t == &PyFloat_Type && !std::isnan(PyFloat_AS_DOUBLE(o))) return Plain::Number;
    return Plain::No;
}

// a < b for two values of one Plain rank. One-digit ints (and their
// conversions to double, which are exact) are compared natively; larger
// ints go through the interpreter's own exact comparison.
bool plain_less(PyObject* a, PyObject* b) {
    long long x = 0, y = 0;
    const bool ax = compat::compact_int_value(a, &x), by = compat::compact_int_value(b, &y);
    if (ax && by) return x < y;
    const bool af = PyFloat_CheckExact(a), bf = PyFloat_CheckExact(b);
    if (af && bf) return PyFloat_AS_DOUBLE(a) < PyFloat_AS_DOUBLE(b);
    if (af && by) return PyFloat_AS_DOUBLE(a) < static_cast<double>(y);
    if (ax && bf) return static_cast<double>(x) < PyFloat_AS_DOUBLE(b);
    if (PyUnicode_CheckExact(a)) {
        const int c = PyUnicode_Compare(a, b);
        if (c == -1 && PyErr_Occurred()) ffi_err();
        return c < 0;
    }
    return check_int(PyObject_RichCompareBool(a, b, Py_LT)) == 1;
}

// The k best of plain values offered in input order: a min-heap whose root
// is the worst kept (the smallest value; the later position among equals).
// A newcomer is later than everything kept, so it enters only when strictly
// larger than the root. The heap holds its own references, so its values
// stay alive however the caller keeps (or drops) the others.
class PlainTop {
public:
    explicit PlainTop(std::uint64_t k) : cap_(k) {}

    // Offers value v (borrowed) at position pos; every earlier position was
    // offered before.
    void offer(PyObject* v, std::size_t pos) {
        if (heap_.size() < cap_) {
            heap_push(heap_, Kept{Ref::borrow(v), pos}, worse);
        } else if (!heap_.empty() && plain_less(heap_[0].value.get(), v)) {
            heap_replace_root(heap_, Kept{Ref::borrow(v), pos}, worse);  // drops a plain value: no user code runs
        }
    }

    // The kept positions, best first.
    std::vector<std::size_t> ranked() && {
        std::sort(heap_.begin(), heap_.end(), [](const Kept& a, const Kept& b) { return worse(b, a); });
        std::vector<std::size_t> out;
        out.reserve(heap_.size());
        for (const Kept& kept : heap_) out.push_back(kept.pos);
        return out;
    }

private:
    struct Kept {
        Ref value;
        std::size_t pos;
    };

    static bool worse(const Kept& a, const Kept& b) {
        if (plain_less(a.value.get(), b.value.get())) return true;
        return a.pos > b.pos && !plain_less(b.value.get(), a.value.get());
    }

    std::uint64_t cap_;
    std::vector<Kept> heap_;
};

// Tracks whether every value offered so far is plain and of one rank.
struct PlainCheck {
    Plain rank = Plain::No;
    bool admits(PyObject* v) noexcept {
        const Plain r = plain_rank(v);
        if (r == Plain::No || (rank != Plain::No && r != rank)) return false;
        rank = r;
        return true;
    }
};

Ref topk_sorted(std::uint64_t k, Ref items) {
    sort_descending(items.get());
    return sorted_head(items.get(), k, false);
}

Ref topk_objects(std::uint64_t k, PyObject* seq) {
    // An exact list or tuple is scanned in place (nothing in the scan runs
    // user code, so it cannot change meanwhile); anything else is gathered
    // first, as the sort would need it anyway.
    Ref gathered;
    if (!PyList_CheckExact(seq) && !PyTuple_CheckExact(seq)) gathered = list_of(seq);
    PyObject* items = gathered ? gathered.get() : seq;
    PyObject** values = PySequence_Fast_ITEMS(items);
    const auto n = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(items));
    PlainTop top(k);
    PlainCheck check;
    for (std::size_t i = 0; i < n; ++i) {
        prefetch_ahead(items, static_cast<Py_ssize_t>(i));
        if (!check.admits(values[i]))
            return topk_sorted(k, gathered ? std::move(gathered) : Ref::check(PySequence_List(seq)));
        top.offer(values[i], i);
    }
    // Held before the tuple is made: the allocation may run a finalizer
    // that empties the list, and `values` with it.
    std::vector<Ref> chosen;
    for (std::size_t pos : std::move(top).ranked()) chosen.push_back(Ref::borrow(values[pos]));
    Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(chosen.size())));
    for (std::size_t j = 0; j < chosen.size(); ++j)
        PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(j), chosen[j].release());
    return out;
}

// The key values of a keyed call, kept in case the decorated sort is needed
// after all. A one-digit int is kept as its value: key functions mostly
// return fresh ints, and keeping a million of them alive costs more than
// computing them. Should the sort be needed, it gets an equal int in its
// place (compared by value: the same outcome against any other key).
class KeyLog {
public:
    void push(PyObject* kv) {
        long long v = 0;
        if (compat::compact_int_value(kv, &v)) {
            slots_.push_back(static_cast<std::int64_t>(static_cast<std::uint64_t>(v) << 1) | 1);
        } else {
            slots_.push_back(static_cast<std::int64_t>(objects_.size()) << 1);
            objects_.push_back(Ref::borrow(kv));
        }
    }
    void reserve(std::size_t n) { slots_.reserve(n); }
    Ref at(std::size_t i) const {
        const std::int64_t s = slots_[i];
        if (s & 1) return py_int(s >> 1);
        return objects_[static_cast<std::size_t>(s >> 1)].clone();
    }

private:
    std::vector<std::int64_t> slots_;  // odd: (value << 1) | 1; even: position in objects_ << 1
    std::vector<Ref> objects_;
};

// Drops every reference of `refs`, announcing the objects a few steps ahead:
// they lie anywhere in memory, and overlapping the misses makes the release
// several times faster than a plain destruction of the vector.
void release_all(std::vector<Ref>& refs) noexcept {
    constexpr std::size_t ahead = 8;
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (i + ahead < refs.size()) prefetch_for_write(refs[i + ahead].get());
        refs[i].reset();
    }
    refs.clear();
}

Ref topk_keyed(std::uint64_t k, PyObject* seq, PyObject* key) {
    // Every key and element is kept: should a key turn out not to be plain,
    // the decorated sort needs all of them (the key is called once each).
    KeyLog keys;
    std::vector<Ref> elements;
    PlainTop top(k);
    PlainCheck check;
    bool plain = true;
    auto step = [&](Ref item) {
        Ref kv = apply_key(key, item.get());
        plain = plain && check.admits(kv.get());
        if (plain) top.offer(kv.get(), elements.size());
        keys.push(kv.get());
        elements.push_back(std::move(item));
    };
    if (PyList_CheckExact(seq)) {
        // What the list's own iterator does, by index against the current
        // length (the key may resize the list), with elements announced
        // ahead; the first guess at the length sizes the logs.
        keys.reserve(static_cast<std::size_t>(PyList_GET_SIZE(seq)));
        elements.reserve(static_cast<std::size_t>(PyList_GET_SIZE(seq)));
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(seq); ++i) {
            prefetch_ahead(seq, i);
            step(Ref::borrow(PyList_GET_ITEM(seq, i)));
        }
    } else {
        Ref it = get_iter(seq);
        while (Ref item = next_item(it.get())) step(std::move(item));
    }
    if (plain) {
        const std::vector<std::size_t> best = std::move(top).ranked();
        Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(best.size())));
        for (std::size_t j = 0; j < best.size(); ++j)
            PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(j), elements[best[j]].clone().release());
        release_all(elements);
        return out;
    }
    // Decorated as (key value, -index, element): larger keys first, and among
    // equal keys the earlier element; elements are never compared.
    Ref decorated = Ref::check(PyList_New(static_cast<Py_ssize_t>(elements.size())));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        Ref kv = keys.at(i);
        Ref neg = Ref::check(PyLong_FromSsize_t(-static_cast<Py_ssize_t>(i)));
        PyList_SET_ITEM(decorated.get(), static_cast<Py_ssize_t>(i),
                        Ref::check(PyTuple_Pack(3, kv.get(), neg.get(), elements[i].get())).release());
    }
    keys = KeyLog{};
    elements.clear();
    sort_descending(decorated.get());
    return sorted_head(decorated.get(), k, true);
}

// `key` null or None means no key.
Ref topk(std::uint64_t k, PyObject* seq, PyObject* key) {
    if (key != nullptr && key != Py_None) return topk_keyed(k, seq, key);
    if (Ref ints = topk_int(k, seq)) return ints;
    return topk_objects(k, seq);
}

}  // namespace

namespace fn {

QUORIN_FUNCTION(topk, "topk(k, seq, key=None)") {
    const std::uint64_t k = a.u64(0);
    return quorin::topk(k, a[1], a[2]);
}

}  // namespace fn

}  // namespace quorin
