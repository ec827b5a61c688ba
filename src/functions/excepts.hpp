#pragma once

#include "../utils/function.hpp"

namespace quorin::fn {
extern const Function excepts;
}
