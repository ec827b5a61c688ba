#pragma once

#include "runtime/classes/function.hpp"

#include <cstddef>

namespace quorin {

namespace fn {
extern const Function first_opt, last_opt, nth_opt, get_opt, get_in_opt, peek_opt;
}

// The iteration routines behind first_opt, last_opt and nth_opt (shared with
// the fluent wrapper): Some(item), or a new NothingType when there is none.
Ref first_opt(PyObject* seq);
Ref last_opt(PyObject* seq);
Ref nth_opt(std::size_t n, PyObject* seq);

}  // namespace quorin
