// The export table: every name of the module, in the order of `__all__`
// (the stub, the documentation's list and the tests are checked against it).
// FUNCTION(name) is a module function defined with QUORIN_FUNCTION in its
// family's .cpp; CLASS(type) a class; VALUE(name, object) any other object.
#include "functions/application.hpp"

#include "functions/curry.hpp"
#include "iter/iter.hpp"
#include "option/accessors.hpp"
#include "option/values.hpp"
#include "sequences/interpose.hpp"
#include "sequences/pluck.hpp"
#include "sequences/sliding_window.hpp"
#include "sequences/unique.hpp"
#include "runtime/classes/native_iter.hpp"
#include "registry.hpp"

#define QUORIN_EXPORTS(FUNCTION, CLASS, VALUE) \
    CLASS(some_type())                         \
    CLASS(nothing_type())                      \
    CLASS(option_type())                       \
    CLASS(ok_type())                           \
    CLASS(err_type())                          \
    CLASS(result_type())                       \
    VALUE(Nothing, nothing())                  \
    FUNCTION(first_opt)                        \
    FUNCTION(last_opt)                         \
    FUNCTION(nth_opt)                          \
    FUNCTION(get_opt)                          \
    FUNCTION(get_in_opt)                       \
    FUNCTION(peek_opt)                         \
    CLASS(NativeIter::type())                  \
    FUNCTION(count)                            \
    FUNCTION(first)                            \
    FUNCTION(second)                           \
    FUNCTION(last)                             \
    FUNCTION(nth)                              \
    FUNCTION(get)                              \
    FUNCTION(isdistinct)                       \
    FUNCTION(frequencies)                      \
    FUNCTION(topk)                             \
    FUNCTION(peek)                             \
    FUNCTION(take)                             \
    FUNCTION(drop)                             \
    FUNCTION(take_nth)                         \
    FUNCTION(tail)                             \
    FUNCTION(cons)                             \
    FUNCTION(concat)                           \
    FUNCTION(concatv)                          \
    FUNCTION(interpose)                        \
    FUNCTION(interleave)                       \
    FUNCTION(sliding_window)                   \
    FUNCTION(partition)                        \
    FUNCTION(partition_all)                    \
    FUNCTION(merge_sorted)                     \
    FUNCTION(diff)                             \
    FUNCTION(groupby)                          \
    FUNCTION(countby)                          \
    FUNCTION(reduceby)                         \
    FUNCTION(mapcat)                           \
    FUNCTION(pluck)                            \
    FUNCTION(remove)                           \
    FUNCTION(accumulate)                       \
    FUNCTION(iterate)                          \
    FUNCTION(unique)                           \
    FUNCTION(join)                             \
    CLASS(curry_type())                        \
    FUNCTION(identity)                         \
    FUNCTION(apply)                            \
    FUNCTION(pipe)                             \
    FUNCTION(do_)                              \
    FUNCTION(compose)                          \
    FUNCTION(compose_left)                     \
    FUNCTION(complement)                       \
    FUNCTION(juxt)                             \
    FUNCTION(excepts)                          \
    FUNCTION(memoize)                          \
    FUNCTION(thread_first)                     \
    FUNCTION(thread_last)                      \
    VALUE(flip, flip_curry())                  \
    FUNCTION(merge)                            \
    FUNCTION(merge_with)                       \
    FUNCTION(assoc)                            \
    FUNCTION(dissoc)                           \
    FUNCTION(assoc_in)                         \
    FUNCTION(update_in)                        \
    FUNCTION(get_in)                           \
    FUNCTION(keymap)                           \
    FUNCTION(valmap)                           \
    FUNCTION(itemmap)                          \
    FUNCTION(keyfilter)                        \
    FUNCTION(valfilter)                        \
    FUNCTION(itemfilter)                       \
    CLASS(iter_type())

namespace quorin {

namespace fn {
#define QUORIN_DECLARE_FUNCTION(name) extern const Function name;
#define QUORIN_IGNORE(...)
QUORIN_EXPORTS(QUORIN_DECLARE_FUNCTION, QUORIN_IGNORE, QUORIN_IGNORE)
}  // namespace fn

void register_all(PyObject* m) {
#define QUORIN_ADD_FUNCTION(name) add_function(m, fn::name);
#define QUORIN_ADD_CLASS(type) add_type(m, type);
#define QUORIN_ADD_VALUE(name, object) add(m, #name, object);
    QUORIN_EXPORTS(QUORIN_ADD_FUNCTION, QUORIN_ADD_CLASS, QUORIN_ADD_VALUE)

    // The iterator classes that are not module attributes are made now
    // rather than at their first use; their next slot is the raw routine
    // from the class template on.
    NativeIter::install_raw_iternext();
    install_interpose_iternext();
    install_sliding_window_iternext();
    install_unique_iternext();
    install_pluck_iternext();
}

}  // namespace quorin
