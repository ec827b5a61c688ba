#include "runtime/tables/table_memory.hpp"

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

namespace quorin {

namespace {

// Blocks below this are cheap to get from the allocator; above the cap the
// memory kept would outweigh the gain.
constexpr std::size_t kMinCached = std::size_t{1} << 20;
constexpr std::size_t kMaxCached = std::size_t{1} << 25;
constexpr int kClasses = 64;
constexpr std::size_t kHugePage = std::size_t{1} << 21;

// One block per size class, exchanged atomically (worker threads use tables too).
std::atomic<void*> cached[kClasses];

int size_class(std::size_t bytes) noexcept {
    if (bytes < kMinCached || bytes > kMaxCached || !std::has_single_bit(bytes)) return -1;
    return std::countr_zero(bytes);
}

}  // namespace

void* table_alloc(std::size_t bytes) noexcept {
    int c = size_class(bytes);
    if (c >= 0) {
        if (void* block = cached[c].exchange(nullptr, std::memory_order_acquire)) {
            std::memset(block, 0, bytes);
            return block;
        }
    }
    if (bytes < kHugePage) return std::calloc(bytes, 1);
    // Probes land at random all over a large table: with 4 KiB pages nearly
    // every one also misses the TLB, so ask for transparent huge pages
    // (where the system offers them only on request).
    if (bytes > SIZE_MAX - kHugePage) return nullptr;  // the rounding below would wrap
    const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr) return nullptr;
    static_cast<void>(madvise(block, rounded, MADV_HUGEPAGE));  // a hint: failure is harmless
    std::memset(block, 0, bytes);
    return block;
}

void table_free(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    int c = size_class(bytes);
    if (c >= 0) {
        block = cached[c].exchange(block, std::memory_order_acq_rel);
        if (block == nullptr) return;
    }
    std::free(block);
}

}  // namespace quorin
