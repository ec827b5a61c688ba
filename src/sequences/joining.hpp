#pragma once

#include "../utils/function.hpp"

namespace quorin {

namespace fn {
extern const Function diff, join;
}

}  // namespace quorin
