"""Element access, slicing and lazy chaining against the idioms they replace."""

import collections
import itertools
import operator

from harness import Case

import quorin as q

SMALL = list(range(100))
TUPLE = tuple(SMALL)
BIG = list(range(100_000))
RANGE = range(100_000)
WORDS = [str(i) for i in range(10_000)]
INDEX_FLOOR = "the interpreter indexes inline, a function is called: a native call doing only the indexing"
# A method call on the dict takes a path of the interpreter's own that no
# module function can: the same method called as a function of the dict.
FUNCTION_OF_DICT = "d.get is called as the dict's method, ours as a function of it: the same lookup called so"


def _consume(it):
    collections.deque(it, maxlen=0)


def cases():
    getitem, itemgetter, call = operator.getitem, operator.itemgetter, operator.call
    islice = itertools.islice
    first, get, take = q.first, q.get, q.take
    nth, last, drop, tail = q.nth, q.last, q.drop, q.tail
    last_ten = slice(-10, None)
    return [
        Case("access", "first(list)", lambda: first(SMALL), "next(iter(x))", lambda: next(iter(SMALL)), goal=1.0),
        Case("access", "first(tuple)", lambda: first(TUPLE), "next(iter(x))", lambda: next(iter(TUPLE)), goal=1.0),
        Case("access", "second(list)", lambda: q.second(SMALL), "it=iter(x); next(it); next(it)",
             lambda: (lambda it: (next(it), next(it))[1])(iter(SMALL))),
        Case("access", "nth(50, list)", lambda: nth(50, SMALL), "x[50]", lambda: SMALL[50]),
        Case("access", "operator.getitem(x, 50)", lambda: getitem(SMALL, 50), "x[50]", lambda: SMALL[50],
             floor=True, why=INDEX_FLOOR),
        # An operator is no call at all; the same idiom as a call is the fair bar for a function.
        Case("access", "nth(50, list)", lambda: nth(50, SMALL), "operator.getitem(x, 50)",
             lambda: getitem(SMALL, 50)),
        Case("access", "nth(500, list iterator)", lambda: nth(500, iter(BIG)), "next(islice(it, 500, None))",
             lambda: next(islice(iter(BIG), 500, None)), per=500),
        # Any other iterator is stepped through item by item, as islice does.
        Case("access", "nth(500, range iterator)", lambda: nth(500, iter(RANGE)), "next(islice(it, 500, None))",
             lambda: next(islice(iter(RANGE), 500, None)), per=500),
        Case("access", "last(list)", lambda: last(BIG), "x[-1]", lambda: BIG[-1]),
        Case("access", "operator.getitem(x, -1)", lambda: getitem(BIG, -1), "x[-1]", lambda: BIG[-1],
             floor=True, why=INDEX_FLOOR),
        Case("access", "last(list)", lambda: last(BIG), "operator.itemgetter(-1)(x)",
             lambda: itemgetter(-1)(BIG)),
        Case("access", "last(list)", lambda: last(BIG), "operator.getitem(x, -1)", lambda: getitem(BIG, -1)),
        Case("access", "last(iterator)", lambda: last(iter(BIG)), "deque(it, maxlen=1)[0]",
             lambda: collections.deque(iter(BIG), maxlen=1)[0], per=len(BIG)),
        Case("access", "get(i, list)", lambda: get(3, SMALL), "operator.getitem(x, i)",
             lambda: getitem(SMALL, 3), goal=1.2),
        Case("access", "get(k, dict, default)", lambda: get("zz", {"a": 1}, None), "d.get(k, default)",
             lambda: {"a": 1}.get("zz", None)),
        Case("access", "dict.get(d, k, default)", lambda: dict.get({"a": 1}, "zz", None), "d.get(k, default)",
             lambda: {"a": 1}.get("zz", None), floor=True, why=FUNCTION_OF_DICT),
        Case("access", "get([i, j, k], list)", lambda: get([1, 5, 9], SMALL), "tuple(x[i] for i in ind)",
             lambda: tuple(SMALL[i] for i in [1, 5, 9])),
        Case("access", "peek(list)", lambda: q.peek(SMALL), "it=iter(x); (next(it), chain(...))",
             lambda: (lambda it: (lambda h: (h, itertools.chain((h,), it)))(next(it)))(iter(SMALL))),
        Case("slicing", "take(n, x)", lambda: take(10, SMALL), "itertools.islice(x, n)",
             lambda: islice(SMALL, 10), goal=1.2),
        Case("slicing", "operator.call(islice, x, n)", lambda: call(islice, SMALL, 10), "itertools.islice(x, n)",
             lambda: islice(SMALL, 10), floor=True,
             why="take is a function returning an islice: a native call that makes the islice is the least it can cost"),
        Case("slicing", "drop(n, x)", lambda: drop(10, SMALL), "itertools.islice(x, n, None)",
             lambda: islice(SMALL, 10, None), goal=1.2),
        Case("slicing", "operator.call(islice, x, n, None)", lambda: call(islice, SMALL, 10, None),
             "itertools.islice(x, n, None)", lambda: islice(SMALL, 10, None), floor=True,
             why="drop is a function returning an islice: a native call that makes the islice is the least it can cost"),
        Case("slicing", "tail(10, list)", lambda: tail(10, BIG), "x[-10:]", lambda: BIG[-10:]),
        Case("slicing", "operator.getitem(x, s)", lambda: getitem(BIG, last_ten), "x[-10:]", lambda: BIG[-10:],
             floor=True, why=INDEX_FLOOR + "; s = slice(-10, None) is made once"),
        Case("slicing", "tail(10, list)", lambda: tail(10, BIG), "operator.getitem(x, slice(-10, None))",
             lambda: getitem(BIG, slice(-10, None))),
        Case("slicing", "tail(10, iterator)", lambda: tail(10, iter(BIG)), "tuple(deque(it, maxlen=10))",
             lambda: tuple(collections.deque(iter(BIG), maxlen=10)), per=len(BIG)),
        Case("chaining", "list(concatv(a, b))", lambda: list(q.concatv(BIG, BIG)), "list(chain(a, b))",
             lambda: list(itertools.chain(BIG, BIG)), per=2 * len(BIG)),
        Case("chaining", "list(cons(x, seq))", lambda: list(q.cons(0, BIG)), "list(chain((x,), seq))",
             lambda: list(itertools.chain((0,), BIG)), per=len(BIG)),
        Case("chaining", "remove(pred, seq)", lambda: _consume(q.remove(bool, BIG)),
             "itertools.filterfalse(pred, seq)", lambda: _consume(itertools.filterfalse(bool, BIG)), per=len(BIG)),
        Case("chaining", "accumulate(add, seq)", lambda: _consume(q.accumulate(operator.add, BIG)),
             "itertools.accumulate(seq, add)", lambda: _consume(itertools.accumulate(BIG, operator.add)),
             per=len(BIG)),
        Case("chaining", "take(10**5, iterate(f, 0))",
             lambda: _consume(islice(q.iterate(abs, 1), 100_000)), "generator: x = f(x) in a loop",
             lambda: _consume(islice(_iterate(abs, 1), 100_000)), per=100_000),
        Case("chaining", "interleave([a, b, c])", lambda: _consume(q.interleave([WORDS, WORDS, WORDS])),
             "round-robin generator", lambda: _consume(_roundrobin(WORDS, WORDS, WORDS)), per=3 * len(WORDS)),
        Case("chaining", "mapcat(f, seqs)", lambda: _consume(q.mapcat(tuple, WORDS)),
             "chain.from_iterable(map(f, seqs))",
             lambda: _consume(itertools.chain.from_iterable(map(tuple, WORDS))), per=len(WORDS)),
    ]


def _iterate(f, x):
    while True:
        yield x
        x = f(x)


def _roundrobin(*iterables):
    iterators = collections.deque(map(iter, iterables))
    while iterators:
        it = iterators.popleft()
        for x in it:
            yield x
            iterators.append(it)
            break
