import gc
import weakref

import pytest

from quorin import _quorin as q
from quorin._quorin import Err, Nothing, NothingType, Ok, Option, Result, Some


class Boom(Exception):
    pass


class Hostile:
    """Raises from every protocol the value classes may touch."""

    def __eq__(self, other):
        raise Boom("eq")

    def __repr__(self):
        raise Boom("repr")

    def __bool__(self):
        raise Boom("bool")

    __hash__ = None


def never(*args):
    raise AssertionError("must not be called")


@pytest.mark.parametrize("call, expected", [
    (lambda: Some(2).map(lambda x: x + 1), Some(3)),
    (lambda: Nothing.map(never), Nothing),
    (lambda: Some(2).filter(lambda x: x > 1), Some(2)),
    (lambda: Some(2).filter(lambda x: 0), Nothing),
    (lambda: Nothing.filter(never), Nothing),
    (lambda: Nothing.and_then(never), Nothing),
    (lambda: Some(None).unwrap(), None),
    (lambda: Some(1).unwrap_or(2), 1),
    (lambda: Nothing.unwrap_or(2), 2),
    (lambda: Some(1).unwrap_or_else(never), 1),
    (lambda: Nothing.unwrap_or_else(lambda: 7), 7),
    (lambda: Some(1).ok_or("e"), Ok(1)),
    (lambda: Nothing.ok_or("e"), Err("e")),
    (lambda: (Some(None).is_some(), Some(1).is_none(), Nothing.is_some(), Nothing.is_none()),
     (True, False, False, True)),
    (lambda: Ok(1).map(lambda x: x * 10), Ok(10)),
    (lambda: Err(1).map(never), Err(1)),
    (lambda: Ok(1).map_err(never), Ok(1)),
    (lambda: Err(1).map_err(lambda e: e + 1), Err(2)),
    (lambda: Err(1).and_then(never), Err(1)),
    (lambda: (Ok(1).unwrap(), Ok(1).unwrap_or(2), Err(1).unwrap_or(2)), (1, 1, 2)),
    (lambda: (Ok(1).ok(), Ok(1).err(), Err(2).ok(), Err(2).err()), (Some(1), Nothing, Nothing, Some(2))),
    (lambda: (Ok(1).is_ok(), Ok(1).is_err(), Err(1).is_ok(), Err(1).is_err()), (True, False, False, True)),
    (lambda: (Option.of(None), Option.of(0)), (Nothing, Some(0))),
    (lambda: Result.of(lambda: 5), Ok(5)),
])
def test_methods(call, expected):
    assert call() == expected


def test_new_objects_and_identity():
    v = [1]
    s = Some(v)
    for made in (s.map(lambda x: x), s.filter(bool)):
        assert made is not s and made.value is v
    assert NothingType() is not Nothing and type(Option.of(None)) is NothingType
    assert Ok(v).map_err(never) is not Ok(v) and Err(v).map(never).error is v
    target = Nothing
    assert Some(2).and_then(lambda x: target) is target
    err = Err(0)
    assert Ok(1).and_then(lambda x: err) is err


@pytest.mark.parametrize("call, exc, message", [
    (lambda: Some(2).and_then(lambda x: x * 2), TypeError, "and_then callback must return an Option"),
    (lambda: Some(2).and_then(lambda x: Ok(x)), TypeError, "and_then callback must return an Option"),
    (lambda: Ok(1).and_then(lambda x: 5), TypeError, "and_then callback must return a Result"),
    (lambda: Ok(1).and_then(lambda x: Some(x)), TypeError, "and_then callback must return a Result"),
    (lambda: NothingType().unwrap(), ValueError, "called `unwrap` on Nothing"),
    (lambda: Err("boom").unwrap(), ValueError, "called `unwrap` on Err('boom')"),
    (lambda: Some(), TypeError, "Some() missing 1 required positional argument: 'value'"),
    (lambda: NothingType(1), TypeError, "NothingType() takes 0 positional arguments but 1 was given"),
    (lambda: Some(1).map(), TypeError, "Some.map() missing 1 required positional argument: 'f'"),
    (lambda: Err(1).map_err(1, 2), TypeError, "Err.map_err() takes 1 positional arguments but 2 were given"),
    (lambda: Option.of(v=1, w=2), TypeError, "Option.of() got an unexpected keyword argument 'w'"),
])
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


