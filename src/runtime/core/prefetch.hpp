// Cache hints. A function whose only effect is a __builtin_prefetch looks
// free of side effects to the optimiser, which then drops every call to it
// that it did not inline first (in release builds, where no assertion keeps
// such a helper alive). The empty volatile statement marks the hint as an
// effect; it emits no instruction.
#pragma once

namespace quorin {

// Announces that `p` will be read soon.
[[gnu::always_inline]] inline void prefetch(const void* p) noexcept {
    __builtin_prefetch(p);
    asm volatile("");
}

// Announces that `p` will be written soon.
[[gnu::always_inline]] inline void prefetch_for_write(const void* p) noexcept {
    __builtin_prefetch(p, 1);
    asm volatile("");
}

}  // namespace quorin
