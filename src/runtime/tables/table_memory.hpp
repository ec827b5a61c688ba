// Zero-filled memory for the native hash tables. Large tables are what a
// counting call spends its time faulting in from the kernel, call after
// call; so a freed block of a few MiB is kept (one per power-of-two size,
// within a small fixed budget) and handed to the next table of that size,
// where clearing it costs far less than fresh pages. Anything beyond the
// budget goes back to the system when it is freed.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace quorin {

// `bytes` of zeroed memory, or null when out of memory.
void* table_alloc(std::size_t bytes) noexcept;
// Returns a block from table_alloc of the same `bytes`.
void table_free(void* block, std::size_t bytes) noexcept;

// Gives an array of `count` T back to the table memory.
template <class T>
struct TableFree {
    std::size_t count = 0;
    void operator()(T* p) const noexcept { table_free(p, count * sizeof(T)); }
};

// An owned array of zero-filled T (for types whose zero bytes are a valid,
// empty value) from the table memory.
template <class T>
using TableArray = std::unique_ptr<T[], TableFree<T>>;

// `count` zeroed T; std::bad_alloc (MemoryError at the boundary) when out of
// memory.
template <class T>
TableArray<T> table_array(std::size_t count) {
    TableArray<T> p(static_cast<T*>(table_alloc(count * sizeof(T))), TableFree<T>{count});
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace quorin
