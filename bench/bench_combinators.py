"""Chunking, merging and joining against the idioms they replace (10**6 elements)."""

import collections
import heapq
import itertools

from harness import Case

import quorin as q

N = 10**6
X = list(range(N))
# Two sorted halves, interleaved values.
EVENS = list(range(0, N, 2))
ODDS = list(range(1, N, 2))
# Join: 10**5 left rows with distinct keys, 10**6 right rows whose keys all match.
LEFT = [(i, str(i)) for i in range(N // 10)]
RIGHT = [(i % (N // 10), i) for i in range(N)]


def _consume(it):
    collections.deque(it, maxlen=0)


def _zip_partition(n, x):
    return zip(*[iter(x)] * n)


def _hash_join(leftkey, leftseq, rightkey, rightseq):
    index = {}
    for item in leftseq:
        k = item[leftkey]
        if k in index:
            index[k].append(item)
        else:
            index[k] = [item]
    for right in rightseq:
        for left in index.get(right[rightkey], ()):
            yield left, right


def cases():
    out = [
        Case("combine", "list(partition(4, x))", lambda: list(q.partition(4, X)), "list(zip(*[iter(x)] * 4))",
             lambda: list(_zip_partition(4, X)), per=N, goal=1.1),
        Case("combine", "list(partition(4, iter(x)))", lambda: list(q.partition(4, iter(X))),
             "list(zip(*[iter(x)] * 4))", lambda: list(_zip_partition(4, X)), per=N),
    ]
    batched = getattr(itertools, "batched", None)
    if batched is not None:
        out += [
            Case("combine", "list(partition_all(64, x))", lambda: list(q.partition_all(64, X)),
                 "list(itertools.batched(x, 64))", lambda: list(batched(X, 64)), per=N, goal=1.1),
            Case("combine", "list(partition_all(64, iter(x)))", lambda: list(q.partition_all(64, iter(X))),
                 "list(itertools.batched(x, 64))", lambda: list(batched(X, 64)), per=N),
        ]
    out += [
        Case("combine", "merge_sorted(a, b)", lambda: _consume(q.merge_sorted(EVENS, ODDS)),
             "heapq.merge(a, b)", lambda: _consume(heapq.merge(EVENS, ODDS)), per=N, goal=1.05),
        Case("combine", "chain(heapq.merge(a, b)) (floor)", lambda: _consume(itertools.chain(heapq.merge(EVENS, ODDS))),
             "heapq.merge(a, b)", lambda: _consume(heapq.merge(EVENS, ODDS)), per=N, floor=True,
             why="the result is our iterator forwarding heapq.merge's: one native step per item around the generator"),
        Case("combine", "join(0, left, 0, right)", lambda: _consume(q.join(0, LEFT, 0, RIGHT)),
             "dict-of-lists hash join", lambda: _consume(_hash_join(0, LEFT, 0, RIGHT)), per=N, goal=1.0),
    ]
    return out
