// interpose: the elements of a sequence with a separator between each pair
// of neighbours. One element is kept pending, so the separator is only
// yielded once the element after it is known to exist.
#include "interpose.hpp"

#include "runtime/classes/native_iter.hpp"
#include "runtime/buffers/py_source.hpp"

namespace quorin {

namespace {

struct InterposeImpl {
    static constexpr const char* name = "InterposeIter";
    static constexpr const char* doc =
        "Lazily yields the elements of a sequence with a separator between each pair\n"
        "of neighbours. One element read ahead is kept pending, so a separator is\n"
        "yielded only when another element follows; exact lists are read by index.";
    static constexpr const char* length_hint_doc =
        "k source items yield 2k-1 outputs (a separator before every item but\n"
        "the first). Exact for list sources, the source's own hint otherwise.";

    struct State {
        Ref el;
        PySource src;
        Ref pending;  // read from the source, not yet yielded
        bool started = false;
        bool finished = false;

        void traverse(Visit& v) const noexcept { v(el)(src)(pending); }
    };

    static Ref raw_next(State& s) {
        if (s.pending) return std::move(s.pending);
        if (s.finished) return {};
        Ref x = s.src.next();
        if (!x) {
            s.finished = true;
            return {};
        }
        if (!s.started) {
            s.started = true;
            return x;
        }
        s.pending = std::move(x);
        return s.el.clone();
    }

    static Py_ssize_t length_hint(State& s) {
        if (s.finished) return 0;
        const Py_ssize_t r = s.src.length_hint();
        if (s.pending) return hint_add(hint_twice(r), 1);
        if (s.started) return hint_twice(r);
        return r == 0 ? 0 : hint_twice(r) - 1;
    }
};
using InterposeIter = IterClass<InterposeImpl>;

}  // namespace

Ref interpose_lazy(PyObject* el, PyObject* seq) {
    return InterposeIter::make(InterposeImpl::State{Ref::borrow(el), PySource::from(seq), Ref(), false, false});
}

void install_interpose_iternext() { InterposeIter::install_raw_iternext(); }

namespace fn {
QUORIN_FUNCTION(interpose, "interpose(el, seq)") {
    PySource src = PySource::from(a[1]);
    Ref first = src.next();
    // An empty input fails at the call.
    if (!first) raise_stop_iteration();
    return InterposeIter::make(InterposeImpl::State{Ref::borrow(a[0]), std::move(src), std::move(first), true, false});
}
}  // namespace fn

}  // namespace quorin
