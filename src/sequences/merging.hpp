#pragma once

#include "../utils/function.hpp"

namespace quorin {

namespace fn {
extern const Function merge_sorted;
}

}  // namespace quorin
