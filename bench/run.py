"""Runs every benchmark family (bench/bench_*.py, each with a `cases()`
function returning harness.Case objects) and prints one table.

Each family is measured in several processes, one after the other, and the
samples of all of them make up each row: a row's time depends on where the
process happened to place its objects and code, and on this kind of machine
that moves a ratio between processes by more than the samples of one process
spread. With the processes pooled, the mean is over several such placements
and the spread shows how far they differ."""

import argparse
import importlib
import json
import math
import os
import pathlib
import platform
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))

import harness  # noqa: E402

HERE = pathlib.Path(__file__).parent
META = ("group", "name", "idiom_name", "per", "goal", "floor", "why")


def worker(family, budget, samples, out, extra):
    """Measures one family in this process; writes each case's description
    and timings to `out` (JSON), then runs the family's extra lines."""
    module = importlib.import_module(f"bench_{family}")
    rows = []
    for case in module.cases():
        ours, idiom = harness.timings(case, budget, samples)
        rows.append({"meta": {k: getattr(case, k) for k in META}, "ours": ours, "idiom": idiom})
    with open(out, "w") as f:
        json.dump(rows, f)
    if extra and getattr(module, "extra", None) is not None:
        module.extra()


def samples_per_process(processes):
    """Each worker's share of the samples (at least two, for a spread)."""
    return harness.SAMPLES if processes == 1 else max(2, math.ceil(harness.SAMPLES / processes))


def pooled(family, args):
    """The family's Results from `args.processes` worker processes; prints
    the extra lines of the last one."""
    per_process = samples_per_process(args.processes)
    merged, extra_text = None, ""
    with tempfile.TemporaryDirectory() as tmp:
        for i in range(args.processes):
            out = os.path.join(tmp, f"{i}.json")
            last = i == args.processes - 1
            cmd = [sys.executable, __file__, "--worker", family, "--out", out, "--clock", args.clock,
                   "--budget", str(args.budget / args.processes), "--samples", str(per_process)]
            done = subprocess.run(cmd + (["--extra"] if last else []), stdout=subprocess.PIPE, text=True, check=True)
            if last:
                extra_text = done.stdout
            with open(out) as f:
                rows = json.load(f)
            if merged is None:
                merged = rows
            else:
                for into, more in zip(merged, rows):
                    into["ours"] += more["ours"]
                    into["idiom"] += more["idiom"]
    results = []
    for r in merged:
        # The description only: the callables stayed in the workers.
        case = harness.Case(ours=None, idiom=None, **r["meta"])
        results.append(harness.result_of(case, r["ours"], r["idiom"]))
    return results, extra_text


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--budget", type=float, default=0.3, help="seconds per measurement (over all processes)")
    parser.add_argument("--processes", type=int, default=3,
                        help="processes each family is measured in, one after the other (1: this one)")
    parser.add_argument("--clock", choices=("wall", "cpu"), default="wall",
                        help="wall-clock time, or this process's CPU time (for a machine shared with other work)")
    parser.add_argument("--chart", metavar="PNG", help="also draw the table as a bar chart into this file")
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    parser.add_argument("--out", help=argparse.SUPPRESS)
    parser.add_argument("--samples", type=int, default=harness.SAMPLES, help=argparse.SUPPRESS)
    parser.add_argument("--extra", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("families", nargs="*", help="only these families (e.g. access slicing)")
    args = parser.parse_args()
    if args.clock == "cpu":
        harness.clock = time.process_time
    if args.worker:
        worker(args.worker, args.budget, args.samples, args.out, args.extra)
        return
    args.processes = max(1, args.processes)
    results = []
    samples = samples_per_process(args.processes) * args.processes
    where = f" from {args.processes} processes" if args.processes > 1 else ""
    print(f"CPython {platform.python_version()} ({sys.executable}); ratios are quorin / idiom, lower is better; "
          f"mean ± sd of {samples} interleaved samples{where}, {args.clock} clock", flush=True)
    for path in sorted(HERE.glob("bench_*.py")):
        family = path.stem[len("bench_"):]
        if args.families and family not in args.families:
            continue
        print(flush=True)
        if args.processes == 1:
            module = importlib.import_module(path.stem)
            results += harness.report(module.cases(), budget=args.budget)
            extra = getattr(module, "extra", None)
            if extra is not None:
                extra()
            continue
        family_results, extra_text = pooled(family, args)
        harness.header()
        for r in family_results:
            harness.row(r)
        print(extra_text, end="", flush=True)
        results += family_results
    if args.chart and results:
        try:
            import chart
            chart.write(results, args.chart, budget=args.budget, samples=samples, processes=args.processes)
        except ImportError as e:
            print(f"\nno chart: {e}", file=sys.stderr)


if __name__ == "__main__":
    main()
