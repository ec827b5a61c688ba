"""Dedicated iterators (unique, sliding_window, pluck, interpose) against
the idioms they replace."""

import random
from collections import deque
from itertools import islice
from operator import itemgetter

from harness import Case

import quorin as q

N = 10**6
_rng = random.Random(7)
SMALL = [_rng.randrange(1000) for _ in range(N)]
WORDS = [f"w{v}" for v in SMALL]
SEQ = list(range(N))
ROWS = [(i, i + 1, i + 2) for i in range(N)]
DICT_ROWS = [{"a": i} for i in range(N // 10)]


def seen_loop(xs):
    seen = set()
    out = []
    for x in xs:
        if x not in seen:
            seen.add(x)
            out.append(x)
    return out


def deque_windows(n, xs):
    it = iter(xs)
    d = deque(islice(it, n - 1), maxlen=n)
    out = []
    for x in it:
        d.append(x)
        out.append(tuple(d))
    return out


def interposed(sep, xs):
    out = []
    it = iter(xs)
    for x in it:
        out.append(x)
        break
    for x in it:
        out.append(sep)
        out.append(x)
    return out


def cases():
    unique, sliding_window, pluck, interpose = q.unique, q.sliding_window, q.pluck, q.interpose
    return [
        Case("iterators", "list(unique(x)) small ints", lambda: list(unique(SMALL)),
             "list(dict.fromkeys(x))", lambda: list(dict.fromkeys(SMALL)), per=N, goal=0.6),
        Case("iterators", "list(unique(x)) small ints", lambda: list(unique(SMALL)),
             "seen-set loop", lambda: seen_loop(SMALL), per=N),
        Case("iterators", "list(unique(x)) strings", lambda: list(unique(WORDS)),
             "list(dict.fromkeys(x))", lambda: list(dict.fromkeys(WORDS)), per=N),
        Case("iterators", "list(sliding_window(3, x))", lambda: list(sliding_window(3, SEQ)),
             "list(zip(x, x[1:], x[2:]))", lambda: list(zip(SEQ, SEQ[1:], SEQ[2:])), per=N, goal=1.0),
        Case("iterators", "list(sliding_window(3, x))", lambda: list(sliding_window(3, SEQ)),
             "deque loop", lambda: deque_windows(3, SEQ), per=N),
        Case("iterators", "list(pluck(0, rows))", lambda: list(pluck(0, ROWS)),
             "list(map(itemgetter(0), rows))", lambda: list(map(itemgetter(0), ROWS)), per=N, goal=1.0),
        Case("iterators", "list(pluck('a', dicts))", lambda: list(pluck("a", DICT_ROWS)),
             "list(map(itemgetter('a'), dicts))", lambda: list(map(itemgetter("a"), DICT_ROWS)),
             per=len(DICT_ROWS)),
        Case("iterators", "list(interpose(0, x))", lambda: list(interpose(0, SEQ)),
             "append loop", lambda: interposed(0, SEQ), per=N),
    ]
