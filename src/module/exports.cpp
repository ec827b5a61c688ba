// The export table: the order of registration is the order of `__all__`.
#include "functions/application.hpp"
#include "functions/composition.hpp"
#include "functions/curry.hpp"
#include "functions/excepts.hpp"
#include "functions/memoize.hpp"
#include "iter/iter.hpp"
#include "mappings/merging.hpp"
#include "mappings/paths.hpp"
#include "mappings/transform.hpp"
#include "option/accessors.hpp"
#include "option/values.hpp"
#include "sequences/access.hpp"
#include "sequences/chaining.hpp"
#include "sequences/distinct.hpp"
#include "sequences/frequencies.hpp"
#include "sequences/grouping.hpp"
#include "sequences/joining.hpp"
#include "sequences/merging.hpp"
#include "sequences/partitioning.hpp"
#include "sequences/interpose.hpp"
#include "sequences/pluck.hpp"
#include "sequences/sliding_window.hpp"
#include "sequences/slicing.hpp"
#include "sequences/topk.hpp"
#include "sequences/unique.hpp"
#include "runtime/classes/native_iter.hpp"
#include "registry.hpp"

namespace quorin {

void register_all(PyObject* m) {
    add_type(m, some_type());
    add_type(m, nothing_type());
    add_type(m, option_type());
    add_type(m, ok_type());
    add_type(m, err_type());
    add_type(m, result_type());
    add(m, "Nothing", nothing());
    add_function(m, fn::first_opt);
    add_function(m, fn::last_opt);
    add_function(m, fn::nth_opt);
    add_function(m, fn::get_opt);
    add_function(m, fn::get_in_opt);
    add_function(m, fn::peek_opt);

    add_type(m, NativeIter::type());
    NativeIter::install_raw_iternext();

    add_function(m, fn::count);
    add_function(m, fn::first);
    add_function(m, fn::second);
    add_function(m, fn::last);
    add_function(m, fn::nth);
    add_function(m, fn::get);
    add_function(m, fn::isdistinct);
    add_function(m, fn::frequencies);
    add_function(m, fn::topk);
    add_function(m, fn::peek);
    add_function(m, fn::take);
    add_function(m, fn::drop);
    add_function(m, fn::take_nth);
    add_function(m, fn::tail);
    add_function(m, fn::cons);
    add_function(m, fn::concat);
    add_function(m, fn::concatv);
    add_function(m, fn::interpose);
    add_function(m, fn::interleave);
    add_function(m, fn::sliding_window);
    add_function(m, fn::partition);
    add_function(m, fn::partition_all);
    add_function(m, fn::merge_sorted);
    add_function(m, fn::diff);
    add_function(m, fn::groupby);
    add_function(m, fn::countby);
    add_function(m, fn::reduceby);
    add_function(m, fn::mapcat);
    add_function(m, fn::pluck);
    add_function(m, fn::remove);
    add_function(m, fn::accumulate);
    add_function(m, fn::iterate);
    add_function(m, fn::unique);
    add_function(m, fn::join);

    // The dedicated iterator classes are created here (not module
    // attributes); their next slots become the raw routines.
    install_interpose_iternext();
    install_sliding_window_iternext();
    install_unique_iternext();
    install_pluck_iternext();

    add_type(m, curry_type());
    add_function(m, fn::identity);
    add_function(m, fn::apply);
    add_function(m, fn::pipe);
    add_function(m, fn::do_);
    add_function(m, fn::compose);
    add_function(m, fn::compose_left);
    add_function(m, fn::complement);
    add_function(m, fn::juxt);
    add_function(m, fn::excepts);
    add_function(m, fn::memoize);
    add_function(m, fn::thread_first);
    add_function(m, fn::thread_last);
    add(m, "flip", flip_curry());

    add_function(m, fn::merge);
    add_function(m, fn::merge_with);
    add_function(m, fn::assoc);
    add_function(m, fn::dissoc);
    add_function(m, fn::assoc_in);
    add_function(m, fn::update_in);
    add_function(m, fn::get_in);
    add_function(m, fn::keymap);
    add_function(m, fn::valmap);
    add_function(m, fn::itemmap);
    add_function(m, fn::keyfilter);
    add_function(m, fn::valfilter);
    add_function(m, fn::itemfilter);

    add_type(m, iter_type());
}

}  // namespace quorin
