"""Functions that read a list's items in place, run while the collector runs
at nearly every allocation and a finalizer empties the list meanwhile: every
item they give back must still be one of the list's own."""

import gc

import pytest

from quorin import _quorin as q
from quorin._quorin import Iter

BIG = 10 ** 20  # ints made anew, so the list holds their only reference


class _Trap:
    """A garbage cycle. Its finalizer leaves a fresh trap behind `fuse` times,
    then empties `target`, so the list is emptied at the fuse-th collection."""

    def __init__(self, target, fuse):
        self.target, self.fuse, self.me = target, fuse, self

    def __del__(self):
        if self.fuse:
            _Trap(self.target, self.fuse - 1)
        else:
            self.target[:] = []


def _flat(rows):
    return [x for row in rows for x in row if x is not None]


def _opt(option):
    return [option.unwrap_or(None)] if option.unwrap_or(None) is not None else []


def _tuples(n):
    return [(BIG + i,) for i in range(n)]


def _ints(n):
    return [BIG + i for i in range(n)]


# (make the list, run the function, the items it gave back)
CASES = {
    "partition": (_ints, lambda s: _flat(q.partition(2, s))),
    "partition_pad": (_ints, lambda s: _flat(q.partition(3, s, None))),
    "partition_all": (_ints, lambda s: _flat(q.partition_all(3, s))),
    "topk": (_ints, lambda s: list(q.topk(5, s))),
    "first": (_ints, lambda s: [q.first(s)]),
    "last": (_ints, lambda s: [q.last(s)]),
    "nth": (_ints, lambda s: [q.nth(3, s)]),
    "first_opt": (_ints, lambda s: _opt(q.first_opt(s))),
    "last_opt": (_ints, lambda s: _opt(q.last_opt(s))),
    "nth_opt": (_ints, lambda s: _opt(q.nth_opt(3, s))),
    "frequencies": (_ints, lambda s: list(q.frequencies(s))),
    "countby": (_ints, lambda s: list(q.countby(abs, s))),
    "groupby": (_ints, lambda s: _flat(q.groupby(abs, s).values())),
    "isdistinct": (_ints, lambda s: [BIG] * q.isdistinct(s)),
    "unique": (_ints, lambda s: list(q.unique(s))),
    "interpose": (_ints, lambda s: list(q.interpose(BIG, s))),
    "sliding_window": (_ints, lambda s: _flat(q.sliding_window(2, s))),
    "interleave": (_ints, lambda s: list(q.interleave([s, s]))),
    "remove": (_ints, lambda s: list(q.remove(lambda x: False, s))),
    "Iter": (_ints, lambda s: Iter(s).map(abs).collect()),
    "pluck": (_tuples, lambda s: list(q.pluck(0, s))),
    "pluck_default": (_tuples, lambda s: _flat(q.pluck([0], s, None))),
    "get": (_tuples, lambda s: _flat(row for row in q.get([0, 1], s, None) if row is not None)),
    "join": (_tuples, lambda s: [x for a, b in q.join(0, s, 0, s) for x in a + b]),
}


@pytest.mark.no_refleak
@pytest.mark.parametrize("fuse", [0, 1, 2, 3, 5, 8])
@pytest.mark.parametrize("name", CASES)
def test_items_read_while_a_finalizer_empties_the_list(name, fuse):
    make, run = CASES[name]
    threshold = gc.get_threshold()
    for n in (7, 40):
        items = make(n)
        _Trap(items, fuse)
        gc.set_threshold(1)
        try:
            produced = run(items)
        except (StopIteration, IndexError):
            produced = []  # emptied before the one item asked for
        finally:
            gc.set_threshold(*threshold)
            gc.collect()
        assert all(type(x) is int and x >= BIG for x in produced), name


@pytest.mark.no_refleak
@pytest.mark.parametrize("fuse", [0, 1, 2, 3, 5, 8])
@pytest.mark.parametrize("chunks", [
    lambda s: q.partition(2, s), lambda s: q.partition(3, s, None), lambda s: q.partition_all(3, s),
    lambda s: q.partition(4, iter(s)),
])
def test_chunks_of_a_list_emptied_meanwhile_are_the_first_of_its_own(chunks, fuse):
    # Emptying the list ends it: no chunk mixes items from before and after,
    # and none is padded or cut short for it.
    items = _ints(41)
    whole = list(chunks(list(items)))
    _Trap(items, fuse)
    threshold = gc.get_threshold()
    gc.set_threshold(1)
    try:
        rows = list(chunks(items))
    finally:
        gc.set_threshold(*threshold)
        gc.collect()
    assert rows == whole[:len(rows)]
