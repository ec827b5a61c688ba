"""Several threads on shared inputs and on one shared iterator.

Threads switch often (a tiny switch interval, and callbacks that give up
the interpreter lock), so another thread gets in while a call or a step is
inside user code. Each run is bounded: a few thousand items, a deadline,
and joins with a timeout.
"""

import array
import itertools
import operator
import random
import sys
import threading
import time

import pytest

from quorin import _quorin as q

THREADS = 4
JOIN_TIMEOUT = 30.0


def run_threads(target, n=THREADS):
    """Runs target(index) on n threads started together; re-raises the first failure."""
    barrier = threading.Barrier(n)
    errors = []

    def body(index):
        try:
            barrier.wait()
            target(index)
        except BaseException as e:  # noqa: BLE001 - handed to the main thread
            errors.append(e)

    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=body, args=(i,)) for i in range(n)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(JOIN_TIMEOUT)
        assert not any(t.is_alive() for t in threads), "a thread did not finish"
    finally:
        sys.setswitchinterval(old)
    if errors:
        raise errors[0]


def yielding_key(x):
    # Gives up the interpreter lock now and then, in the middle of a call.
    if x % 61 == 0:
        time.sleep(0)
    return x % 13


# name -> call on a shared input with a key function; extend as counting
# functions land.
COUNTING = {
    "frequencies": lambda data, key: q.frequencies(data),
    "topk": lambda data, key: q.topk(7, data),
    "isdistinct": lambda data, key: q.isdistinct(data),
    "groupby": lambda data, key: q.groupby(key, data),
    "countby": lambda data, key: q.countby(key, data),
}
PRESENT_COUNTING = [name for name in COUNTING if name in q.__all__]

_rng = random.Random(12)
SHARED_LIST = [_rng.randrange(5000) for _ in range(20_000)]
# Large enough for the worker pool; few distinct values so that every
# chunk is counted in parallel.
SHARED_BUFFER = array.array("q", range(-300, 300)) * 1000


def snapshot(result):
    # Dicts compare with their key order, which the functions guarantee.
    return list(result.items()) if isinstance(result, dict) else result


@pytest.mark.no_refleak
# The buffer's key is a built-in: a Python call per element of it would
# only make the test slow.
@pytest.mark.parametrize("data, key", [(SHARED_LIST, yielding_key), (SHARED_BUFFER, operator.neg)],
                         ids=["list", "buffer"])
def test_counting_on_shared_input(data, key):
    names = PRESENT_COUNTING
    expected = {name: snapshot(COUNTING[name](data, key)) for name in names}
    before = bytes(data) if isinstance(data, array.array) else list(data)
    rounds = 3 if data is SHARED_LIST else 1

    def work(index):
        # Each thread goes through the functions in its own order.
        for r in range(rounds):
            for k in range(len(names)):
                name = names[(k + index + r) % len(names)]
                assert snapshot(COUNTING[name](data, key)) == expected[name], name

    run_threads(work)
    assert (bytes(data) if isinstance(data, array.array) else data) == before


def yielding(fn):
    """fn, giving up the interpreter lock first: another thread gets in mid-step."""
    def wrapper(*args):
        time.sleep(0)
        return fn(*args)
    return wrapper


def plain(fn):
    return fn


N = 1000
# name -> (make(wrap, source), native). make builds the iterator, passing
# every Python callable through wrap. Native iterators guard their steps,
# so theirs also run over a source that gives up the interpreter lock on
# every item; the interpreter's itertools objects do not guard against a
# thread getting in mid-step, so theirs get lists and built-in callables
# only. Extend as lazy functions land.
ITERATORS = {
    "take": (lambda w, s: q.take(N // 2, s), False),
    "drop": (lambda w, s: q.drop(7, s), False),
    "take_nth": (lambda w, s: q.take_nth(3, s), False),
    "cons": (lambda w, s: q.cons(-1, s), False),
    "concat": (lambda w, s: q.concat([s, [-1, -2]]), False),
    "concatv": (lambda w, s: q.concatv([-1], s, [-2]), False),
    "mapcat": (lambda w, s: q.mapcat(sorted, [[x, -x] for x in s]), False),
    "interpose": (lambda w, s: q.interpose(-1, s), True),
    "interleave": (lambda w, s: q.interleave([s, range(-1, -300, -1), "abc"]), True),
    "sliding_window": (lambda w, s: q.sliding_window(3, s), True),
    "partition": (lambda w, s: q.partition(4, s), True),
    "partition_all": (lambda w, s: q.partition_all(5, s), True),
    "merge_sorted": (lambda w, s: q.merge_sorted(s, range(0, N, 7), key=w(abs)), True),
    "diff": (lambda w, s: q.diff(s, [x if x % 5 else -x for x in range(N)]), True),
    "pluck": (lambda w, s: q.pluck(0, map(w(lambda x: (x, -x)), s)), True),
    "remove": (lambda w, s: q.remove(w(lambda x: x % 3 == 0), s), True),
    "accumulate": (lambda w, s: q.accumulate(w(operator.add), s, 0), True),
    "iterate": (lambda w, s: q.iterate(w(lambda x: x + 1), 0), True),
    "unique": (lambda w, s: q.unique(s, key=w(lambda x: x % 400)), True),
    "join": (lambda w, s: q.join(w(lambda x: x % 10), s, w(lambda y: y % 10), range(15)), True),
}
# Threads stop sharing an iterator once they have taken this many items
# (more than any finite one here yields).
LIMIT = 3 * N

CASES = [(name, mode) for name in ITERATORS if name in q.__all__
         for mode in (["list", "yielding"] if ITERATORS[name][1] else ["list"])]


def is_subsequence(part, whole):
    it = iter(whole)
    return all(any(x == y for y in it) for x in part)


@pytest.mark.no_refleak
@pytest.mark.parametrize("name, mode", CASES, ids=[f"{n}-{m}" for n, m in CASES])
def test_shared_iterator(name, mode):
    make = ITERATORS[name][0]
    if mode == "yielding":
        shared = make(yielding, map(yielding(lambda x: x), range(N)))
    else:
        shared = make(plain, list(range(N)))
    taken = [[] for _ in range(THREADS)]
    calling = set()  # threads inside next(shared)
    calls = []       # grows on every next(shared)
    deadline = time.monotonic() + JOIN_TIMEOUT / 2

    def consume(index):
        mine = taken[index]
        while time.monotonic() < deadline:
            others, started = len(calling), len(calls)
            calling.add(index)
            calls.append(None)
            try:
                item = next(shared)
            except StopIteration:
                return
            except ValueError as e:
                assert str(e) == "iterator already executing"
                # Refused only while another thread's call was under way.
                assert others or len(calls) > started + 1
                time.sleep(0)  # let the stepping thread go on
                continue
            finally:
                calling.discard(index)
            mine.append(item)
            if sum(map(len, taken)) >= LIMIT:
                return
        raise AssertionError("the shared iterator did not end")

    run_threads(consume)
    got = sum(taken, [])
    expected = list(itertools.islice(make(plain, list(range(N))), len(got) + 1))
    if len(got) < LIMIT:
        assert len(expected) == len(got)  # ended: nothing lost
    # Nothing lost or duplicated, and each thread saw the items in order.
    assert sorted(map(repr, got)) == sorted(map(repr, expected[:len(got)]))
    assert all(is_subsequence(mine, expected) for mine in taken)
