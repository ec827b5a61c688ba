"""Native tables give their memory back: what stays resident after a call
is bounded by a few MiB, whatever the sizes the call used."""

import pytest

from helpers import run_script, subprocess_only

# Resident size before and after large table calls, in a fresh interpreter.
SCRIPT = """
    import array, os
    from quorin import _quorin as q
    page = os.sysconf("SC_PAGE_SIZE")
    def resident():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * page
    data = array.array({code!r}, range({n}))
    q.isdistinct(array.array({code!r}, range(1000)))
    before = resident()
    for _ in range(3):
        assert q.isdistinct(data)
    print((resident() - before) >> 20)
"""


@subprocess_only
@pytest.mark.parametrize("code, n", [("q", 1_500_000), ("q", 300_000), ("i", 4_000_000)])
def test_large_tables_are_given_back(code, n):
    grown = int(run_script(SCRIPT.format(code=code, n=n)))
    assert grown <= 8
