import collections
import operator

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("args, expected, cls", [
    ((0, [[1, 2], [3, 4]]), [1, 3], "PluckIter"),
    (("a", [{"a": 1}, {"a": 2}]), [1, 2], "PluckIter"),
    ((-1, [(1, 2), [3, 4]]), [2, 4], "PluckIter"),
    (((0, 1), [{(0, 1): "t"}]), ["t"], "PluckIter"),
    (([0, 1], [[1, 2, 3], [4, 5, 6]]), [(1, 2), (4, 5)], "NativeIter"),
    ((5, [[1]], None), [None], "NativeIter"),
    (("a", [{"b": 1}], 0), [0], "NativeIter"),
    (([0, 5], [[1]], 0), [(1, 0)], "NativeIter"),
])
def test_pluck(args, expected, cls):
    it = q.pluck(*args)
    assert type(it).__name__ == cls
    assert list(it) == expected


def test_failures_and_length_hint():
    with pytest.raises(IndexError, match="^tuple index out of range$"):
        list(q.pluck(5, [(1,)]))
    with pytest.raises(TypeError, match="^pluck takes at most 3 arguments$"):
        q.pluck(0, [[1]], 1, 2)
    with pytest.raises(ZeroDivisionError):  # not a lookup error: the default does not apply
        list(q.pluck(0, [collections.defaultdict(lambda: 1 / 0)], "default"))
    it = q.pluck(0, [[1], [2], [3]])
    assert operator.length_hint(it) == 3
    assert list(it) == [1, 2, 3] and operator.length_hint(it) == 0


@pytest.mark.parametrize("mutate, expected", [
    (lambda ind: ind.clear(), ("k0",)),
    (lambda ind: ind.append("extra"), ("k0", "k1", "k2")),
])
def test_getitem_mutating_the_index_list(mutate, expected):
    # The only references to the keys are the list's, so dropping them
    # while a key is in use would free it.
    ind = ["k%d" % i for i in range(3)]

    class Row:
        def __getitem__(self, key):
            mutate(ind)
            return key + ""
    assert list(q.pluck(ind, [Row()], None)) == [expected]
