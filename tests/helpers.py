"""Helpers several test files share; tests/conftest.py puts this folder on
the import path, so a test file says `from helpers import ...`."""

import gc
import weakref

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
