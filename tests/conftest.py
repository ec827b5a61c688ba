"""Shared test set-up: the refleak mode used on the debug interpreter.

With ``--refleaks N`` a test that passed runs N extra times; the total
reference count must not grow across the last three of those runs (a real
leak grows it every time, interpreter caches settle after a run or two).

The repeats go where they can find something. A case whose own run took
more than ``SLOW`` seconds of processor time works on large data and mostly
repeats the same native loop, so only the first such case of each test
function is repeated (per process: under pytest-xdist each worker checks
its own). Never repeated: tests marked ``no_refleak``, numpy tests (numpy
drifts the debug build's total by itself; our references to its arrays are
checked with sys.getrefcount instead) and hypothesis tests (its engine's
caches grow from run to run).
"""

import array
import gc
import pathlib
import sys
import time
import weakref

import pytest

# Shared test helpers (tests/helpers.py) are imported by name.
sys.path.insert(0, str(pathlib.Path(__file__).parent))

# Processor seconds of one run above which a case counts as large-data.
SLOW = 0.25


def pytest_addoption(parser):
    parser.addoption("--refleaks", type=int, default=0, metavar="N",
                     help="run each test N extra times and fail if the total reference count keeps growing")


def pytest_configure(config):
    config.addinivalue_line("markers", "no_refleak: the test cannot be repeated for the refleak check")
    if config.getoption("refleaks") >= 3 and hasattr(sys, "gettotalrefcount"):
        config.pluginmanager.register(RefleakCheck(config.getoption("refleaks")), "quorin-refleaks")


def _total():
    gc.collect()
    return sys.gettotalrefcount()


class RefleakCheck:
    def __init__(self, runs):
        self.runs = runs
        self.slow_seen = set()  # test functions whose first large-data case was repeated
        self.tally = {}         # verdict -> count, over every process's reports

    def verdict(self, item, cpu):
        if (item.get_closest_marker("no_refleak") or "numpy" in item.nodeid.lower()
                or getattr(getattr(item, "obj", None), "is_hypothesis_test", False)):
            return "exempt"
        if cpu <= SLOW:
            return "checked"
        function = item.nodeid.split("[")[0]
        if function in self.slow_seen:
            return "large"
        self.slow_seen.add(function)
        return "checked large"

    @pytest.hookimpl(wrapper=True)
    def pytest_runtest_call(self, item):
        start = time.process_time()
        result = yield  # raises when the test failed: nothing to repeat then
        verdict = self.verdict(item, time.process_time() - start)
        item.user_properties.append(("refleak", verdict))
        if verdict.startswith("checked"):
            # What is alive now is left out of later collections, which then
            # only look at what the repeats make: a full collection of the
            # whole heap at every step would cost more than the tests.
            gc.collect()
            gc.freeze()
            # Preallocated, and only small deltas stored, so that the
            # bookkeeping itself adds no references.
            deltas = [0] * self.runs
            before = after = 0
            for i in range(self.runs):
                before = _total()
                item.runtest()
                after = _total()
                deltas[i] = after - before
            if all(d > 0 for d in deltas[-3:]):
                pytest.fail(f"reference leak: total refcount grew by {deltas} over {self.runs} runs",
                            pytrace=False)
        return result

    def pytest_runtest_logreport(self, report):
        # Also called in the controlling process with the xdist workers' reports.
        if report.when == "call":
            for key, value in report.user_properties:
                if key == "refleak":
                    self.tally[value] = self.tally.get(value, 0) + 1

    def pytest_terminal_summary(self, terminalreporter):
        t = self.tally
        if t:
            terminalreporter.write_line(
                f"refleak repeats: {t.get('checked', 0) + t.get('checked large', 0)} tests checked "
                f"({t.get('checked large', 0)} large-data), {t.get('large', 0)} further large-data "
                f"cases and {t.get('exempt', 0)} exempt ones not repeated")


class _Owner:
    def f(self, *args):
        return args[-1] if args else None


@pytest.fixture
def cycle_collected():
    """check(make): whether an object keeping `make(obj)` (an iterator built
    over its own bound method `obj.f`, say) is freed by the collector."""
    def check(make):
        o = _Owner()
        o.it = make(o)
        ref = weakref.ref(o)
        del o
        gc.collect()
        return ref() is None
    return check


@pytest.fixture
def deep_chain():
    """release(wrap): builds wrap(wrap(...(iter([])))) a million deep and drops it."""
    def release(wrap):
        it = iter([])
        for _ in range(10**6):
            it = wrap(it)
        del it
    return release


class _NoIter(array.array):
    iterated = 0

    def __iter__(self):
        type(self).iterated += 1
        return super().__iter__()


@pytest.fixture
def no_iter():
    """An integer array type whose iterations are counted (`iterated`, which
    a test resets: the leak check runs its body again): the integer paths
    read the buffer and never iterate."""
    return _NoIter
