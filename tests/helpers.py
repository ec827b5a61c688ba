"""Helpers several test files share; tests/conftest.py puts this folder on
the import path, so a test file says `from helpers import ...`."""

import gc
import os
import subprocess
import sys
import textwrap
import weakref

import pytest

INT_CODES = "bBhHiIlLqQ"
LIMITS = {
    "b": (-2 ** 7, 2 ** 7 - 1), "B": (0, 2 ** 8 - 1), "h": (-2 ** 15, 2 ** 15 - 1), "H": (0, 2 ** 16 - 1),
    "i": (-2 ** 31, 2 ** 31 - 1), "I": (0, 2 ** 32 - 1), "l": (-2 ** 63, 2 ** 63 - 1), "L": (0, 2 ** 64 - 1),
    "q": (-2 ** 63, 2 ** 63 - 1), "Q": (0, 2 ** 64 - 1),
}


class Boom(Exception):
    pass


def failing_iter(after=0):
    """Yields `after` items, then raises Boom."""
    yield from range(after)
    raise Boom


def fresh(seq):
    """Parameters that are iterators are given as makers, so that every run
    of a test gets an unconsumed one."""
    return seq() if callable(seq) else seq


def box_is_freed(wrap, make_member):
    """Whether the collector frees a list holding a new member and
    wrap(the list): a cycle through the wrapper."""
    box = [make_member()]
    ref = weakref.ref(box[0])
    box.append(wrap(box))
    del box
    gc.collect()
    return ref() is None


# Tests that only drive fresh interpreters: their own process runs nothing of
# ours, and subprocess bookkeeping makes its reference count drift.
subprocess_only = pytest.mark.no_refleak
SCRIPT_TIMEOUT = 120  # seconds: a hang fails the test instead of blocking the run


def run_script(body, cpus=None, env=None):
    """Runs `body` in a fresh interpreter that sees the same quorin (with its
    affinity restricted to `cpus` first, and `env` added to the environment).
    Returns stdout; fails on a non-zero exit or a hang."""
    import quorin
    prefix = ""
    if cpus is not None:
        prefix = f"import os\nos.sched_setaffinity(0, {sorted(cpus)!r})\n"
    full = dict(os.environ, **(env or {}))
    root = os.path.dirname(os.path.dirname(quorin.__file__))
    full["PYTHONPATH"] = os.pathsep.join([root] + [p for p in full.get("PYTHONPATH", "").split(os.pathsep) if p])
    out = subprocess.run([sys.executable, "-c", prefix + textwrap.dedent(body)], env=full, capture_output=True,
                         timeout=SCRIPT_TIMEOUT, text=True)
    assert out.returncode == 0, out.stderr
    return out.stdout
