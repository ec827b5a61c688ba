// unique: elements not seen before, in order of first appearance. Integer
// buffers are scanned natively with a native integer set, so duplicates are
// never boxed or hashed; everything else is read through PySource and
// remembered in a PySeen.
#include "unique.hpp"

#include "runtime/buffers/int_buffer.hpp"
#include "runtime/classes/native_iter.hpp"
#include "runtime/tables/py_seen.hpp"
#include "runtime/buffers/py_source.hpp"

#include <optional>
#include <variant>

namespace quorin {

namespace {

struct UniqueImpl {
    static constexpr const char* name = "UniqueIter";
    static constexpr const char* doc =
        "Lazily yields the elements not seen before, in order of first appearance.\n"
        "Exact lists are read by index; values (or keys) are remembered in a native\n"
        "hash set keyed by Python hash, with dictionary equality.";
    static constexpr const char* length_hint_doc =
        "Upper bound (PEP 424 allows estimates): every remaining source\n"
        "element could be new. Lets consumers preallocate.";

    struct State {
        PySeen seen;
        PySource src;
        Ref key;  // empty: the element is its own key

        void traverse(Visit& v) const noexcept { v(seen.objects())(src)(key); }
    };

    static Ref raw_next(State& s) {
        // One level of nesting for the step, however many repeats it skips.
        StepGuard guard(s.src.nests());
        while (Ref x = s.src.next_in_step()) {
            if (!s.key) {
                if (s.seen.insert(x.get())) return x;
                continue;
            }
            Ref k = call1(s.key.get(), x.get());
            if (s.seen.insert(k.get())) return x;
        }
        return {};
    }

    static Py_ssize_t length_hint(State& s) { return s.src.length_hint(); }
};
using UniqueIter = IterClass<UniqueImpl>;

struct UniqueIntImpl {
    static constexpr const char* name = "UniqueIntIter";
    static constexpr const char* doc =
        "Lazily yields the distinct values of a one-dimensional integer buffer, in\n"
        "order of first appearance. The buffer is scanned in place and seen values\n"
        "kept in a native integer set: only the values yielded become Python ints.";
    static constexpr const char* length_hint_doc =
        "Upper bound (PEP 424 allows estimates): every remaining element\n"
        "could be new.";

    using Sets = std::variant<IntSet<i64>, IntSet<u8>, IntSet<i32>, IntSet<u64>, IntSet<u32>, IntSet<i16>, IntSet<u16>,
                              IntSet<i8>>;

    struct State {
        // Held until the scan ends or the iterator is freed; while it is
        // held the exporter stays exported (a bytearray cannot be resized).
        std::optional<IntBuf> buf;
        std::size_t pos = 0;
        Sets seen;

        explicit State(IntBuf b)
            : buf(std::move(b)), seen(buf->visit([](auto values) -> Sets {
                  return Sets(std::in_place_type<IntSet<typename decltype(values)::value_type>>);
              })) {}

        // The view holds the exporter strongly.
        void traverse(Visit& v) const noexcept {
            if (buf) v(buf->view().obj);
        }
    };

    static Ref raw_next(State& s) {
        if (!s.buf) return {};
        Ref out = s.buf->visit([&s](auto values) -> Ref {
            auto& seen = std::get<IntSet<typename decltype(values)::value_type>>(s.seen);
            while (s.pos < values.size()) {
                const auto v = values[s.pos++];
                if (seen.insert(v)) return py_from(v);
            }
            return {};
        });
        // The end: let the exporter go now rather than at release.
        if (!out) s.buf.reset();
        return out;
    }

    static Py_ssize_t length_hint(State& s) {
        if (!s.buf) return 0;
        const std::size_t n = s.buf->size();
        return s.pos < n ? static_cast<Py_ssize_t>(n - s.pos) : 0;
    }
};
using UniqueIntIter = IterClass<UniqueIntImpl>;

}  // namespace

Ref unique(PyObject* seq, PyObject* key) {
    if (key == Py_None) {
        if (std::optional<IntBuf> buf = usable_int_buffer(seq)) return UniqueIntIter::make(std::move(*buf));
    }
    PySource src = PySource::from(seq);
    return UniqueIter::make(UniqueImpl::State{PySeen(), std::move(src), key == Py_None ? Ref() : Ref::borrow(key)});
}

void install_unique_iternext() {
    UniqueIter::install_raw_iternext();
    UniqueIntIter::install_raw_iternext();
}

namespace fn {
QUORIN_FUNCTION(unique, "unique(seq, key=None)") { return quorin::unique(a[0], a[1]); }
}  // namespace fn

}  // namespace quorin
