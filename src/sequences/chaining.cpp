// Lazy chaining. Concatenation is left to the interpreter's own chain
// objects; filtering, generating, folding and round-robin are NativeIter
// routines.
#include "chaining.hpp"

#include "../utils/native_iter.hpp"

#include <vector>

namespace quorin {

Ref mapcat(PyObject* func, PyObject* seqs) {
    Ref mapped = call2(cells::builtins_map(), func, seqs);
    return call1(cells::chain_from_iterable(), mapped.get());
}

Ref accumulate(PyObject* binop, PyObject* seq, PyObject* const* rest, Py_ssize_t nrest) {
    if (nrest > 1) raise(PyExc_TypeError, "accumulate takes at most 3 arguments");
    Ref initial = nrest == 1 ? Ref::borrow(rest[0]) : Ref();
    Ref it = get_iter(seq);
    return native_iter([it = std::move(it), f = Ref::borrow(binop), initial = std::move(initial),
                        acc = Ref(), emitted = false]() mutable -> Ref {
        if (initial && !emitted) {
            emitted = true;
            acc = initial.clone();
            return initial.clone();
        }
        Ref item = next_item(it.get());
        if (!item) return {};
        if (!acc) {
            acc = item.clone();
            return item;
        }
        Ref next = call2(f.get(), acc.get(), item.get());
        acc = next.clone();
        return next;
    });
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
    // bool as the predicate is the truth test itself: skip the call.
    if (a[0] == reinterpret_cast<PyObject*>(&PyBool_Type)) {
        return native_iter([it = std::move(it)]() -> Ref {
            while (Ref item = next_item(it.get()))
                if (!truthy(item.get())) return item;
            return {};
        });
    }
    return native_iter([it = std::move(it), pred = Ref::borrow(a[0])]() -> Ref {
        while (Ref item = next_item(it.get())) {
            Ref verdict = call1(pred.get(), item.get());
            if (!truthy(verdict.get())) return item;
        }
        return {};
    });
}

QUORIN_FUNCTION(iterate, "iterate(func, x)") {
    return native_iter([f = Ref::borrow(a[0]), current = Ref::borrow(a[1]), first = true]() mutable -> Ref {
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
    });
}

QUORIN_FUNCTION(accumulate, "accumulate(binop, seq, *rest)") {
    return quorin::accumulate(a[0], a[1], a.rest(), a.rest_size());
}

QUORIN_FUNCTION(interleave, "interleave(seqs)") {
    std::vector<Ref> iters;
    Ref outer = get_iter(a[0]);
    while (Ref seq = next_item(outer.get())) iters.push_back(get_iter(seq.get()));
    return native_iter([iters = std::move(iters), pos = std::size_t{0}]() mutable -> Ref {
        while (!iters.empty()) {
            if (pos >= iters.size()) pos = 0;
            // The iterator is held across the call: the vector may not move
            // while user code runs, but keep the reference independent of it.
            Ref it = iters[pos].clone();
            if (Ref item = next_item(it.get())) {
                ++pos;
                return item;
            }
            iters.erase(iters.begin() + static_cast<std::ptrdiff_t>(pos));
        }
        return {};
    });
}

}  // namespace fn
}  // namespace quorin
