// Lazy merge of sorted inputs. The comparisons are the standard heap merge's
// own; the result only forwards its iterator.
#include "runtime/classes/function.hpp"
#include "runtime/core/iteration.hpp"
#include "runtime/classes/native_iter.hpp"
#include "runtime/core/once.hpp"

namespace quorin {

namespace {

struct ForwardStep {
    Ref it;

    Ref next() { return next_item(it.get()); }
    void traverse(Visit& v) const noexcept { v(it); }
};

}  // namespace

namespace fn {

QUORIN_FUNCTION(merge_sorted, "merge_sorted(*seqs, key=None)") {
    // Looked up at every call, so a replaced heapq.merge is the one used.
    Ref merge = module_attr(QUORIN_NAME("heapq"), QUORIN_NAME("merge"));
    const auto nseqs = static_cast<std::size_t>(a.rest_size());
    Ref merged;
    if (a[0] == Py_None) {
        merged = Ref::check(PyObject_Vectorcall(merge.get(), a.rest(), nseqs, nullptr));
    } else {
        Ref kwargs = Ref::check(PyDict_New());
        check_int(PyDict_SetItem(kwargs.get(), QUORIN_NAME("key"), a[0]));
        merged = Ref::check(PyObject_VectorcallDict(merge.get(), a.rest(), nseqs, kwargs.get()));
    }
    return native_iter(ForwardStep{get_iter(merged.get())});
}

}  // namespace fn
}  // namespace quorin
