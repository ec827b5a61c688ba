"""The stubs and the reference pages keep up with the module: every name it
exports is declared (in order) and documented, and the package ships its
stubs."""

import ast
import pathlib
import re

import quorin
from quorin import _quorin

ROOT = pathlib.Path(__file__).resolve().parents[2]


def stub_all():
    tree = ast.parse((ROOT / "python" / "quorin" / "_quorin.pyi").read_text())
    for node in tree.body:
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__":
            return [elt.value for elt in node.value.elts]
    raise AssertionError("the stub has no __all__")


# Read once: parsing again on every repetition of the leak check would only
# grow the interpreter's own caches.
STUB_ALL = stub_all()
HEADINGS = {name for page in (ROOT / "docs").glob("*.md")
            for name in re.findall(r"^#{2,3} `(\w+)", page.read_text(), re.MULTILINE)}


def test_stub_declares_every_runtime_name_in_order():
    names = STUB_ALL
    assert len(names) == len(set(names)) == 76
    assert [n for n in names if n in _quorin.__all__] == _quorin.__all__


def test_every_name_has_a_reference_entry():
    assert [n for n in STUB_ALL if n not in HEADINGS] == []


def test_package_ships_its_stubs():
    here = pathlib.Path(quorin.__file__).parent
    assert {"py.typed", "_quorin.pyi", "__init__.pyi"} <= {p.name for p in here.iterdir()}
