// sliding_window: every run of n consecutive elements as a tuple. Only the
// previous window is kept: each new one is filled from it shifted by one,
// plus the new element, so no temporary list is built per window.
#include "sliding_window.hpp"

#include "runtime/classes/native_iter.hpp"
#include "runtime/buffers/py_source.hpp"

#include <algorithm>
#include <vector>

namespace quorin {

namespace {

// Preallocation for the first elements, however large n is.
constexpr std::size_t kMaxPriming = 4096;

struct SlidingWindowImpl {
    static constexpr const char* name = "SlidingWindowIter";
    static constexpr const char* doc =
        "Lazily yields every run of n consecutive elements as a tuple. The first\n"
        "n - 1 elements are read ahead at the call; afterwards only the last window\n"
        "is kept, and each new window is filled from it shifted by one.";
    static constexpr const char* length_hint_doc =
        "Exact for list sources (one window per remaining element once\n"
        "primed), the source's own hint otherwise.";

    struct State {
        // Before the first window: the elements read so far; from then on
        // empty, with `last` holding the last window yielded.
        std::vector<Ref> priming;
        Ref last;
        PySource src;
        std::size_t n;
        bool finished = false;

        void traverse(Visit& v) const noexcept { v(priming)(last)(src); }
    };

    static Ref raw_next(State& s) {
        if (s.finished) return {};
        Ref x = s.src.next();
        if (!x) {
            s.finished = true;
            return {};
        }
        const std::size_t n = s.n;
        if (!s.last && s.priming.size() < n - 1) {
            // The input ran out while priming; what arrived since is not a window.
            s.finished = true;
            return {};
        }
        Ref w = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(n)));
        PyObject** dst = reinterpret_cast<PyTupleObject*>(w.get())->ob_item;
        if (s.last) {
            PyObject* const* prev = reinterpret_cast<PyTupleObject*>(s.last.get())->ob_item;
            for (std::size_t i = 1; i < n; ++i) dst[i - 1] = Py_NewRef(prev[i]);
        } else {
            for (std::size_t i = 0; i + 1 < n; ++i) dst[i] = s.priming[i].release();
            std::vector<Ref>().swap(s.priming);
        }
        dst[n - 1] = x.release();
        s.last = w.clone();
        return w;
    }

    static Py_ssize_t length_hint(State& s) {
        if (s.finished || (!s.last && s.priming.size() < s.n - 1)) return 0;
        return s.src.length_hint();
    }
};
using SlidingWindowIter = IterClass<SlidingWindowImpl>;

}  // namespace

Ref sliding_window_from(std::size_t n, PyObject* seq) {
    if (n == 0) return empty_iter();
    PySource src = PySource::from(seq);
    std::vector<Ref> priming;
    priming.reserve(std::min(n - 1, kMaxPriming));
    while (priming.size() < n - 1) {
        Ref x = src.next();
        if (!x) break;
        priming.push_back(std::move(x));
    }
    return SlidingWindowIter::make(SlidingWindowImpl::State{std::move(priming), Ref(), std::move(src), n, false});
}

void install_sliding_window_iternext() { SlidingWindowIter::install_raw_iternext(); }

namespace fn {
QUORIN_FUNCTION(sliding_window, "sliding_window(n, seq)") {
    const Py_ssize_t n = a.ssize(0);
    if (n < 0) raise(PyExc_ValueError, "n must be >= 0");
    return sliding_window_from(static_cast<std::size_t>(n), a[1]);
}
}  // namespace fn

}  // namespace quorin
