"""The reference pages keep up with the module: every name it exports is
documented, and the package ships its stubs (the stub's list of names is
checked with the other export lists in tests/module)."""

import pathlib
import re

import quorin
from quorin import _quorin

ROOT = pathlib.Path(__file__).resolve().parents[2]


# Read once: parsing again on every repetition of the leak check would only
# grow the interpreter's own caches.
HEADINGS = {name for page in (ROOT / "docs").glob("*.md")
            for name in re.findall(r"^#{2,3} `(\w+)", page.read_text(), re.MULTILINE)}


def test_every_name_has_a_reference_entry():
    assert [n for n in _quorin.__all__ if n not in HEADINGS] == []


def test_package_ships_its_stubs():
    here = pathlib.Path(quorin.__file__).parent
    assert {"py.typed", "_quorin.pyi", "__init__.pyi"} <= {p.name for p in here.iterdir()}
