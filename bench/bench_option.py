"""Optional values and the fluent wrapper against the idioms they replace."""

import itertools

from harness import Case

import quorin as q

MILLION = list(range(1_000_000))
SMALL = list(range(100))
WORDS = {str(i): i for i in range(1_000)}


def _square(x):
    return x * x


def _odd(x):
    return x & 1


def cases():
    Iter, first_opt, get_opt = q.Iter, q.first_opt, q.get_opt
    islice = itertools.islice
    n = 100_000
    return [
        Case("option", "Iter(x).map.filter.take(n).collect()",
             lambda: Iter(MILLION).map(_square).filter(_odd).take(n).collect(),
             "list(islice(filter(p, map(f, x)), n))",
             lambda: list(islice(filter(_odd, map(_square, MILLION)), n)), per=2 * n, goal=1.1),
        Case("option", "Iter(x).map.filter.collect() (10^6)",
             lambda: Iter(MILLION).map(_square).filter(_odd).collect(),
             "list(filter(p, map(f, x)))",
             lambda: list(filter(_odd, map(_square, MILLION))), per=len(MILLION), goal=1.1),
        Case("option", "first_opt(list)", lambda: first_opt(SMALL), "next(iter(x), None)",
             lambda: next(iter(SMALL), None), goal=1.2),
        Case("option", "first_opt(iter(x))", lambda: first_opt(iter(SMALL)), "next(iter(x), None)",
             lambda: next(iter(SMALL), None)),
        Case("option", "get_opt(k, dict) hit", lambda: get_opt("500", WORDS), "d.get(k)",
             lambda: WORDS.get("500"), goal=2.0),
        Case("option", "get_opt(k, dict) miss", lambda: get_opt("x", WORDS), "d.get(k)",
             lambda: WORDS.get("x"), goal=2.0),
        Case("option", "Some(x).map(f).unwrap_or(d)", lambda: q.Some(3).map(_square).unwrap_or(0),
             "f(x) if x is not None else d", lambda: (lambda x: _square(x) if x is not None else 0)(3)),
    ]
