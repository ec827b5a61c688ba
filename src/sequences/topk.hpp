// topk(k, seq, key=None): the k largest elements, largest first. Integer
// buffers without a key keep a bounded native heap per chunk (chunks run on
// the pool for large buffers); everything else is sorted by the interpreter.
#pragma once

#include "runtime/classes/function.hpp"
#include "runtime/buffers/worker_pool.hpp"
#include "frequencies.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorin {

namespace fn {
extern const Function topk;
}

// topk as a C++ call; `key` null or None means no key.
Ref topk(std::uint64_t k, PyObject* seq, PyObject* key);

namespace counting {

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

// The k largest of `values` as a binary min-heap (unordered contents): its
// root is the smallest value kept, and a value no larger than the root is
// passed over.
template <IntElement T>
std::vector<T> k_largest(const T* values, std::size_t n, std::uint64_t k) {
    const std::size_t cap = static_cast<std::size_t>(std::min<std::uint64_t>(n, k));
    std::vector<T> heap;
    heap.reserve(cap);
    if (cap == 0) return heap;
    std::size_t i = 0;
    for (; i < n && heap.size() < cap; ++i) {
        const T v = values[i];
        std::size_t pos = heap.size();
        heap.push_back(v);
        while (pos > 0) {
            const std::size_t parent = (pos - 1) / 2;
            if (!(v < heap[parent])) break;
            heap[pos] = heap[parent];
            pos = parent;
        }
        heap[pos] = v;
    }
    T* h = heap.data();
    const std::size_t len = heap.size();
    auto offer = [h, len](T v) {
        std::size_t pos = 0;
        for (;;) {
            const std::size_t left = 2 * pos + 1;
            if (left >= len) break;
            std::size_t child = left;
            if (left + 1 < len && !(h[left] < h[left + 1])) child = left + 1;  // right one on a tie
            if (!(h[child] < v)) break;
            h[pos] = h[child];
            pos = child;
        }
        h[pos] = v;
    };
    T root = h[0];
    while (i < n) {
        if (n - i >= kTopBlock && !any_above(values + i, root)) {
            i += kTopBlock;  // nothing here would enter the heap
            continue;
        }
        for (const std::size_t end = std::min(n, i + kTopBlock); i < end; ++i) {
            if (root < values[i]) {
                offer(values[i]);
                root = h[0];
            }
        }
    }
    return heap;
}

// The parallel driver: one chunk per pool thread for large buffers, each
// keeping its own k largest; the candidates (in chunk order) are reduced to
// the k largest overall. The kept multiset is the same for any thread count.
template <IntElement T>
std::vector<T> k_largest_dispatch(const T* values, std::size_t n, std::uint64_t k) {
    if (k == 0 || n < kParallelThreshold) return k_largest(values, n, k);
    WorkerPool& workers = pool();
    const std::size_t chunk = ceil_div(n, std::max<std::size_t>(1, workers.threads()));
    const std::size_t nchunks = ceil_div(n, chunk);
    std::vector<std::vector<T>> parts = workers.map_chunks<std::vector<T>>(nchunks, [&](std::size_t i) {
        const std::size_t start = i * chunk;
        return k_largest(values + start, std::min(chunk, n - start), k);
    });
    std::size_t total = 0;
    for (const auto& p : parts) total += p.size();
    std::vector<T> candidates;
    candidates.reserve(total);
    for (const auto& p : parts) candidates.insert(candidates.end(), p.begin(), p.end());
    parts.clear();
    return k_largest(candidates.data(), candidates.size(), k);
}

}  // namespace counting

}  // namespace quorin
