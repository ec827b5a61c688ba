#include "runtime/classes/native_iter.hpp"

namespace quorin {

namespace {
struct Empty {
    Ref next() { return {}; }
    void traverse(Visit&) const noexcept {}
};
}  // namespace

Ref empty_iter() { return native_iter(Empty{}); }

}  // namespace quorin
