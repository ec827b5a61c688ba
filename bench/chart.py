"""A picture of the benchmark table: one bar per row, the ratio of ours to
the idiom on a log scale, each row's goal marked, interpreter and machine in
the title. Used by run.py's --chart."""

import os
import platform
import sys

import harness


def machine():
    """The processor model and the processors this process may use."""
    model = platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    cpus = len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()
    return f"{model}, {cpus} processor{'s' if cpus != 1 else ''}"


def shorten(text, width=40):
    return text if len(text) <= width else text[: width - 1] + "\u2026"


def write(results, path, budget=None, samples=harness.SAMPLES, processes=1):
    """Writes the chart of `results` (harness.Result objects) to `path` (PNG);
    `budget` (seconds per measurement), the number of samples and of the
    processes they came from go into the title."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    rows = list(reversed(results))  # the first row on top
    labels = [("floor: " if r.case.floor else "") + f"{r.case.name}  vs  {shorten(r.case.idiom_name)}" for r in rows]
    ratios = [r.ratio for r in rows]
    spreads = [r.spread for r in rows]
    goals = [r.case.goal for r in rows]
    # Rows with a goal: green when they meet it, red when not, amber when the
    # spread reaches across it; floor rows blue-grey, others grey.
    palette = {"ok": "#3a7d44", "!": "#c0392b", "~": "#e0a526"}
    colours = [palette[r.verdict()] if r.verdict() else "#7f93a8" if r.case.floor else "#9aa5b1" for r in rows]

    fig, ax = plt.subplots(figsize=(12, 1.6 + 0.24 * len(rows)))
    y = range(len(rows))
    ax.barh(y, ratios, color=colours, height=0.7, left=0)
    # One standard deviation either side, clipped above zero for the log axis.
    lower = [min(s, r * 0.95) for r, s in zip(ratios, spreads)]
    ax.errorbar(ratios, list(y), xerr=[lower, spreads], fmt="none", ecolor="black", elinewidth=0.7, capsize=2)
    ax.set_xscale("log")
    ax.set_yticks(list(y), labels, fontsize=7)
    ax.axvline(1.0, color="black", linewidth=0.8)
    marked = [(i, g) for i, g in enumerate(goals) if g is not None]
    handles = [Patch(color=palette["ok"], label="meets its goal"), Patch(color=palette["!"], label="misses its goal"),
               Patch(color=palette["~"], label="spread crosses its goal"),
               Patch(color="#7f93a8", label="floor (the unavoidable part alone)"),
               Patch(color="#9aa5b1", label="no goal set")]
    if marked:
        handles.append(ax.scatter([g for _, g in marked], [i for i, _ in marked], marker="|", s=160,
                                  color="#1f4e9c", zorder=3, label="goal (the ratio to stay under)"))
    ax.legend(handles=handles, loc="lower right", fontsize=8)
    for i, (r, s) in enumerate(zip(ratios, spreads)):
        ax.annotate(f"{r:.3g}±{s:.2g}", (r + s, i), xytext=(3, 0), textcoords="offset points", va="center",
                    fontsize=6)
    ax.set_xlabel("time of quorin / time of the idiom, mean ± sd (log scale; left of 1 is faster)")
    ax.set_ylim(-0.7, len(rows) - 0.3)
    ax.grid(axis="x", which="both", alpha=0.25)
    title = f"quorin benchmarks: CPython {platform.python_version()} on {machine()}"
    if budget is not None:
        title += f"; {budget:g} s per row in {samples} interleaved samples"
        if processes > 1:
            title += f" from {processes} processes"
    ax.set_title(title, fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=90, bbox_inches="tight")
    plt.close(fig)
    print(f"\nchart written to {path}", file=sys.stderr)
