import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


class BadKeys:
    def __iter__(self):
        yield 1 / 0


class raising(dict):
    def __init__(self, exc):
        self.exc = exc

    def __getitem__(self, key):
        raise self.exc


@pytest.mark.parametrize("keys, coll, args, expected", [
    ([], {"a": 1}, (), {"a": 1}), (["a", "b"], {"a": {"b": 1}}, (), 1), (("a", 1), {"a": [1, 2]}, (), 2),
    (dict.fromkeys(["a", 5]), {"a": [1, 2]}, (), None), (["a", "x"], {"a": [1, 2]}, (0,), 0),
    (["a", "b"], {"a": None}, ("d",), "d"), (["a"], raising(KeyError), (), None),
])
def test_get_in(keys, coll, args, expected):
    assert q.get_in(keys, coll, *args) == expected


@pytest.mark.parametrize("keys, coll, args, exc", [
    (["a", 5], {"a": [1, 2]}, (None, True), IndexError), (["x"], {}, (None, True), KeyError),
    (5, {}, (), TypeError), (["a"], raising(Boom), (), Boom), (BadKeys(), {}, (), ZeroDivisionError)])
def test_get_in_raises(keys, coll, args, exc):
    with pytest.raises(exc):
        q.get_in(keys, coll, *args)


@pytest.mark.parametrize("flag, shown", [(1, "'int' object"), (None, "'None'")])
def test_get_in_no_default_must_be_a_bool(flag, shown):
    with pytest.raises(TypeError) as info:
        q.get_in(["a"], {}, no_default=flag)
    assert str(info.value) == f"{shown} is not an instance of 'bool'"
    assert info.value.__notes__ == ["while processing 'no_default'"]


def test_get_in_accepts_numpy_booleans():
    np = pytest.importorskip("numpy")
    assert q.get_in(["x"], {}, 7, np.bool_(False)) == 7
    with pytest.raises(KeyError):
        q.get_in(["x"], {}, 7, np.bool_(True))


@pytest.mark.parametrize("call, expected", [
    (lambda: q.assoc_in({"a": 1}, ["a", "b"], 2), {"a": {"b": 2}}), (lambda: q.assoc_in(5, ["a"], 1), {"a": 1}),
    (lambda: q.update_in({"a": 1, "b": 2}, ["a"], str), {"a": "1", "b": 2}),
    (lambda: q.update_in({}, ["a", "b"], str, 0), {"a": {"b": "0"}}),
    (lambda: q.update_in(raising(KeyError), ["k"], str), {"k": "None"}),
])
def test_edits(call, expected):
    assert list(call().items()) == list(expected.items())


@pytest.mark.parametrize("call, exc", [
    (lambda: q.assoc_in({}, [], 1), StopIteration), (lambda: q.update_in(raising(IndexError), ["k"], str), IndexError)])
def test_edit_failures(call, exc):
    with pytest.raises(exc) as info:
        call()
    assert exc is not StopIteration or info.value.args == ()


def test_assoc_in_copies_the_path_only():
    made, inner = [], {"b": 0, "c": [2]}
    d = {"a": inner, "s": [1]}
    out = q.assoc_in(d, ["a", "b"], 1)
    assert out == {"a": {"b": 1, "c": [2]}, "s": [1]} and inner == {"b": 0, "c": [2]}
    assert out["s"] is d["s"] and out["a"] is not inner and out["a"]["c"] is inner["c"]
    q.assoc_in({}, ["a", "b"], 1, factory=lambda: made.append(1) or {})
    assert len(made) == 3  # a missing level: one fresh mapping, one copy of it


def test_a_path_of_any_length_fits():
    assert q.get_in(range(10**5), q.assoc_in({}, range(10**5), 1), no_default=True) == 1
