"""The reference pages keep up with the module: every name it exports is
documented, and the package ships its stubs (the stub's list of names is
checked with the other export lists in tests/module), and its annotations
work at run time."""

import pathlib
import re
import typing

import pytest

import quorin
from quorin import _quorin
from quorin.typing import OkOrErr, SomeOrNothing

ROOT = pathlib.Path(__file__).resolve().parents[2]


# Read once: parsing again on every repetition of the leak check would only
# grow the interpreter's own caches.
HEADINGS = {name for page in (ROOT / "docs").glob("*.md")
            for name in re.findall(r"^#{2,3} `(\w+)", page.read_text(), re.MULTILINE)}


def test_every_name_has_a_reference_entry():
    assert [n for n in _quorin.__all__ if n not in HEADINGS] == []


def test_package_ships_its_stubs():
    here = pathlib.Path(quorin.__file__).parent
    assert {"py.typed", "_quorin.pyi", "__init__.pyi", "typing.py"} <= {p.name for p in here.iterdir()}


# importlib.metadata keeps caches keyed on the path entries' modification
# times, which grow the total by a reference now and then.
@pytest.mark.no_refleak
def test_version_is_the_installed_distributions():
    import importlib.metadata as md

    try:
        installed = md.version("quorin-fp")
    except md.PackageNotFoundError:
        pytest.skip("quorin-fp is not installed (a build on PYTHONPATH)")
    assert quorin.__version__ == installed


# typing's own caches grow by a few references on the first repetitions; a
# loop of 2000 subscriptions grows the total by under 25, so nothing leaks.
@pytest.mark.no_refleak
@pytest.mark.parametrize(
    ("alias", "args", "members"),
    [
        (SomeOrNothing, (int,), (_quorin.Some[int], _quorin.NothingType)),
        (OkOrErr, (int, str), (_quorin.Ok[int], _quorin.Err[str])),
    ],
)
def test_annotations_subscript_at_run_time(alias, args, members):
    # Evaluated annotations (get_type_hints, 3.11 without the future import)
    # must give the same union the checkers read.
    assert typing.get_args(alias[args]) == members


@pytest.mark.parametrize(
    ("value", "namespace"),
    [(_quorin.Some(1), _quorin.Option), (_quorin.Nothing, _quorin.Option),
     (_quorin.Ok(1), _quorin.Result), (_quorin.Err(1), _quorin.Result)],
)
def test_values_are_not_instances_of_the_namespaces(value, namespace):
    # The stubs declare no such relation; isinstance on the union's classes
    # is what narrows.
    assert not isinstance(value, namespace)