def test_keywords_and_missing_methods():
    assert Some(1).map(f=str) == Some("1")
    assert Err(error=3).error == 3 and Ok(value=4).value == 4 and Option.of(v=None) == Nothing
    assert Nothing.unwrap_or(default=5) == 5
    for cls, absent in [(Some, "map_err"), (Some, "is_ok"), (NothingType, "ok"), (Ok, "filter"),
                        (Err, "unwrap_or_else"), (Err, "ok_or")]:
        assert not hasattr(cls, absent)
    with pytest.raises(TypeError):
        Option()
    with pytest.raises(TypeError):
        Result()
    with pytest.raises(AttributeError):
        Some(1).value = 2


def test_result_of_captures_only_exceptions():
    err = Result.of(lambda: 1 / 0)
    assert type(err) is Err and type(err.error) is ZeroDivisionError

    def interrupt():
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        Result.of(interrupt)


@pytest.mark.parametrize("value, text, truth", [
    (Some(0), "Some(0)", True), (Some("a"), "Some('a')", True), (NothingType(), "Nothing", False),
    (Ok(None), "Ok(None)", True), (Err([1]), "Err([1])", False), (Some(Some(Nothing)), "Some(Some(Nothing))", True),
])
def test_repr_and_truth(value, text, truth):
    assert repr(value) == text and bool(value) is truth


def test_equality_ordering_hashing():
    assert Some(1) == Some(1.0) and Some(1) != Some(2) and not (Some(1) != Some(1))
    assert NothingType() == Nothing and Nothing != Some(None)
    assert Some(1) != 1 and 1 != Some(1) and Ok(1) != Some(1) and Ok(1) != Err(1)
    assert (Some(1) == 1) is False and (Nothing == None) is False  # noqa: E711
    nan = float("nan")
    assert Some(nan) != Some(nan)
    for a, b in [(Some(1), Some(2)), (Nothing, Nothing), (Ok(1), Ok(2)), (Err(1), Err(2))]:
        with pytest.raises(TypeError):
            a < b
        with pytest.raises(TypeError):
            a >= b
        with pytest.raises(TypeError, match="unhashable"):
            hash(a)


def test_pattern_matching():
    def show(v):
        match v:
            case Some(x):
                return ("some", x)
            case NothingType():
                return "nothing"
            case Ok(value) | Err(value):
                return (type(v).__name__, value)

    assert [show(v) for v in (Some(3), Nothing, Ok(1), Err(2))] == [("some", 3), "nothing", ("Ok", 1), ("Err", 2)]
    assert Some.__match_args__ == ("value",) and Err.__match_args__ == ("error",)
    assert not hasattr(NothingType, "__match_args__")


@pytest.mark.parametrize("call", [
    lambda: Some(Hostile()) == Some(1),
    lambda: Some(Hostile()) != Some(1),
    lambda: Err(Hostile()) == Err(1),
    lambda: repr(Ok(Hostile())),
    lambda: Err(Hostile()).unwrap(),
    lambda: Some(1).filter(lambda x: Hostile()),
    lambda: Some(1).map(lambda x: Some(1).map(lambda y: 1 / 0)),
    lambda: Ok(1).and_then(lambda x: Ok(x).and_then(lambda y: y.missing)),
    lambda: Nothing.unwrap_or_else(lambda: Nothing.unwrap_or_else(lambda: Err(1).unwrap())),
])
def test_hostile_payloads_and_callbacks_propagate(call):
    with pytest.raises((Boom, ZeroDivisionError, AttributeError, ValueError)):
        call()


def test_reentrant_callback_sees_consistent_object():
    s = Some(5)
    assert s.map(lambda x: s.map(lambda y: x + y)) == Some(Some(10))


def test_cycles_are_collected():
    class Marker:
        pass

    for make in (Some, Ok, Err):
        m = Marker()
        ref = weakref.ref(m)
        lst = [m]
        lst.append(make(lst))
        del m, lst
        gc.collect()
        assert ref() is None


@pytest.mark.no_refleak
def test_deep_nesting_releases():
    x = None
    for _ in range(10 ** 6):
        x = Some(x)
    del x
    y = Nothing
    for _ in range(10 ** 5):
        y = Err(Ok(y))
    with pytest.raises(RecursionError):
        repr(y)
    del y


def test_module_names():
    assert q.__all__[:7] == ["Some", "NothingType", "Option", "Ok", "Err", "Result", "Nothing"]
    assert type(q.Nothing) is NothingType
    for cls in (Some, NothingType, Option, Ok, Err, Result):
        assert cls.__module__ == "quorin._quorin"
    assert Option.__doc__ is None
