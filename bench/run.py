"""Runs every benchmark family (bench/bench_*.py, each with a `cases()`
function returning harness.Case objects) and prints one table."""

import argparse
import importlib
import pathlib
import platform
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).parent))

import harness  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--budget", type=float, default=0.3, help="seconds per measurement")
    parser.add_argument("--clock", choices=("wall", "cpu"), default="wall",
                        help="wall-clock time, or this process's CPU time (for a machine shared with other work)")
    parser.add_argument("--chart", metavar="PNG", help="also draw the table as a bar chart into this file")
    parser.add_argument("families", nargs="*", help="only these families (e.g. access slicing)")
    args = parser.parse_args()
    if args.clock == "cpu":
        harness.clock = time.process_time
    here = pathlib.Path(__file__).parent
    results = []
    print(f"CPython {platform.python_version()} ({sys.executable}); ratios are quorin / idiom, lower is better; "
          f"mean ± sd of {harness.SAMPLES} interleaved samples, {args.clock} clock")
    for path in sorted(here.glob("bench_*.py")):
        family = path.stem[len("bench_"):]
        if args.families and family not in args.families:
            continue
        module = importlib.import_module(path.stem)
        print()
        results += harness.report(module.cases(), budget=args.budget)
        extra = getattr(module, "extra", None)
        if extra is not None:
            extra()
    if args.chart and results:
        try:
            import chart
            chart.write(results, args.chart, budget=args.budget)
        except ImportError as e:
            print(f"\nno chart: {e}", file=sys.stderr)


if __name__ == "__main__":
    main()
