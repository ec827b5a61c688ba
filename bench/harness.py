"""Benchmark harness: each case times one call of ours against the
standard-library idiom a user would otherwise write, in the same run, and
reports the ratio (ours / idiom; lower is better)."""

import time
from dataclasses import dataclass
from typing import Callable


@dataclass
class Case:
    group: str          # family, e.g. "access"
    name: str           # what we run, e.g. "first(list)"
    ours: Callable[[], object]
    idiom_name: str     # what a user would write, e.g. "next(iter(x))"
    idiom: Callable[[], object]
    per: int = 1        # elements per call, for the ns/element column
    goal: float | None = None  # the ratio this case must stay under, if any


def _best(fn, budget):
    """Best time per call of `fn` (seconds), calibrated to run ~budget."""
    n = 1
    while True:
        t0 = time.perf_counter()
        for _ in range(n):
            fn()
        dt = time.perf_counter() - t0
        if dt > budget / 10 or n >= 1 << 24:
            break
        n *= 4
    best = dt / n
    deadline = time.perf_counter() + budget
    while time.perf_counter() < deadline:
        t0 = time.perf_counter()
        for _ in range(n):
            fn()
        best = min(best, (time.perf_counter() - t0) / n)
    return best


def measure(case, budget=0.3):
    # Interleave ours and the idiom so that drift hits both alike.
    ours = idiom = float("inf")
    for _ in range(2):
        ours = min(ours, _best(case.ours, budget / 2))
        idiom = min(idiom, _best(case.idiom, budget / 2))
    return ours, idiom


def fmt_time(s):
    if s < 1e-6:
        return f"{s * 1e9:8.1f} ns"
    if s < 1e-3:
        return f"{s * 1e6:8.2f} us"
    return f"{s * 1e3:8.2f} ms"


def report(cases, budget=0.3, out=print):
    header = f"{'group':<10} {'quorin':<34} {'idiom':<40} {'quorin':>11} {'idiom':>11} {'ratio':>7} {'goal':>6}"
    out(header)
    out("-" * len(header))
    results = []
    for case in cases:
        ours, idiom = measure(case, budget)
        ratio = ours / idiom
        goal = "" if case.goal is None else (f"{case.goal:.2f}" + ("" if ratio <= case.goal else "!"))
        out(f"{case.group:<10} {case.name:<34} {case.idiom_name:<40} {fmt_time(ours / case.per)} "
            f"{fmt_time(idiom / case.per)} {ratio:7.2f} {goal:>6}")
        results.append((case, ours, idiom, ratio))
    return results
