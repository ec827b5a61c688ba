"""Distinctness and counting against the idioms they replace."""

import array
import operator
import random

from harness import Case

import quorin as q

N = 10**6
INTS_Q = array.array("q", range(N))
# Distinct values spread over the whole 64-bit range (the idiom then builds
# a million big-int objects, and neither side enjoys sequential hashes).
_rng = random.Random(4)
WIDE_Q = array.array("q", dict.fromkeys(_rng.getrandbits(64) - 2**63 for _ in range(N + N // 100)))[:N]
SMALL_INTS = list(range(N))
LIST = list(range(1000))
RANGE = range(10**5)

try:
    import numpy as np
except ImportError:  # numpy is optional on some interpreters
    np = None


def cases():
    isdistinct, count = q.isdistinct, q.count
    length_hint = operator.length_hint
    out = [
        Case("distinct", "isdistinct(array('q'), 1e6)", lambda: isdistinct(INTS_Q),
             "len(set(a.tolist())) == len(a)", lambda: len(set(INTS_Q.tolist())) == len(INTS_Q), per=N, goal=0.25),
        Case("distinct", "isdistinct(array('q') random, 1e6)", lambda: isdistinct(WIDE_Q),
             "len(set(a.tolist())) == len(a)", lambda: len(set(WIDE_Q.tolist())) == len(WIDE_Q), per=N, goal=0.25),
    ]
    if np is not None:
        arr = np.arange(N, dtype=np.int64)
        out.append(Case("distinct", "isdistinct(ndarray int64, 1e6)", lambda: isdistinct(arr),
                        "len(set(a.tolist())) == len(a)", lambda: len(set(arr.tolist())) == len(arr),
                        per=N, goal=0.25))
    out += [
        Case("distinct", "isdistinct(list of small ints)", lambda: isdistinct(SMALL_INTS),
             "len(set(x)) == len(x)", lambda: len(set(SMALL_INTS)) == len(SMALL_INTS), per=N, goal=1.0),
        Case("distinct", "count(list)", lambda: count(LIST), "len(x)", lambda: len(LIST)),
        Case("distinct", "operator.length_hint(x)", lambda: length_hint(LIST), "len(x)", lambda: len(LIST),
             floor=True, why="len(x) is inlined by the interpreter; a function call that reads the length "
             "and returns it as a new int is the least count can be"),
        Case("distinct", "count(iter(range))", lambda: count(iter(RANGE)),
             "sum(1 for _ in it)", lambda: sum(1 for _ in iter(RANGE)), per=len(RANGE)),
    ]
    return out
