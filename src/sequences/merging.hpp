#pragma once

#include "runtime/classes/function.hpp"

namespace quorin {

namespace fn {
extern const Function merge_sorted;
}

}  // namespace quorin
