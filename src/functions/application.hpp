#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

namespace fn {
extern const Function identity, apply, do_, pipe, thread_first, thread_last, flip;
}

// A new built-in function object of `f`, as the module exports it.
Ref builtin(const Function& f);

// The module attribute `flip`: a curry of the built-in `flip`.
Ref flip_curry();

}  // namespace quorin
