import pytest

from quorin._quorin import Nothing, NothingType, Some, first_opt, get_in_opt, get_opt, last_opt, nth_opt, peek_opt


def flaky():
    yield 1
    raise RuntimeError("flaky")


class RaisingGetitem:
    def __getitem__(self, key):
        raise ValueError(key)


class MissingDict(dict):
    def __missing__(self, key):
        return "made"


@pytest.mark.parametrize("call, expected", [
    (lambda: get_opt(5, [1, 2]), Nothing), (lambda: get_opt("k", {}), Nothing), (lambda: get_opt("x", [1]), Nothing),
    (lambda: get_opt(0, 5), Nothing), (lambda: get_opt([], {}), Nothing), (lambda: get_opt(-1, [1, 2]), Some(2)),
    (lambda: get_opt((1, 2), {(1, 2): "t"}), Some("t")), (lambda: get_opt("k", MissingDict()), Some("made")),
    (lambda: get_opt(ind=1, coll="ab"), Some("b")),
    (lambda: nth_opt(0, []), Nothing), (lambda: nth_opt(2, "abc"), Some("c")), (lambda: nth_opt(3, "abc"), Nothing),
    (lambda: nth_opt(1, (1, None)), Some(None)), (lambda: nth_opt(5, [1]), Nothing),
    (lambda: nth_opt(2, iter([1])), Nothing), (lambda: nth_opt(1, iter([1, 2, 3])), Some(2)),
    (lambda: first_opt(iter([])), Nothing), (lambda: first_opt([None]), Some(None)), (lambda: first_opt(()), Nothing),
    (lambda: first_opt("xy"), Some("x")),
    (lambda: last_opt(range(5)), Some(4)), (lambda: last_opt(x for x in []), Nothing),
    (lambda: last_opt([1, 2]), Some(2)), (lambda: last_opt(()), Nothing),
    (lambda: get_in_opt({"a": {"b": 1}}, "a", "b"), Some(1)), (lambda: get_in_opt({"a": {"b": 1}}, "a", "x"), Nothing),
    (lambda: get_in_opt({"a": 1}, "a", "b"), Nothing), (lambda: get_in_opt(5), Some(5)),
    (lambda: get_in_opt([[0, [1, 2]]], 0, 1, -1), Some(2)),
    (lambda: peek_opt([]), Nothing),
])
def test_results(call, expected):
    result = call()
    assert result == expected and type(result) is type(expected)
    if type(result) is NothingType:
        assert result is not Nothing


def test_peek_opt():
    head, rest = peek_opt([1, 2]).unwrap()
    assert head == 1 and list(rest) == [1, 2]
    it = iter("abc")
    head, rest = peek_opt(it).unwrap()
    assert head == "a" and next(it) == "b" and list(rest) == ["a", "c"]


@pytest.mark.parametrize("call, exc", [
    (lambda: get_opt(1, RaisingGetitem()), ValueError),
    (lambda: get_in_opt({"a": RaisingGetitem()}, "a", "b"), ValueError),
    (lambda: nth_opt(3, flaky()), RuntimeError),
    (lambda: last_opt(flaky()), RuntimeError),
    (lambda: nth_opt(-1, [1]), OverflowError),
    (lambda: nth_opt("1", [1]), TypeError),
    (lambda: first_opt(5), TypeError),
    (lambda: last_opt(None), TypeError),
    (lambda: peek_opt(3), TypeError),
])
def test_errors_propagate(call, exc):
    with pytest.raises(exc):
        call()


def test_first_opt_stops_before_a_failing_step():
    it = flaky()
    assert first_opt(it) == Some(1)


def test_nth_conversion_note():
    with pytest.raises(OverflowError) as info:
        nth_opt(-1, [1])
    assert info.value.__notes__ == ["while processing 'n'"]


def test_consumption():
    it = iter(range(10))
    assert nth_opt(2, it) == Some(2) and next(it) == 3
    assert last_opt(it) == Some(9) and list(it) == []


class OtherIter:
    """An iterator whose iter() hands out another one: that one is read."""

    def __init__(self):
        self.calls = []

    def __iter__(self):
        self.calls.append("iter")
        return iter("xyz")

    def __next__(self):
        raise AssertionError("must not be called")


@pytest.mark.parametrize("take, expected", [(first_opt, Some("x")), (lambda s: nth_opt(1, s), Some("y")),
                                            (last_opt, Some("z"))])
def test_iter_is_asked_unless_the_iterator_is_its_own(take, expected):
    source = OtherIter()
    assert take(source) == expected and source.calls == ["iter"]
    gen = (c for c in "abc")
    assert take(gen) == Some("a" if expected == Some("x") else "b" if expected == Some("y") else "c")
