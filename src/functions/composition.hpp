#pragma once

#include "../utils/function.hpp"

namespace quorin::fn {
extern const Function compose, compose_left, complement, juxt;
}
