"""Shared test set-up: the refleak mode used on the debug interpreter.

With ``--refleaks N`` every test body runs N extra times first; the total
reference count must not grow across the last three of those runs (a real
leak grows it every time, interpreter caches settle after a run or two).
"""

import gc
import sys
import weakref

import pytest


def pytest_addoption(parser):
    parser.addoption("--refleaks", type=int, default=0, metavar="N",
                     help="run each test N extra times and fail if the total reference count keeps growing")


def _total():
    gc.collect()
    return sys.gettotalrefcount()


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_call(item):
    runs = item.config.getoption("refleaks")
    # numpy on the debug interpreter drifts the total by itself; our own
    # references to its arrays are checked with sys.getrefcount instead.
    skip = item.get_closest_marker("no_refleak") or "numpy" in item.nodeid.lower()
    if runs >= 3 and hasattr(sys, "gettotalrefcount") and not skip:
        # Preallocated, so that the bookkeeping itself adds no references.
        deltas = [0] * runs
        before = after = 0
        for i in range(runs):
            before = _total()
            item.runtest()
            after = _total()
            deltas[i] = after - before
        if all(d > 0 for d in deltas[-3:]):
            pytest.fail(f"reference leak: total refcount grew by {deltas} over {runs} runs", pytrace=False)
    yield


def pytest_configure(config):
    config.addinivalue_line("markers", "no_refleak: the test cannot be repeated for the refleak check")


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
