#include "native_iter.hpp"

namespace quorin {

Ref empty_iter() {
    return native_iter([] { return Ref(); });
}

}  // namespace quorin
