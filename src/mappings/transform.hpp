#pragma once

#include "runtime/classes/function.hpp"

namespace quorin::fn {
extern const Function keymap, valmap, itemmap, keyfilter, valfilter, itemfilter;
}
