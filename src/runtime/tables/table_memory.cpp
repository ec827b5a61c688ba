#include "runtime/tables/table_memory.hpp"

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

namespace quorin {

namespace {

// Blocks below kMinCached are cheap to get from the allocator. What is kept
// between calls stays within kBudget, whatever the sizes a call used: a
// larger table goes back to the system when its call ends.
constexpr std::size_t kMinCached = std::size_t{1} << 20;
constexpr std::size_t kBudget = std::size_t{1} << 22;
constexpr int kClasses = 64;
constexpr std::size_t kHugePage = std::size_t{1} << 21;

// One block per size class, exchanged atomically (worker threads use tables
// too); `kept` counts the bytes they hold, reserved before a block is stored.
std::atomic<void*> cached[kClasses];
std::atomic<std::size_t> kept{0};

int size_class(std::size_t bytes) noexcept {
    if (bytes < kMinCached || bytes > kBudget || !std::has_single_bit(bytes)) return -1;
    return std::countr_zero(bytes);
}

std::size_t mapped_size(std::size_t bytes) noexcept { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

// Large blocks are mapped directly: fresh pages arrive zeroed, and unmapping
// hands them back to the system at once (a block freed to the C allocator
// can stay in its heap for good).
void* map_block(std::size_t bytes) noexcept {
    if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;  // the rounding below would wrap
    const std::size_t size = mapped_size(bytes);
    // Map one huge page more and trim both ends, for a huge-page-aligned block.
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    if (const std::size_t tail = start + kHugePage - aligned) munmap(reinterpret_cast<void*>(aligned + size), tail);
    void* block = reinterpret_cast<void*>(aligned);
    // Probes land at random all over a large table: with 4 KiB pages nearly
    // every one also misses the TLB, so ask for transparent huge pages
    // (where the system offers them only on request).
    static_cast<void>(madvise(block, size, MADV_HUGEPAGE));  // a hint: failure is harmless
    return block;
}

void release(void* block, std::size_t bytes) noexcept {
    if (bytes < kHugePage)
        std::free(block);
    else
        munmap(block, mapped_size(bytes));
}

}  // namespace

void* table_alloc(std::size_t bytes) noexcept {
    int c = size_class(bytes);
    if (c >= 0) {
        if (void* block = cached[c].exchange(nullptr, std::memory_order_acquire)) {
            kept.fetch_sub(bytes, std::memory_order_relaxed);
            std::memset(block, 0, bytes);
            return block;
        }
    }
    if (bytes < kHugePage) return std::calloc(bytes, 1);
    return map_block(bytes);
}

void table_free(void* block, std::size_t bytes) noexcept {
    if (block == nullptr) return;
    int c = size_class(bytes);
    if (c >= 0 && kept.fetch_add(bytes, std::memory_order_relaxed) + bytes <= kBudget) {
        block = cached[c].exchange(block, std::memory_order_acq_rel);
        if (block == nullptr) return;
    }
    if (c >= 0) kept.fetch_sub(bytes, std::memory_order_relaxed);
    release(block, bytes);
}

}  // namespace quorin
