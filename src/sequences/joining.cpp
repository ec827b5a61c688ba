// Walking several inputs side by side: diff yields the rows where they
// differ; join is a hash join of two inputs with optional outer rows.
#include "runtime/classes/function.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/classes/native_iter.hpp"
#include "runtime/core/once.hpp"
#include "runtime/tables/key.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace quorin {

namespace {

// Whether values[0] == values[i] is truthy for every i (rich comparison, the
// first value on the left, no identity shortcut, so a NaN is not equal even
// to itself). The n >= 1 references are borrowed: the caller keeps them
// alive for the call. Comparison errors propagate.
bool all_equal(PyObject* const* values, std::size_t n);

bool all_equal(PyObject* const* values, std::size_t n) {
    for (std::size_t i = 1; i < n; ++i) {
        Ref eq = Ref::check(PyObject_RichCompare(values[0], values[i], Py_EQ));
        if (!truthy(eq.get())) return false;
    }
    return true;
}

// Moves the references of `items` into a new tuple, leaving `items` empty
// references.
Ref tuple_of(std::vector<Ref>& items) {
    const auto n = static_cast<Py_ssize_t>(items.size());
    Ref t = Ref::check(PyTuple_New(n));
    for (Py_ssize_t i = 0; i < n; ++i) PyTuple_SET_ITEM(t.get(), i, items[i].release());
    return t;
}

// dict[key] as a new reference; an empty Ref when the key is missing.
Ref lookup(PyObject* dict, PyObject* key) {
    PyObject* found = nullptr;
    if (compat::dict_get_item_ref(dict, key, &found) < 0) ffi_err();
    return Ref::steal(found);
}

// Both are held before the tuple is made: `left` may be read from a list
// that code run by the allocation (a finalizer) can empty.
Ref pair(PyObject* left, PyObject* right) {
    Ref l = Ref::borrow(left), r = Ref::borrow(right);
    Ref t = Ref::check(PyTuple_New(2));
    PyTuple_SET_ITEM(t.get(), 0, l.release());
    PyTuple_SET_ITEM(t.get(), 1, r.release());
    return t;
}

// Scratch vectors of a step are empty between steps, whichever way a step
// ends, so nothing of a dropped row outlives its step.
struct Emptied {
    std::vector<Ref>& a;
    std::vector<Ref>& b;
    std::vector<PyObject*>& c;
    ~Emptied() {
        a.clear();
        b.clear();
        c.clear();
    }
};

struct DiffStep {
    // One iterator per input; emptied when it ends and there is a fill value.
    std::vector<Ref> slots;
    Ref fill, key;
    std::vector<Ref> row, keys;
    std::vector<PyObject*> compared;
    bool nests = std::ranges::any_of(slots, [](const Ref& it) { return may_nest(it.get()); });

    Ref next() {
        StepGuard guard(nests);
        Emptied emptied{row, keys, compared};
        for (;;) {
            row.clear();
            keys.clear();
            compared.clear();
            if (!take_row()) return {};
            if (key) {
                for (const Ref& value : row) keys.push_back(call1(key.get(), value.get()));
                for (const Ref& k : keys) compared.push_back(k.get());
            } else {
                for (const Ref& value : row) compared.push_back(value.get());
            }
            if (!all_equal(compared.data(), compared.size())) return tuple_of(row);
        }
    }

    // False at the end: without a fill value when any input ends, with one
    // when none gave a real item.
    bool take_row() {
        bool real = false;
        for (Ref& slot : slots) {
            if (slot) {
                Ref it = slot.clone();
                if (Ref item = next_item(it.get())) {
                    row.push_back(std::move(item));
                    real = true;
                    continue;
                }
                if (!fill) return false;
                slot.reset();
            }
            row.push_back(fill.clone());
        }
        return real;
    }

    void traverse(Visit& v) const noexcept { v(slots)(fill)(key)(row)(keys); }
};

// Phases: the left index is built on the first advance; then the right
// input is streamed; then the right-outer rows are drained.
struct JoinStep {
    Ref left_seq, left_key, right_it, right_key;
    Ref matched;  // set of the right keys that found a left item
    Ref index;    // left key -> list of left items; empty until built
    Ref left_default, right_default;
    // The left items matched by the current right item, the next to pair.
    Ref matches, match_right;
    Py_ssize_t match_pos = 0;
    std::optional<std::vector<Ref>> leftover;
    std::size_t leftover_pos = 0;
    bool right_nests = may_nest(right_it.get());

