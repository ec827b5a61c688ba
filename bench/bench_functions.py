"""Function combinators against what a user writes by hand: functools.partial
and closures, lambda chains, functools.lru_cache, try/except wrappers."""

import functools
import operator

from harness import Case

import quorin as q


def f2(a, b):
    return a


def kw(a, b=0):
    return a


def py_f(x):
    return x


def py_g(x):
    return x


def boom(x):
    raise KeyError(x)


# A function entered from native code costs more than one the interpreter
# calls inline; pipe enters both f and g that way, this floor only f.
CALL_FLOOR = "a native call with pipe's convention that calls f from native code (g inline); pipe calls both so"


def cases():
    neg, partial, call = operator.neg, functools.partial, operator.call
    curry, pipe = q.curry, q.pipe

    c2 = curry(f2)
    p1 = c2(1)
    part1 = partial(f2, 1)
    closure1 = (lambda a: lambda b: f2(a, b))(1)
    ckw = curry(kw, b=2)
    pkw = partial(kw, b=2)

    comp = q.compose(abs, neg)
    comp_lambda = lambda x: abs(neg(x))  # noqa: E731
    chain3 = q.compose_left(neg, abs, neg)
    chain3_lambda = lambda x: neg(abs(neg(x)))  # noqa: E731
    jx = q.juxt(abs, neg)
    jx_lambda = lambda x: (abs(x), neg(x))  # noqa: E731
    cm = q.complement(bool)
    cm_lambda = lambda x: not bool(x)  # noqa: E731

    memo = q.memoize(abs)
    lru = functools.lru_cache(maxsize=None)(abs)
    memo(-3), lru(-3)
    memo2 = q.memoize(f2)
    lru2 = functools.lru_cache(maxsize=None)(f2)
    memo2(1, 2), lru2(1, 2)
    miss_cache = {}
    memo_miss = q.memoize(abs, cache=miss_cache)
    lru_miss = functools.lru_cache(maxsize=None)(abs)

    def miss_ours():
        miss_cache.clear()
        return memo_miss(-3)

    def miss_lru():
        lru_miss.cache_clear()
        return lru_miss(-3)

    exc_ok = q.excepts(KeyError, abs)
    exc_err = q.excepts(KeyError, boom, type)

    def try_ok(x):
        try:
            return abs(x)
        except KeyError:
            return None

    def try_err(x):
        try:
            return boom(x)
        except KeyError as e:
            return type(e)

    return [
        Case("curry", "curry(f)(1)  (partial)", lambda: c2(1), "partial(f, 1)", lambda: partial(f2, 1)),
        Case("curry", "curry(f)(1)  (partial)", lambda: c2(1), "closure over 1",
             lambda: (lambda a: lambda b: f2(a, b))(1)),
        Case("curry", "curry(f)(1)(2)  (final call)", lambda: p1(2), "partial(f, 1)(2)", lambda: part1(2)),
        Case("curry", "curry(f)(1)(2)  (final call)", lambda: p1(2), "closure(2)", lambda: closure1(2)),
        Case("curry", "curry(f, b=2)(1)  (bind)", lambda: ckw(1), "partial(f, b=2)(1)", lambda: pkw(1)),
        Case("compose", "compose(f, g)(x)", lambda: comp(-3), "lambda x: f(g(x))", lambda: comp_lambda(-3),
             goal=1.0),
        Case("compose", "compose_left(f, g, h)(x)", lambda: chain3(-3), "lambda x: h(g(f(x)))",
             lambda: chain3_lambda(-3), goal=1.0),
        Case("compose", "pipe(x, g, f)", lambda: pipe(-3, neg, abs), "f(g(x))", lambda: abs(neg(-3)), goal=1.3),
        Case("compose", "callable(f(g(x)))", lambda: callable(abs(neg(-3))), "f(g(x))", lambda: abs(neg(-3)),
             floor=True, why="pipe is the nested calls plus one native call; callable is a native call doing nothing"),
        Case("compose", "operator.call(f, g(x))", lambda: call(abs, neg(-3)), "f(g(x))", lambda: abs(neg(-3)),
             floor=True, why=CALL_FLOOR),
        Case("compose", "pipe(x, g, f)  (Python f, g)", lambda: pipe(-3, py_g, py_f), "f(g(x))",
             lambda: py_f(py_g(-3))),
        Case("compose", "operator.call(f, g(x))  (Python f, g)", lambda: call(py_f, py_g(-3)), "f(g(x))",
             lambda: py_f(py_g(-3)), floor=True, why=CALL_FLOOR),
        Case("compose", "juxt(f, g)(x)", lambda: jx(-3), "lambda x: (f(x), g(x))", lambda: jx_lambda(-3),
             goal=1.0),
        Case("compose", "complement(f)(x)", lambda: cm(3), "lambda x: not f(x)", lambda: cm_lambda(3)),
        Case("memoize", "memoize(f)(x)  hit", lambda: memo(-3), "lru_cache(None)(f)(x)  hit", lambda: lru(-3),
             goal=1.2),
        Case("memoize", "memoize(f)(a, b)  hit", lambda: memo2(1, 2), "lru_cache(None)(f)(a, b)  hit",
             lambda: lru2(1, 2)),
        Case("memoize", "memoize(f)(x)  miss", miss_ours, "lru_cache(None)(f)(x)  miss", miss_lru),
        Case("excepts", "excepts(E, f)(x)  no error", lambda: exc_ok(-3), "try: f(x) except E", lambda: try_ok(-3)),
        Case("excepts", "excepts(E, f, h)(x)  caught", lambda: exc_err(-3), "try: f(x) except E as e: h(e)",
             lambda: try_err(-3)),
    ]
