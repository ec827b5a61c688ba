// topk(k, seq, key=None): the k largest elements, largest first.
#pragma once

#include "runtime/classes/function.hpp"

#include <cstdint>

namespace quorin {

namespace fn {
extern const Function topk;
}

// topk as a C++ call; `key` null or None means no key.
Ref topk(std::uint64_t k, PyObject* seq, PyObject* key);

}  // namespace quorin
