// The wrapped function's parameters as `inspect` reports them, for the
// wrappers that decide how to treat a call from the function's signature.
#pragma once

#include "runtime/core/error.hpp"

#include <optional>
#include <vector>

namespace quorin {

enum class ParamKind { positional_only, positional_or_keyword, var_positional, keyword_only, var_keyword, other };

struct ParamInfo {
    ParamKind kind;
    bool has_default;
};

// The parameters of `sig` (an inspect.Signature), in order. With
// `exact_only`, nothing is returned as soon as the signature or a parameter
// is of a class derived from inspect's (whose binding could differ), before
// any of its attributes is read.
std::optional<std::vector<ParamInfo>> read_parameters(PyObject* sig, bool exact_only);

// Runs `body` and returns its result; an ordinary exception it raises is
// discarded and gives `fallback`, while KeyboardInterrupt, SystemExit and
// the like propagate: a signature that cannot be read only costs the
// wrapper its shortcut.
template <class T, class F>
T unless_ordinary_error(T fallback, F&& body) {
    try {
        return body();
    } catch (const PyErrorSet&) {
        if (!PyErr_ExceptionMatches(PyExc_Exception)) throw;
        PyErr_Clear();
        return fallback;
    }
}

}  // namespace quorin
