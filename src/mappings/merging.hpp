#pragma once

#include "runtime/classes/function.hpp"

namespace quorin::fn {
extern const Function merge, merge_with, assoc, dissoc;
}
