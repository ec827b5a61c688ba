from collections import OrderedDict

import pytest

from quorin import _quorin as q


class Sub(dict):
    def items(self):
        return [("sub", 1)]


class Key:
    eq_calls = 0

    def __hash__(self):
        return 1

    def __eq__(self, other):
        Key.eq_calls += 1
        return isinstance(other, Key)


@pytest.mark.parametrize("call", [lambda ds: q.merge(ds), lambda ds: q.merge(iter(ds)), lambda ds: q.merge(*ds)])
def test_merge_forms_and_order(call):
    assert list(call([{"a": 1}, {"b": 2, "a": 3}]).items()) == [("a", 3), ("b", 2)]


def test_merge_copies_and_honours_subclass_items():
    d = {"a": 1}
    assert q.merge(d) == d and q.merge(d) is not d and q.merge() == {}
    assert q.merge(d, Sub(x=0)) == {"a": 1, "sub": 1}


@pytest.mark.parametrize("args, message", [(({}, [{}]), "'list' object"), ((5,), "'int' object")])
def test_merge_non_mappings(args, message):
    with pytest.raises(TypeError, match=f"^{message} is not iterable$"):
        q.merge(*args)


def test_merge_compares_a_key_once_before_a_non_dict():
    Key.eq_calls = 0
    assert list(q.merge({Key(): 1}, {Key(): 2}, Sub()).values()) == [2, 1] and Key.eq_calls == 1


def test_merge_with():
    seen = []
    assert q.merge_with(lambda vs: seen.append(vs) or sum(vs), {"a": 1}, {"a": 2, "b": 3}) == {"a": 3, "b": 3}
    assert seen == [[1, 2], [3]] and q.merge_with(lambda vs: 1 / 0) == {}
    with pytest.raises(AttributeError):  # the factory comes after reading
        q.merge_with(len, {"a": 1}, 5, factory=lambda: 1 / 0)


def test_assoc_and_dissoc():
    d = {"a": 1, "b": 2}
    assert list(q.assoc(d, "a", 9).items()) == [("a", 9), ("b", 2)] and list(q.assoc(d, "c", 3)) == ["a", "b", "c"]
    assert q.dissoc(d, "a", "x", "a") == {"b": 2} and q.dissoc(d) == d and d == {"a": 1, "b": 2}
    assert q.dissoc(d, "a", factory=OrderedDict) == OrderedDict(b=2)
