"""Benchmark harness: each case times one call of ours against the
standard-library idiom a user would otherwise write, in the same run, and
reports the ratio (ours / idiom; lower is better) as mean ± standard
deviation over several interleaved samples.

Each sample runs a loop count calibrated once per side so that one sample
lasts about budget / (2 * samples); ours and the idiom alternate sample by
sample, so drift and other load on the machine hit both alike, and the
ratio's spread is that of the per-pair ratios. A row whose spread reaches
across its goal is flagged '~' rather than passed or failed."""

import gc
import statistics
import time
from dataclasses import dataclass
from typing import Callable

SAMPLES = 9

# Wall-clock time by default. On a machine shared with other work, the
# process's CPU time (run.py --clock cpu) leaves out the time other jobs
# hold the processor; it adds up every thread's time, though, so rows that
# run on the worker pool look no faster for it.
clock = time.perf_counter


@dataclass
class Case:
    group: str          # family, e.g. "access"
    name: str           # what we run, e.g. "first(list)"
    ours: Callable[[], object]
    idiom_name: str     # what a user would write, e.g. "next(iter(x))"
    idiom: Callable[[], object]
    per: int = 1        # elements per call, for the ns/element column
    goal: float | None = None  # the ratio this case must stay under, if any
    # A floor row times the unavoidable part of the case above it (e.g. the
    # bare Python calls); `why` says, in one line, why that is the floor.
    floor: bool = False
    why: str = ""


@dataclass
class Result:
    case: Case
    ours: float         # mean seconds per call
    idiom: float
    ratio: float        # mean of the per-sample ratios
    spread: float       # their standard deviation

    def verdict(self):
        """'' without a goal, else 'ok', '!' (missed) or '~' (spread crosses the goal)."""
        goal = self.case.goal
        if goal is None:
            return ""
        if self.ratio + self.spread <= goal:
            return "ok"
        if self.ratio - self.spread > goal:
            return "!"
        return "~"


def _loops(fn, target):
    """A loop count for which one run of `fn` lasts about `target` seconds."""
    n = 1
    while True:
        t0 = clock()
        for _ in range(n):
            fn()
        dt = clock() - t0
        if dt >= target / 4 or n >= 1 << 24:
            return max(1, int(n * target / dt)) if dt > 0 else n
        n *= 4


def _sample(fn, n):
    # Start each sample from a collected heap: the garbage of the sample
    # before (or of the case before) must not set off, inside this one, a
    # full collection over every object the process holds. What this
    # sample's own allocations set off is still timed.
    gc.collect()
    t0 = clock()
    for _ in range(n):
        fn()
    return (clock() - t0) / n


def timings(case, budget=0.3, samples=SAMPLES):
    """Seconds per call of ours and of the idiom: `samples` interleaved pairs
    over about `budget` seconds."""
    target = budget / (2 * samples)
    n_ours, n_idiom = _loops(case.ours, target), _loops(case.idiom, target)
    ours, idiom = [], []
    for i in range(samples):
        # Alternate which side goes first, so neither always runs warm.
        if i % 2:
            idiom.append(_sample(case.idiom, n_idiom))
            ours.append(_sample(case.ours, n_ours))
        else:
            ours.append(_sample(case.ours, n_ours))
            idiom.append(_sample(case.idiom, n_idiom))
    return ours, idiom


def result_of(case, ours, idiom):
    """The Result of paired timings (each pair taken in one process)."""
    ratios = [a / b for a, b in zip(ours, idiom)]
    return Result(case, statistics.fmean(ours), statistics.fmean(idiom), statistics.fmean(ratios),
                  statistics.stdev(ratios))


def sample(case, budget=0.3, samples=SAMPLES):
    """Result of `case`: `samples` interleaved pairs over about `budget` seconds."""
    return result_of(case, *timings(case, budget, samples))


def fmt_time(s):
    if s < 1e-6:
        return f"{s * 1e9:8.1f} ns"
    if s < 1e-3:
        return f"{s * 1e6:8.2f} us"
    return f"{s * 1e3:8.2f} ms"


def header(out=print):
    line = (f"{'group':<10} {'quorin':<34} {'idiom':<40} {'quorin':>11} {'idiom':>11} "
            f"{'ratio ± sd':>13} {'goal':>7}")
    out(line)
    out("-" * len(line))


def row(r, out=print):
    """Prints the table row of Result `r`."""
    case = r.case
    goal = "" if case.goal is None else f"{case.goal:.2f}" + {"ok": "", "!": "!", "~": "~"}[r.verdict()]
    name = ("  floor: " + case.name) if case.floor else case.name
    out(f"{case.group:<10} {name:<34} {case.idiom_name:<40} {fmt_time(r.ours / case.per)} "
        f"{fmt_time(r.idiom / case.per)} {r.ratio:6.2f} ±{r.spread:5.2f} {goal:>7}")
    if case.why:
        out(f"{'':<10}   ({case.why})")


def report(cases, budget=0.3, out=print):
    header(out)
    results = []
    for case in cases:
        r = sample(case, budget)
        row(r, out)
        results.append(r)
    return results
