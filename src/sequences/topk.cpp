// topk: a bounded native heap for integer buffers; the interpreter's stable
// list sort for everything else, so ties keep their input order.
#include "topk.hpp"

#include "../utils/int_buffer.hpp"
#include "../utils/iteration.hpp"
#include "../utils/once.hpp"
#include "grouping.hpp"

#include <algorithm>
#include <functional>
#include <optional>
#include <span>
#include <type_traits>

namespace quorin {

namespace {

template <IntElement T>
Ref ints_to_tuple(const std::vector<T>& values) {
    Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), counting::py_from(values[i]).release());
    }
    return out;
}

// The integer path: the tuple, or an empty Ref when `seq` is not a usable
// integer buffer.
Ref topk_int(std::uint64_t k, PyObject* seq) {
    std::optional<IntBuf> buf = usable_int_buffer(seq);
    if (!buf) return {};
    return buf->visit([k](auto values) {
        auto kept = counting::k_largest_dispatch(values.data(), values.size(), k);
        // Equal integers are indistinguishable: an unstable sort will do.
        std::sort(kept.begin(), kept.end(), std::greater<>());
        return ints_to_tuple(kept);
    });
}

OnceCell sort_name_cell, reverse_kwnames_cell;

// list.sort(reverse=True) on our own list: stable, so equal elements keep
// their order.
void sort_descending(PyObject* list) {
    PyObject* name = sort_name_cell.get([] { return Ref::check(PyUnicode_InternFromString("sort")); });
    PyObject* kwnames = reverse_kwnames_cell.get([] {
        Ref reverse = Ref::check(PyUnicode_InternFromString("reverse"));
        return Ref::check(PyTuple_Pack(1, reverse.get()));
    });
    PyObject* args[2] = {list, Py_True};
    Ref::check(PyObject_VectorcallMethod(name, args, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames));
}

// The first min(len, k) items of a sorted list, as a tuple.
Ref sorted_head(PyObject* list, std::uint64_t k, bool third_item) {
    const auto m = static_cast<Py_ssize_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(PyList_GET_SIZE(list)), k));
    Ref out = Ref::check(PyTuple_New(m));
    for (Py_ssize_t j = 0; j < m; ++j) {
        PyObject* item = PyList_GET_ITEM(list, j);
        if (third_item) item = PyTuple_GET_ITEM(item, 2);  // our own (key, -index, element)
        PyTuple_SET_ITEM(out.get(), j, Py_NewRef(item));
    }
    return out;
}

Ref topk_objects(std::uint64_t k, PyObject* seq) {
    Ref items = Ref::check(PySequence_List(seq));
    sort_descending(items.get());
    return sorted_head(items.get(), k, false);
}

Ref topk_keyed(std::uint64_t k, PyObject* seq, PyObject* key) {
    // Decorated as (key value, -index, element): larger keys first, and among
    // equal keys the earlier element; elements are never compared.
    Ref decorated = Ref::check(PyList_New(0));
    Ref it = get_iter(seq);
    Py_ssize_t i = 0;
    while (Ref item = next_item(it.get())) {
        Ref kv = apply_key(key, item.get());
        Ref neg = Ref::check(PyLong_FromSsize_t(-i));
        Ref entry = Ref::check(PyTuple_Pack(3, kv.get(), neg.get(), item.get()));
        check_int(PyList_Append(decorated.get(), entry.get()));
        ++i;
    }
    sort_descending(decorated.get());
    return sorted_head(decorated.get(), k, true);
}

}  // namespace

Ref topk(std::uint64_t k, PyObject* seq, PyObject* key) {
    if (key != nullptr && key != Py_None) return topk_keyed(k, seq, key);
    if (Ref ints = topk_int(k, seq)) return ints;
    return topk_objects(k, seq);
}

namespace fn {

QUORIN_FUNCTION(topk, "topk(k, seq, key=None)") {
    const std::uint64_t k = a.u64(0);
    return quorin::topk(k, a[1], a[2]);
}

}  // namespace fn

}  // namespace quorin
