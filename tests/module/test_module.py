import ast
import inspect
import pathlib
import re

import pytest

import quorin
from quorin import _quorin as q

ROOT = pathlib.Path(__file__).resolve().parents[2]


def stub_all():
    tree = ast.parse((ROOT / "python" / "quorin" / "_quorin.pyi").read_text())
    for node in tree.body:
        if isinstance(node, ast.Assign) and node.targets[0].id == "__all__":
            return [elt.value for elt in node.value.elts]
    raise AssertionError("the stub has no __all__")


def readme_names():
    """The names the reference index lists, family by family."""
    text = (ROOT / "docs" / "README.md").read_text()
    index = text[text.index("- ["):text.index("The package ships")]
    return re.findall(r"`(\w+)`", index)


# Read once: parsing again on every repetition of the leak check would only
# grow the interpreter's own caches.
COPIES = {"stub": stub_all(), "package": quorin.__all__, "docs index": readme_names()}


# The module's `__all__` is built from the export table; every other list of
# the names must agree with it (the stub and the package in order, the
# documentation index grouped by family).
@pytest.mark.parametrize("copy", COPIES)
def test_every_export_list_matches_the_module(copy):
    names = COPIES[copy]
    assert len(names) == len(set(names))
    if copy == "docs index":
        assert sorted(names) == sorted(q.__all__)
    else:
        assert names == q.__all__


def test_exports():
    assert len(q.__all__) == len(set(q.__all__))
    assert q.__doc__ == ""
    for name in q.__all__:
        assert getattr(quorin, name) is getattr(q, name)


# inspect.signature itself drifts the debug build's total reference count
# (names it creates are interned), so these are not repeated for the leak check.
@pytest.mark.no_refleak
@pytest.mark.parametrize("name", [n for n in q.__all__
                                  if type(getattr(q, n)).__name__ == "builtin_function_or_method"])
def test_function_docstrings_are_signatures(name):
    fn = getattr(q, name)
    assert fn.__doc__ is None
    assert fn.__text_signature__.startswith("(")
    assert fn.__module__ == "quorin._quorin"
    inspect.signature(fn)


@pytest.mark.no_refleak
def test_signature_of_take():
    assert list(inspect.signature(q.take).parameters) == ["n", "seq"]
    sig = inspect.signature(q.get)
    assert [p.kind for p in sig.parameters.values()] == [
        inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.POSITIONAL_OR_KEYWORD,
        inspect.Parameter.VAR_POSITIONAL]


@pytest.mark.parametrize("call, message", [
    (lambda: q.take(1), "take() missing 1 required positional argument: 'seq'"),
    (lambda: q.take(), "take() missing 2 required positional arguments: 'n' and 'seq'"),
    (lambda: q.take(1, 2, 3), "take() takes 2 positional arguments but 3 were given"),
    (lambda: q.first(1, 2), "first() takes 1 positional arguments but 2 were given"),
    (lambda: q.take(1, [1], x=1), "take() got an unexpected keyword argument 'x'"),
    (lambda: q.take(1, n=2), "take() got multiple values for argument 'n'"),
    (lambda: q.first(), "first() missing 1 required positional argument: 'seq'"),
    (lambda: q.get(), "get() missing 2 required positional arguments: 'ind' and 'coll'"),
    (lambda: q.iterate(x=1), "iterate() missing 1 required positional argument: 'func'"),
])
def test_binding_messages(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keyword_binding():
    assert q.first(seq=[5]) == 5
    assert list(q.take(seq=[1, 2, 3], n=2)) == [1, 2]
    assert q.get(coll={"a": 1}, ind="a") == 1
    with pytest.raises(TypeError, match=r"^get\(\) got an unexpected keyword argument 'rest'$"):
        q.get(1, [1, 2], rest=(0,))


def test_conversion_note():
    with pytest.raises(OverflowError) as info:
        q.tail(-1, [1])
    assert info.value.__notes__ == ["while processing 'n'"]
    with pytest.raises(TypeError) as info:
        q.tail("x", [1])
    assert info.value.__notes__ == ["while processing 'n'"]


def test_native_iter_class():
    it = q.iterate(lambda x: x, 0)
    assert type(it) is q.NativeIter
    assert type(it).__name__ == "NativeIter"
    assert type(it).__module__ == "quorin._quorin"
    assert type(it).__qualname__ == "NativeIter"
    with pytest.raises(TypeError):
        q.NativeIter()
    assert not hasattr(q, "UniqueIter")
