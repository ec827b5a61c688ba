"""frequencies, topk and isdistinct against collections.Counter,
numpy.unique, numpy.partition, sorted, heapq.nlargest and the set idiom;
extra(): one vs two processors."""

import array
import collections
import heapq
import json
import os
import random
import shutil
import subprocess
import sys
import textwrap

from harness import Case

import quorin as q

try:
    import numpy as np
except ImportError:  # the numpy rows are skipped
    np = None

N = 10 ** 6
BIG = 10 ** 7
DISTINCT = 1000

_rng = random.Random(12345)
INTS_LOW = [_rng.randrange(100) for _ in range(N)]
INTS_HIGH = list(range(N))
_rng.shuffle(INTS_HIGH)
STRS_LOW = [f"w{v}" for v in INTS_LOW]
STRS_HIGH = [f"w{v}" for v in INTS_HIGH]
TUPS_LOW = [(v, v & 7) for v in INTS_LOW]
TUPS_HIGH = [(v, v & 7) for v in INTS_HIGH]


def _int_buffers(n):
    """(array.array('q'), numpy int64 or None) of n values drawn from DISTINCT."""
    if np is not None:
        nd = np.random.default_rng(n).integers(0, DISTINCT, size=n, dtype=np.int64)
        return array.array("q", nd.tobytes()), nd
    base = array.array("q", [_rng.randrange(DISTINCT) for _ in range(N)])
    return base * (n // N), None


ARR_1M, ND_1M = _int_buffers(N)
ARR_10M, ND_10M = _int_buffers(BIG)


def _counter_list(a):
    return collections.Counter(a.tolist())


def _np_unique(a):
    return np.unique(a, return_counts=True)


def _np_top(a, k=10):
    return np.partition(a, -k)[-k:]


def cases():
    freq, topk = q.frequencies, q.topk
    Counter = collections.Counter
    out = []
    for label, data, goal in [
        # Repeated values: Counter at its fastest. Every value distinct: both
        # sides build a million-key dict, and ours must not cost more.
        ("ints, 100 distinct", INTS_LOW, 0.35), ("ints, all distinct", INTS_HIGH, 1.0),
        ("str, 100 distinct", STRS_LOW, 0.6), ("str, all distinct", STRS_HIGH, None),
        ("tuple, 100 distinct", TUPS_LOW, None), ("tuple, all distinct", TUPS_HIGH, 1.0),
    ]:
        out.append(Case("counting", f"frequencies(list {label})", lambda d=data: freq(d),
                        "Counter(x)", lambda d=data: Counter(d), per=N, goal=goal))
    for label, a, n in [("1e6", ARR_1M, N), ("1e7", ARR_10M, BIG)]:
        out.append(Case("counting", f"frequencies(array q {label})", lambda a=a: freq(a),
                        "Counter(a.tolist())", lambda a=a: _counter_list(a), per=n))
    if np is not None:
        for label, a, n, goal in [("1e6", ND_1M, N, None), ("1e7", ND_10M, BIG, 0.04)]:
            out.append(Case("counting", f"frequencies(numpy i8 {label})", lambda a=a: freq(a),
                            "np.unique(a, return_counts=True)", lambda a=a: _np_unique(a), per=n, goal=goal))
            out.append(Case("counting", f"topk(10, numpy i8 {label})", lambda a=a: topk(10, a),
                            "np.partition(a, -10)[-10:]", lambda a=a: _np_top(a), per=n,
                            goal=0.15 if n == BIG else None))
        # Layout must not matter: a strided view and the other byte order are
        # read in place, as fast as the contiguous array.
        strided, swapped = ND_10M[::5], ND_1M.astype(">i8")
        out.append(Case("counting", "frequencies(numpy i8 1e6, a[::5])", lambda: freq(strided),
                        "np.unique(a[::5], return_counts=True)", lambda: _np_unique(strided), per=N, goal=0.1))
        out.append(Case("counting", "frequencies(numpy >i8 1e6)", lambda: freq(swapped),
                        "np.unique(a, return_counts=True)", lambda: _np_unique(swapped), per=N, goal=0.1))
        # Not an idiom for this task (it needs small non-negative values) but a
        # plain native counting loop with no hashing at all: the floor.
        out.append(Case("counting", "frequencies(numpy i8 1e7)", lambda: freq(ND_10M),
                        "np.bincount(a) (plain loop, reference)", lambda: np.bincount(ND_10M), per=BIG))
    for label, a, n in [("1e6", ARR_1M, N), ("1e7", ARR_10M, BIG)]:
        out.append(Case("counting", f"topk(10, array q {label})", lambda a=a: topk(10, a),
                        "heapq.nlargest(10, a)", lambda a=a: heapq.nlargest(10, a), per=n))
    for label, data in [("ints", INTS_HIGH), ("str", STRS_HIGH)]:
        out.append(Case("counting", f"topk(10, list {label})", lambda d=data: topk(10, d),
                        "sorted(x, reverse=True)[:10]", lambda d=data: sorted(d, reverse=True)[:10], per=N))
        out.append(Case("counting", f"topk(10, list {label})", lambda d=data: topk(10, d),
                        "heapq.nlargest(10, x)", lambda d=data: heapq.nlargest(10, d), per=N, goal=1.0))
    neg = int.__neg__
    out.append(Case("counting", "topk(10, list, key=neg)", lambda: topk(10, INTS_HIGH, key=neg),
                    "sorted(x, key=neg, reverse=True)[:10]",
                    lambda: sorted(INTS_HIGH, key=neg, reverse=True)[:10], per=N))
    out.append(Case("counting", "topk(10, list, key=neg)", lambda: topk(10, INTS_HIGH, key=neg),
                    "heapq.nlargest(10, x, key=neg)", lambda: heapq.nlargest(10, INTS_HIGH, key=neg), per=N, goal=0.7))
    out.append(Case("counting", "list(map(neg, x)) (floor)", lambda: list(map(neg, INTS_HIGH)),
                    "heapq.nlargest(10, x, key=neg)", lambda: heapq.nlargest(10, INTS_HIGH, key=neg), per=N,
                    floor=True, why="the key calls alone, made from native code: no selection can cost less"))
    out.append(Case("counting", "isdistinct(list ints, all distinct)", lambda: q.isdistinct(INTS_HIGH),
                    "len(set(x)) == len(x)", lambda: len(set(INTS_HIGH)) == len(INTS_HIGH), per=N, goal=1.0))
    return out


_PROBE = """
    import array, hashlib, json, os, random, sys, time
    if {use_affinity!r}:
        os.sched_setaffinity(0, {cpus!r})  # before the pool can exist
    from quorin import _quorin as q
    top_in = array.array("q", random.Random(1).randbytes(8 * {big}))
    rng = random.Random(2)
    freq_in = array.array("q", [rng.randrange({distinct}) for _ in range({big} // 10)]) * 10

    def best(fn, runs=7):
        out, times = None, []
        for _ in range(runs):
            t0 = time.perf_counter()
            out = fn()
            times.append(time.perf_counter() - t0)
        return min(times), out

    t_top, r_top = best(lambda: q.topk(10, top_in))
    t_freq, r_freq = best(lambda: q.frequencies(freq_in))
    digest = hashlib.sha256(repr((r_top, list(r_freq.items()))).encode()).hexdigest()
    print(json.dumps(dict(cpus=len(os.sched_getaffinity(0)), topk=t_top, freq=t_freq, digest=digest)))
"""


def _probe(cpus):
    env = dict(os.environ)
    root = os.path.dirname(os.path.dirname(q.__file__))
    env["PYTHONPATH"] = os.pathsep.join([root] + [p for p in env.get("PYTHONPATH", "").split(os.pathsep) if p])
    taskset = shutil.which("taskset")
    script = textwrap.dedent(_PROBE).format(cpus=cpus, use_affinity=taskset is None, big=BIG, distinct=DISTINCT)
    cmd = [sys.executable, "-c", script]
    if taskset is not None:
        cmd = [taskset, "-c", ",".join(map(str, cpus))] + cmd
    res = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=600)
    if res.returncode != 0:
        raise RuntimeError(res.stderr)
    return json.loads(res.stdout)