    Ref next() {
        if (!index) build_index();
        if (matches) {
            if (Ref row = next_match()) return row;
        }
        if (!leftover) {
            StepGuard guard(right_nests);
            while (Ref right = next_item(right_it.get())) {
                Ref k = apply_key(right_key.get(), right.get());
                if (Ref items = lookup(index.get(), k.get())) {
                    require_group(items.get());
                    check_int(PySet_Add(matched.get(), k.get()));
                    matches = std::move(items);
                    match_right = std::move(right);
                    match_pos = 0;
                    if (Ref row = next_match()) return row;
                } else if (left_default) {
                    return pair(left_default.get(), right.get());
                }
            }
            leftover = outer_rows();
        }
        if (leftover_pos < leftover->size()) return std::move((*leftover)[leftover_pos++]);
        leftover->clear();
        return {};
    }

    void build_index() {
        Ref built = Ref::check(PyDict_New());
        Ref it = get_iter(left_seq.get());
        StepGuard guard(may_nest(it.get()));
        while (Ref item = next_item(it.get())) {
            Ref k = apply_key(left_key.get(), item.get());
            if (Ref items = lookup(built.get(), k.get())) {
                check_int(PyList_Append(items.get(), item.get()));
            } else {
                Ref group = Ref::check(PyList_New(1));
                PyList_SET_ITEM(group.get(), 0, item.release());
                check_int(PyDict_SetItem(built.get(), k.get(), group.get()));
            }
        }
        index = std::move(built);
        // The index holds every left item now; the input is not read again.
        left_seq.reset();
    }

    // The index is private, but the collector's referent lists make it
    // reachable: a group replaced from outside is refused, not trusted.
    static void require_group(PyObject* items) {
        if (!PyList_CheckExact(items)) throw Panic("join index changed from outside");
    }

    // The group is re-measured at every row, for the same reason.
    Ref next_match() {
        PyObject* list = matches.get();
        if (match_pos < PyList_GET_SIZE(list)) {
            Ref row = pair(PyList_GET_ITEM(list, match_pos), match_right.get());
            if (++match_pos == PyList_GET_SIZE(list)) {
                matches.reset();
                match_right.reset();
            }
            return row;
        }
        matches.reset();
        match_right.reset();
        return {};
    }

    // (left item, right default) for every left item whose key no right
    // item matched, grouped by key in order of first appearance.
    std::vector<Ref> outer_rows() {
        std::vector<Ref> rows;
        if (!right_default) return rows;
        Py_ssize_t pos = 0;
        PyObject *k = nullptr, *v = nullptr;
        while (PyDict_Next(index.get(), &pos, &k, &v)) {
            // Held: the membership test may run user code.
            Ref key = Ref::borrow(k), items = Ref::borrow(v);
            require_group(items.get());
            if (check_int(PySet_Contains(matched.get(), key.get())) == 1) continue;
            for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i)
                rows.push_back(pair(PyList_GET_ITEM(items.get(), i), right_default.get()));
        }
        return rows;
    }

    void traverse(Visit& v) const noexcept {
        v(left_seq)(left_key)(
            right_it)(right_key)(matched)(index)(left_default)(right_default)(matches)(match_right)(leftover);
    }
};

// A keyword of `kwargs` (may be null): an empty Ref when absent.
Ref keyword(PyObject* kwargs, PyObject* name) { return kwargs == nullptr ? Ref() : lookup(kwargs, name); }

Ref unless_none(PyObject* o) { return o == Py_None ? Ref() : Ref::borrow(o); }

}  // namespace

namespace fn {

QUORIN_FUNCTION_CLASSIC(diff, "diff(*seqs, **kwargs)") {
    Ref fill = keyword(a.kwargs(), QUORIN_NAME("default"));
    Ref key = keyword(a.kwargs(), QUORIN_NAME("key"));
    if (key.get() == Py_None) key.reset();
    std::vector<Ref> seqs;
    if (a.rest_size() == 1 && PyList_Check(a.rest()[0])) {
        Ref outer = get_iter(a.rest()[0]);
        while (Ref seq = next_item(outer.get())) seqs.push_back(std::move(seq));
    } else {
        for (Py_ssize_t i = 0; i < a.rest_size(); ++i) seqs.push_back(Ref::borrow(a.rest()[i]));
    }
    if (seqs.size() < 2) raise(PyExc_TypeError, "Too few sequences given (min 2 required)");
    for (Ref& seq : seqs) seq = get_iter(seq.get());
    return native_iter(DiffStep{std::move(seqs), std::move(fill), std::move(key), {}, {}, {}});
}

QUORIN_FUNCTION(join, "join(leftkey, leftseq, rightkey, rightseq, left_default=None, right_default=None)") {
    Ref matched = Ref::check(PySet_New(nullptr));
    Ref right_it = get_iter(a[3]);
    return native_iter(JoinStep{Ref::borrow(a[1]), Ref::borrow(a[0]), std::move(right_it), Ref::borrow(a[2]),
                                std::move(matched), Ref(), unless_none(a[4]), unless_none(a[5]), Ref(), Ref(), 0,
                                std::nullopt, 0});
}

}  // namespace fn
}  // namespace quorin
