// Zero-filled memory for the native hash tables. Large tables are what a
// counting call spends its time faulting in from the kernel, call after
// call; so a freed block of a few MiB is kept (one per power-of-two size,
// within a small fixed budget) and handed to the next table of that size,
// where clearing it costs far less than fresh pages. Anything beyond the
// budget goes back to the system when it is freed.
#pragma once

#include <cstddef>

namespace quorin {

// `bytes` of zeroed memory, or null when out of memory.
void* table_alloc(std::size_t bytes) noexcept;
// Returns a block from table_alloc of the same `bytes`.
void table_free(void* block, std::size_t bytes) noexcept;

}  // namespace quorin
