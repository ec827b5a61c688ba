"""Mapping functions against the dict idioms they replace (dicts of 10^5 items)."""

from collections import defaultdict, deque

from harness import Case

import quorin as q

N = 100_000
A = {i: i for i in range(N)}
B = {i: -i for i in range(N // 2, N + N // 2)}
WORDS = {str(i): i for i in range(N)}
NESTED = {"a": {"b": {"c": {"d": 1}}}}
PATH = ["a", "b", "c", "d"]
MISS = ["a", "b", "x", "d"]


def _merge_with_loop(f, *dicts):
    groups = defaultdict(list)
    for d in dicts:
        for k, v in d.items():
            groups[k].append(v)
    return {k: f(v) for k, v in groups.items()}


def _get_in_loop(keys, coll, default=None):
    try:
        for k in keys:
            coll = coll[k]
        return coll
    except (KeyError, IndexError, TypeError):
        return default


def _nested_copy(d, keys, leaf):
    """A copy of d in which each level along keys is copied and the last key
    maps to leaf(old value)."""
    out = dict(d)
    inner = out
    for k in keys[:-1]:
        child = inner.get(k)
        child = dict(child) if isinstance(child, dict) else {}
        inner[k] = child
        inner = child
    inner[keys[-1]] = leaf(inner.get(keys[-1]))
    return out


def cases():
    inc = (1).__add__
    odd = (2).__rmod__
    neg = int.__neg__
    wide = dict(WORDS, a=NESTED["a"])
    plus1 = lambda v: v + 1  # noqa: E731
    return [
        Case("mappings", "merge(a, b)", lambda: q.merge(A, B), "{**a, **b}", lambda: {**A, **B},
             per=N, goal=1.1),
        Case("mappings", "merge(a, b)", lambda: q.merge(A, B), "c = dict(a); c.update(b)",
             lambda: (lambda c: (c.update(B), c))(dict(A)), per=N),
        Case("mappings", "merge_with(sum, a, b)", lambda: q.merge_with(sum, A, B), "defaultdict(list) loop",
             lambda: _merge_with_loop(sum, A, B), per=N),
        Case("mappings", "assoc(d, k, v)", lambda: q.assoc(A, -1, 0), "{**d, k: v}", lambda: {**A, -1: 0},
             per=N, goal=1.1),
        Case("mappings", "dissoc(d, k)", lambda: q.dissoc(A, 5), "c = dict(d); del c[k]",
             lambda: (lambda c: (c.pop(5), c))(dict(A)), per=N),
        Case("mappings", "valmap(f, d)", lambda: q.valmap(inc, A), "{k: f(v) for k, v in d.items()}",
             lambda: {k: inc(v) for k, v in A.items()}, per=N, goal=1.0),
        Case("mappings", "valmap(lambda, d)", lambda: q.valmap(lambda v: v + 1, A), "{k: v + 1 for ...}",
             lambda: {k: v + 1 for k, v in A.items()}, per=N),
        Case("mappings", "valmap(lambda, d)", lambda: q.valmap(plus1, A), "{k: f(v) for ...}  (same lambda)",
             lambda: {k: plus1(v) for k, v in A.items()}, per=N),
        Case("mappings", "deque(map(lambda, d.values()), 0)", lambda: deque(map(plus1, A.values()), 0),
             "{k: v + 1 for ...}", lambda: {k: v + 1 for k, v in A.items()}, per=N, floor=True,
             why="valmap must call the lambda once per value; the inlined v + 1 calls nothing"),
        Case("mappings", "dict(zip(d, map(lambda, d.values())))", lambda: dict(zip(A, map(plus1, A.values()))),
             "{k: v + 1 for ...}", lambda: {k: v + 1 for k, v in A.items()}, per=N, floor=True,
             why="the same dict built by native code with the same lambda calls: the calls and the building"),
        Case("mappings", "keymap(f, d)", lambda: q.keymap(neg, A), "{f(k): v for k, v in d.items()}",
             lambda: {neg(k): v for k, v in A.items()}, per=N),
        Case("mappings", "keyfilter(p, d)", lambda: q.keyfilter(odd, A), "{k: v for ... if p(k)}",
             lambda: {k: v for k, v in A.items() if odd(k)}, per=N, goal=1.0),
        Case("mappings", "valfilter(p, d)", lambda: q.valfilter(odd, A), "{k: v for ... if p(v)}",
             lambda: {k: v for k, v in A.items() if odd(v)}, per=N),
        Case("mappings", "itemfilter(p, d)", lambda: q.itemfilter(bool, A), "{k: v for ... if p((k, v))}",
             lambda: {k: v for k, v in A.items() if bool((k, v))}, per=N),
        Case("mappings", "itemmap(reversed-ish, d)", lambda: q.itemmap(_swap, A), "{v: k for k, v in ...}",
             lambda: dict(_swap(kv) for kv in A.items()), per=N),
        Case("mappings", "dict(map(f, d.items()))", lambda: dict(map(_swap, A.items())), "{v: k for k, v in ...}",
             lambda: dict(_swap(kv) for kv in A.items()), per=N, floor=True,
             why="the same dict built by native code with the same calls on the same pairs"),
        Case("mappings", "get_in(4-level path, d)", lambda: q.get_in(PATH, NESTED), "try/except loop",
             lambda: _get_in_loop(PATH, NESTED), goal=1.0),
        Case("mappings", "get_in(missing level, d)", lambda: q.get_in(MISS, NESTED), "try/except loop",
             lambda: _get_in_loop(MISS, NESTED)),
        Case("mappings", "assoc_in(d, 4-level path, v)", lambda: q.assoc_in(wide, PATH, 2),
             "hand-written nested copy", lambda: _nested_copy(wide, PATH, lambda _: 2), per=N),
        Case("mappings", "update_in(d, 4-level path, f)", lambda: q.update_in(wide, PATH, inc),
             "hand-written nested copy", lambda: _nested_copy(wide, PATH, inc), per=N),
    ]


def _swap(kv):
    return kv[1], kv[0]
