"""The conventions all mapping functions share: the factory, reading
items(), inputs never changed, nothing partial returned."""

import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


class Items(dict):
    """A mapping whose items() yields `elements` (an exception is raised)."""

    def __init__(self, *elements, log=None):
        super().__init__((e[0], e[1]) for e in elements if isinstance(e, tuple) and len(e) > 1)
        self.elements, self.log = elements, log

    def items(self):
        self.log is None or self.log.append("items")
        for e in self.elements:
            if isinstance(e, type):
                raise e("midway")
            yield e


CALLS = {
    "merge": lambda d, f: q.merge(d, factory=f),
    "merge_with": lambda d, f: q.merge_with(len, d, factory=f),
    "assoc": lambda d, f: q.assoc(d, "new", 0, factory=f),
    "dissoc": lambda d, f: q.dissoc(d, "a", factory=f),
    "assoc_in": lambda d, f: q.assoc_in(d, ["new"], 0, factory=f),
    "update_in": lambda d, f: q.update_in(d, ["new"], str, factory=f),
    "keymap": lambda d, f: q.keymap(lambda k: k, d, factory=f),
    "valmap": lambda d, f: q.valmap(str, d, factory=f),
    "itemmap": lambda d, f: q.itemmap(tuple, d, factory=f),
    "keyfilter": lambda d, f: q.keyfilter(bool, d, factory=f),
    "valfilter": lambda d, f: q.valfilter(bool, d, factory=f),
    "itemfilter": lambda d, f: q.itemfilter(bool, d, factory=f),
}
each = pytest.mark.parametrize("name", CALLS)


@each
def test_factory_called_once_before_reading_and_returned_as_is(name):
    log = []
    target = CALLS[name](Items(("a", 1, "extra"), log=log), lambda: log.append(Items()) or log[-1])
    assert log[1 if name == "merge_with" else 0] is target and len(log) == 2
    assert dict(target) == dict(CALLS[name]({"a": 1}, None))


@each
@pytest.mark.parametrize("d, factory", [({"a": 1, "b": [2]}, None), (Items(("a", 1), ("b", [2])), dict)])
def test_inputs_never_change_and_values_are_shared(name, d, factory):
    before, inner = dict(d), d["b"]
    out = CALLS[name](d, factory)
    assert d == before and d["b"] is inner and out is not d
    assert all(v is inner for v in out.values() if isinstance(v, list))


class RaisingTarget(dict):
    def __setitem__(self, key, value):
        raise Boom(key)


@each
@pytest.mark.parametrize("element, factory, exc, message", [
    (["a", 1], None, TypeError, "'list' object is not an instance of 'tuple'"),
    (None, None, TypeError, "'None' is not an instance of 'tuple'"),
    (("a",), None, IndexError, "tuple index out of range"),
    (Boom, None, Boom, "midway"),
    (([1], 2), None, TypeError, "unhashable"),
    (("b", 2), RaisingTarget, Boom, None),
    (("b", 2), lambda: 5, TypeError, "'int' object does not support item assignment"),
    (("b", 2), lambda: 1 / 0, ZeroDivisionError, None),
])
def test_failures_propagate(name, element, factory, exc, message):
    with pytest.raises(exc, match=message):
        CALLS[name](Items(("x", 1), element), factory)
