// The Iter methods that hand their work to the dedicated iterator classes.
// Each group is compiled only when its iterator is part of the build.
#include "iter.hpp"

#include "../utils/iteration.hpp"

#if __has_include("../sequences/unique.hpp")
#include "../sequences/unique.hpp"
#define QUORIN_HAVE_UNIQUE 1
#endif
#if __has_include("../sequences/sliding_window.hpp")
#include "../sequences/sliding_window.hpp"
#define QUORIN_HAVE_SLIDING_WINDOW 1
#endif
#if __has_include("../sequences/pluck.hpp")
#include "../sequences/pluck.hpp"
#define QUORIN_HAVE_PLUCK 1
#endif
#if __has_include("../sequences/interpose.hpp")
#include "../sequences/interpose.hpp"
#define QUORIN_HAVE_INTERPOSE 1
#endif

namespace quorin::iter {

namespace {

#ifdef QUORIN_HAVE_UNIQUE
QUORIN_METHOD(iter_unique, "Iter", "unique($self, key=None)") {
    Ref seq = inner(self);
    return wrap(unique(seq.get(), a[0]));
}
#endif

#ifdef QUORIN_HAVE_SLIDING_WINDOW
QUORIN_METHOD(iter_sliding_window, "Iter", "sliding_window($self, n)") {
    return wrap_counted<sliding_window_from>(self, a);
}
#endif

#ifdef QUORIN_HAVE_PLUCK
QUORIN_METHOD(iter_pluck, "Iter", "pluck($self, ind)") {
    Ref seq = inner(self);
    return wrap(pluck(a[0], seq.get()));
}
#endif

// Lazy from the start: nothing is read at the call, so an empty input gives
// an empty result rather than an error.
#ifdef QUORIN_HAVE_INTERPOSE
QUORIN_METHOD(iter_interpose, "Iter", "interpose($self, el)") {
    Ref seq = inner(self);
    return wrap(interpose_lazy(a[0], seq.get()));
}
#endif

}  // namespace

const Method* unique_method() {
#ifdef QUORIN_HAVE_UNIQUE
    return &iter_unique;
#else
    return nullptr;
#endif
}

const Method* sliding_window_method() {
#ifdef QUORIN_HAVE_SLIDING_WINDOW
    return &iter_sliding_window;
#else
    return nullptr;
#endif
}

const Method* pluck_method() {
#ifdef QUORIN_HAVE_PLUCK
    return &iter_pluck;
#else
    return nullptr;
#endif
}

const Method* interpose_method() {
#ifdef QUORIN_HAVE_INTERPOSE
    return &iter_interpose;
#else
    return nullptr;
#endif
}

}  // namespace quorin::iter