def _better(kept, new):
    if kept is None:
        return new
    return dict(new, topk=min(kept["topk"], new["topk"]), freq=min(kept["freq"], new["freq"]))


def extra():
    cpus = sorted(os.sched_getaffinity(0))
    if len(cpus) < 2:
        print("one vs two processors: only one processor available, skipped")
        return
    # Alternate the two settings and keep each one's best, so that a slow
    # spell of this (shared) machine does not fall on one setting only.
    # Every run's results must agree, within a setting and across both.
    one = two = None
    digests = set()

    def probe(n):
        result = _probe(cpus[:n])
        digests.add(result["digest"])
        return result

    for _ in range(3):
        one = _better(one, probe(1))
        two = _better(two, probe(2))
    same = len(digests) == 1
    print()
    print(f"one vs two processors (10^7 int64; pool threads {one['cpus']} vs {two['cpus']}); "
          f"results identical: {same}")
    top_speedup = one["topk"] / two["topk"]
    freq_cost = two["freq"] / one["freq"]
    print(f"  topk(10, 10^7 i64):                 1 cpu {one['topk'] * 1e3:8.2f} ms   2 cpus "
          f"{two['topk'] * 1e3:8.2f} ms   speedup {top_speedup:5.2f}x (goal >= 1.60)"
          + ("" if top_speedup >= 1.6 else " !"))
    print(f"  frequencies(10^7 i64, 1000 values): 1 cpu {one['freq'] * 1e3:8.2f} ms   2 cpus "
          f"{two['freq'] * 1e3:8.2f} ms   two/one {freq_cost:5.2f}x (goal <= 0.60)"
          + ("" if freq_cost <= 0.6 else " !"))
    if not same:
        print("  RESULTS DIFFER between one and two processors !")
