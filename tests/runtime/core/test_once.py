"""Values made once per process: a first use that comes back to the same
value while making it (an audit hook, an import calling into the module)
must not wait for itself."""

import pytest

from helpers import run_script, subprocess_only

# An audit hook sees the import a once-made value needs and, from inside
# that first use, calls into the same value again.
SCRIPT = """
    import sys
    from quorin import _quorin as q
    for name in {modules!r}:
        sys.modules.pop(name, None)
    def f(a, b):
        return a + b
    inner = []
    def hook(event, args):
        if event == "import" and args[0] == {modules[0]!r} and not inner:
            inner.append(None)
            inner[0] = {call}
    sys.addaudithook(hook)
    outer = {call}
    print(repr(inner[0]), repr(outer))
"""


@subprocess_only
@pytest.mark.parametrize("modules, call, shown", [
    (("inspect",), "q.curry(f)(3, 4)", "7 7"),
    (("inspect",), "q.curry(f, b=2)(3)", "5 5"),
    (("collections.abc",), "q.nth(1, 'xyz')", "'y' 'y'"),
])
def test_first_use_reentered_from_an_audit_hook(modules, call, shown):
    assert run_script(SCRIPT.format(modules=modules, call=call)).strip() == shown
