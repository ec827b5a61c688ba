// frequencies: native counting of integer buffers (parallel for large ones),
// the key index for everything else. Both give the same dictionary.
#include "frequencies.hpp"

#include "runtime/core/iteration.hpp"
#include "runtime/tables/key_index.hpp"

#include <optional>
#include <span>
#include <type_traits>

namespace quorin {

namespace {

template <IntElement T>
Ref count_ints(std::span<const T> values) {
    counting::Counts<T> counts = counting::count_buffer(values.data(), values.size());
    Ref out = Ref::check(PyDict_New());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        Ref key = counting::py_from(counts.order()[i]);
        Ref count = py_uint(counts.counts()[i]);
        check_int(PyDict_SetItem(out.get(), key.get(), count.get()));
    }
    return out;
}

Ref count_objects(PyObject* seq) {
    KeyTally<TallyCount> tally(known_length(seq));
    auto count = [&tally](PyObject* item) { tally.add(item); };
    if (PyList_CheckExact(seq)) {
        // Hashing and comparing run user code that may resize the list: the
        // length is read anew at every step and each item is held meanwhile.
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(seq); ++i) {
            if (tally.many_keys()) prefetch_ahead(seq, i);
            Ref item = Ref::borrow(PyList_GET_ITEM(seq, i));
            count(item.get());
        }
    } else if (PyTuple_CheckExact(seq)) {
        for (Py_ssize_t i = 0, n = PyTuple_GET_SIZE(seq); i < n; ++i) {
            if (tally.many_keys()) prefetch_ahead(seq, i);
            count(PyTuple_GET_ITEM(seq, i));
        }
    } else {
        Ref it = get_iter(seq);
        while (Ref item = next_item(it.get())) count(item.get());
    }
    return std::move(tally).finish();
}

}  // namespace

Ref frequencies_int(PyObject* seq) {
    std::optional<IntBuf> buf = usable_int_buffer(seq);
    if (!buf) return {};
    // The view stays acquired (and the exporter pinned) until every chunk,
    // on whatever thread, has finished and the dictionary is built.
    return buf->visit([](auto values) { return count_ints(values); });
}

Ref frequencies(PyObject* seq) {
    if (Ref counted = frequencies_int(seq)) return counted;
    return count_objects(seq);
}

namespace fn {

QUORIN_FUNCTION(frequencies, "frequencies(seq)") { return quorin::frequencies(a[0]); }

}  // namespace fn

}  // namespace quorin
