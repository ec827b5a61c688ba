"""Optional values and the fluent wrapper against the idioms they replace."""

import itertools
from operator import call

from harness import Case

import quorin as q

MILLION = list(range(1_000_000))
SMALL = list(range(100))
WORDS = {str(i): i for i in range(1_000)}


def _square(x):
    return x * x


def _odd(x):
    return x & 1


# Ours must hand back a new object where the idiom returns one it found.
NEW_OBJECT = "an Option is a new object each time: the idiom plus one new 1-tuple is the least that can cost"
# d.get is a method call, a path of the interpreter's own that no module
# function can take: the same lookup called as a function of the dict.
FUNCTION_OF_DICT = "ours is called as a function of the dict: dict.get(d, k) is the lookup called so"


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
        Case("option", "(next(iter(x), None),)", lambda: (next(iter(SMALL), None),), "next(iter(x), None)",
             lambda: next(iter(SMALL), None), floor=True, why=NEW_OBJECT),
        Case("option", "get_opt(k, dict) hit", lambda: get_opt("500", WORDS), "d.get(k)",
             lambda: WORDS.get("500"), goal=2.0),
        Case("option", "(d.get(k),) hit", lambda: (WORDS.get("500"),), "d.get(k)",
             lambda: WORDS.get("500"), floor=True, why=NEW_OBJECT),
        Case("option", "(dict.get(d, k),) hit", lambda: (dict.get(WORDS, "500"),), "d.get(k)",
             lambda: WORDS.get("500"), floor=True, why=NEW_OBJECT + "; " + FUNCTION_OF_DICT),
        Case("option", "get_opt(k, dict) miss", lambda: get_opt("x", WORDS), "d.get(k)",
             lambda: WORDS.get("x"), goal=2.0),
        Case("option", "(d.get(k),) miss", lambda: (WORDS.get("x"),), "d.get(k)",
             lambda: WORDS.get("x"), floor=True, why=NEW_OBJECT),
        Case("option", "(dict.get(d, k),) miss", lambda: (dict.get(WORDS, "x"),), "d.get(k)",
             lambda: WORDS.get("x"), floor=True, why=NEW_OBJECT + "; " + FUNCTION_OF_DICT),
        Case("option", "Some(x).map(f).unwrap_or(d)", lambda: q.Some(3).map(_square).unwrap_or(0),
             "f(x) if x is not None else d", lambda: (lambda x: _square(x) if x is not None else 0)(3)),
        Case("option", "same idiom, f called natively", lambda: (lambda x: call(_square, x) if x is not None else 0)(3),
             "f(x) if x is not None else d", lambda: (lambda x: _square(x) if x is not None else 0)(3), floor=True,
             why="map must call f from native code, which the idiom's inlined call avoids: operator.call does that"),
    ]
