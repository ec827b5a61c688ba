import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


def test_examples():
    assert q.keymap(str.lower, {"A": 1, "a": 2}) == {"a": 2} and q.itemmap(reversed, {"a": 1}) == {1: "a"}
    assert list(q.valfilter(bool, {"a": 1, "b": 0, "c": 2})) == ["a", "c"]
    assert q.valmap(lambda v: 1 / 0, {}, factory=lambda: 5) == 5


@pytest.mark.parametrize("make, relation", [
    (lambda: (1,), "<"), (lambda: [1], "<"), (lambda: (1, 2, 3), ">"), (lambda: iter([1, 2, 3, 4]), ">")])
def test_itemmap_needs_exactly_two(make, relation):
    result = make()
    with pytest.raises(ValueError, match=f"^dictionary update sequence element has length {relation} 2; 2 is required$"):
        q.itemmap(lambda kv: result, {"a": 1})
    assert not isinstance(result, type(iter([]))) or list(result) == [4]  # read no further than a third


@pytest.mark.parametrize("fn", [q.keyfilter, q.valfilter, q.itemfilter])
def test_truth_test_errors_propagate(fn):
    with pytest.raises(Boom):
        fn(lambda x: type("Bad", (), {"__bool__": lambda self: (_ for _ in ()).throw(Boom())})(), {"a": 1})


def test_itemfilter_gets_a_fresh_pair():
    seen = []
    assert q.itemfilter(lambda kv: seen.append(kv) or True, type("L", (), {"items": lambda s: [("a", 1, 2)]})()) == {"a": 1}
    assert seen == [("a", 1)]


@pytest.mark.parametrize("fn", [q.keymap, q.valmap, q.itemmap, q.keyfilter, q.valfilter, q.itemfilter])
def test_callback_that_grows_its_mapping(fn):
    d = {i: i for i in range(4)}
    with pytest.raises(RuntimeError, match="changed size during iteration"):
        fn(lambda x: d.setdefault(len(d) + 10, x), d)
