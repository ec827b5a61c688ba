// Lazy chaining. Concatenation is left to the interpreter's own chain
// objects; filtering, generating, folding and round-robin are NativeIter
// routines.
#include "chaining.hpp"

#include "runtime/classes/native_iter.hpp"

#include <algorithm>
#include <vector>

namespace quorin {

Ref mapcat(PyObject* func, PyObject* seqs) {
    Ref mapped = call2(cells::builtins_map(), func, seqs);
    return call1(cells::chain_from_iterable(), mapped.get());
}

namespace {

// Each routine is a named state, so the collector can list what it holds.
struct AccumulateStep {
    Ref it, f, initial, acc;
    bool emitted = false;
    bool nests = may_nest(it.get());

    Ref next() {
        if (initial && !emitted) {
            emitted = true;
            acc = initial.clone();
            return initial.clone();
        }
        StepGuard guard(nests);
        Ref item = next_item(it.get());
        if (!item) return {};
        if (!acc) {
            acc = item.clone();
            return item;
        }
        Ref next = call2(f.get(), acc.get(), item.get());
        acc = next.clone();
        return next;
    }
    void traverse(Visit& v) const noexcept { v(it)(f)(initial)(acc); }
};

// bool as the predicate is the truth test itself: the call is skipped.
struct RemoveStep {
    Ref it, pred;
    bool nests = may_nest(it.get());

    Ref next() {
        StepGuard guard(nests);
        PyObject* source = it.get();
        const iternextfunc step = Py_TYPE(source)->tp_iternext;
        if (!pred) {
            while (Ref item = next_item(step, source))
                if (!truthy(item.get())) return item;
            return {};
        }
        while (Ref item = next_item(step, source)) {
            Ref verdict = call1(pred.get(), item.get());
            if (!truthy(verdict.get())) return item;
        }
        return {};
    }
    void traverse(Visit& v) const noexcept { v(it)(pred); }
};

struct IterateStep {
    Ref f, current;
    bool first = true;

    Ref next() {
        // Taken out first: if func raises, the value stays absent for good.
        Ref value = std::move(current);
        if (!value) return {};
        if (first) {
            first = false;
            current = value.clone();
            return value;
        }
        Ref next = call1(f.get(), value.get());
        current = next.clone();
        return next;
    }
    void traverse(Visit& v) const noexcept { v(f)(current); }
};

// An exhausted input is emptied in place at once and the empty slots are
// dropped when a round ends, so each removal costs O(1) amortised and the
// round-robin order stays that of removing it on the spot.
struct InterleaveStep {
    std::vector<Ref> iters;
    bool nests = std::ranges::any_of(iters, [](const Ref& it) { return may_nest(it.get()); });
    std::size_t pos = 0;

    Ref next() {
        StepGuard guard(nests);
        for (;;) {
            if (pos >= iters.size()) {
                std::erase_if(iters, [](const Ref& it) { return !it; });
                pos = 0;
                if (iters.empty()) return {};
            }
            if (!iters[pos]) {
                ++pos;
                continue;
            }
            // The iterator is held across the call: the vector may not move
            // while user code runs, but keep the reference independent of it.
            Ref it = iters[pos].clone();
            Ref item = next_item(it.get());
            if (!item) iters[pos].reset();
            ++pos;
            if (item) return item;
        }
    }
    void traverse(Visit& v) const noexcept { v(iters); }
};

}  // namespace

Ref accumulate(PyObject* binop, PyObject* seq, PyObject* const* rest, Py_ssize_t nrest) {
    if (nrest > 1) raise(PyExc_TypeError, "accumulate takes at most 3 arguments");
    Ref initial = nrest == 1 ? Ref::borrow(rest[0]) : Ref();
    Ref it = get_iter(seq);
    return native_iter(AccumulateStep{std::move(it), Ref::borrow(binop), std::move(initial), Ref()});
}

namespace fn {

QUORIN_FUNCTION(cons, "cons(el, seq)") {
    Ref head = Ref::check(PyTuple_Pack(1, a[0]));
    return call2(cells::chain(), head.get(), a[1]);
}

QUORIN_FUNCTION(concat, "concat(seqs)") { return call1(cells::chain_from_iterable(), a[0]); }

QUORIN_FUNCTION(concatv, "concatv(*seqs)") {
    Ref seqs = a.rest_tuple();
    return call1(cells::chain_from_iterable(), seqs.get());
}

QUORIN_FUNCTION(mapcat, "mapcat(func, seqs)") { return quorin::mapcat(a[0], a[1]); }

QUORIN_FUNCTION(remove, "remove(predicate, seq)") {
    Ref it = get_iter(a[1]);
    bool truth_test = a[0] == reinterpret_cast<PyObject*>(&PyBool_Type);
    return native_iter(RemoveStep{std::move(it), truth_test ? Ref() : Ref::borrow(a[0])});
}

QUORIN_FUNCTION(iterate, "iterate(func, x)") { return native_iter(IterateStep{Ref::borrow(a[0]), Ref::borrow(a[1])}); }

QUORIN_FUNCTION(accumulate, "accumulate(binop, seq, *rest)") {
    return quorin::accumulate(a[0], a[1], a.rest(), a.rest_size());
}

QUORIN_FUNCTION(interleave, "interleave(seqs)") {
    std::vector<Ref> iters;
    Ref outer = get_iter(a[0]);
    while (Ref seq = next_item(outer.get())) iters.push_back(get_iter(seq.get()));
    return native_iter(InterleaveStep{std::move(iters)});
}

}  // namespace fn
}  // namespace quorin
