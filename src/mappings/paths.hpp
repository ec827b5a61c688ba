#pragma once

#include "runtime/classes/function.hpp"

namespace quorin::fn {
extern const Function assoc_in, update_in, get_in;
}
