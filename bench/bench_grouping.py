"""groupby / countby / reduceby against the loops a user would write with the
same key function, at low (10 keys) and high (100,000 keys) cardinality."""

import operator
from collections import Counter, defaultdict

from harness import Case

from quorin import _quorin as q

N = 10**6
SEQ = list(range(N))


def low(x):
    return x % 10


def high(x):
    return x % 100_000


def groupby_loop(key, seq):
    d = defaultdict(list)
    for x in seq:
        d[key(x)].append(x)
    return d


def countby_loop(key, seq):
    d = defaultdict(int)
    for x in seq:
        d[key(x)] += 1
    return d


def reduceby_loop(key, binop, seq):
    d = {}
    for x in seq:
        k = key(x)
        d[k] = binop(d[k], x) if k in d else x
    return d


def _groupby_first(seq):
    d = defaultdict(list)
    for x in seq:
        d[x[0]].append(x)
    return d


# The key function's own cost bounds every ratio from below: calling a
# Python function from native code costs about as much as the whole
# bookkeeping of the idiom's loop, which calls it from the eval loop.
KEY_FLOOR = "the key calls alone, made from native code as ours are: no tally can cost less"
# groupby must also build the groups and the caller frees them, one pass over
# the elements per group either way; for x % 10 the groups are exactly the
# strided slices, built natively.
GROUPS_FLOOR = "the key calls from native code, plus the same 10 group lists built (and freed) by slicing"

# The same for string lengths: as many lists as there are lengths, holding
# every string once, built natively; each string is touched to be held and
# again to be freed, which is most of the cost for strings spread over memory.
WORD_GROUPS_FLOOR = "the len calls from native code, plus as many group lists holding every string once, by slicing"


def cases():
    out = []
    for label, key in (("low", low), ("high", high)):
        out += [
            Case("grouping", f"groupby(key, list) {label}", lambda key=key: q.groupby(key, SEQ),
                 "defaultdict(list) loop", lambda key=key: groupby_loop(key, SEQ), per=N, goal=0.6),
            Case("grouping", f"list(map(key, seq)) {label} (floor)", lambda key=key: list(map(key, SEQ)),
                 "defaultdict(list) loop", lambda key=key: groupby_loop(key, SEQ), per=N, floor=True, why=KEY_FLOOR),
            Case("grouping", f"countby(key, list) {label}", lambda key=key: q.countby(key, SEQ),
                 "Counter(map(key, seq))", lambda key=key: Counter(map(key, SEQ)), per=N),
            Case("grouping", f"countby(key, list) {label}", lambda key=key: q.countby(key, SEQ),
                 "defaultdict(int) loop", lambda key=key: countby_loop(key, SEQ), per=N, goal=0.6),
            Case("grouping", f"list(map(key, seq)) {label} (floor)", lambda key=key: list(map(key, SEQ)),
                 "defaultdict(int) loop", lambda key=key: countby_loop(key, SEQ), per=N, floor=True, why=KEY_FLOOR),
            Case("grouping", f"reduceby(key, add, list) {label}",
                 lambda key=key: q.reduceby(key, operator.add, SEQ),
                 "dict loop", lambda key=key: reduceby_loop(key, operator.add, SEQ), per=N),
        ]
    out.insert(2, Case("grouping", "list(map(key, seq)) + slices low (floor)",
                       lambda: (list(map(low, SEQ)), [SEQ[i::10] for i in range(10)]),
                       "defaultdict(list) loop", lambda: groupby_loop(low, SEQ), per=N, floor=True,
                       why=GROUPS_FLOOR))
    # Built-in key functions: the call is cheap, so the bookkeeping shows.
    words = [str(i % 5000) * (1 + i % 7) for i in range(N)]
    pairs = [(i % 1000, i) for i in range(N)]
    first = operator.itemgetter(0)
    lengths = len({len(w) for w in words})
    out += [
        Case("grouping", "groupby(len, strings)", lambda: q.groupby(len, words),
             "defaultdict(list) loop", lambda: groupby_loop(len, words), per=N, goal=0.6),
        Case("grouping", "list(map(len, strings)) + slices (floor)",
             lambda: (list(map(len, words)), [words[i::lengths] for i in range(lengths)]),
             "defaultdict(list) loop", lambda: groupby_loop(len, words), per=N, floor=True,
             why=WORD_GROUPS_FLOOR),
        Case("grouping", "groupby(itemgetter(0), tuples)", lambda: q.groupby(first, pairs),
             "defaultdict(list) loop", lambda: groupby_loop(first, pairs), per=N, goal=0.6),
        Case("grouping", "groupby(0, tuples)", lambda: q.groupby(0, pairs),
             "defaultdict(list) loop, x[0]", lambda: _groupby_first(pairs), per=N),
    ]
    # The identity key exercises the hashing and chains rather than the key call.
    out.append(Case("grouping", "groupby(ident, list) distinct", lambda: q.groupby(int, SEQ),
                    "defaultdict(list) loop", lambda: groupby_loop(int, SEQ), per=N))
    return out

