import gc
import weakref

import pytest

from quorin import _quorin
from quorin._quorin import Err, Nothing, NothingType, Ok, Option, Result, Some

from helpers import box_is_freed


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


def never(*args):
    raise AssertionError("must not be called")


@pytest.mark.parametrize("call, expected", [
    (lambda: Some(2).map(lambda x: x + 1), Some(3)), (lambda: Nothing.map(never), Nothing),
    (lambda: Some(2).filter(lambda x: x > 1), Some(2)), (lambda: Some(2).filter(lambda x: 0), Nothing),
    (lambda: Nothing.filter(never), Nothing), (lambda: Nothing.and_then(never), Nothing),
    (lambda: (Some(None).unwrap(), Some(1).unwrap_or(2), Nothing.unwrap_or(default=2)), (None, 1, 2)),
    (lambda: (Some(1).unwrap_or_else(never), Nothing.unwrap_or_else(lambda: 7)), (1, 7)),
    (lambda: (Some(1).ok_or("e"), Nothing.ok_or("e")), (Ok(1), Err("e"))),
    (lambda: (Some(None).is_some(), Some(1).is_none(), Nothing.is_some(), Nothing.is_none()),
     (True, False, False, True)),
    (lambda: (Ok(1).map(lambda x: x * 10), Err(1).map(never)), (Ok(10), Err(1))),
    (lambda: (Ok(1).map_err(never), Err(1).map_err(f=lambda e: e + 1)), (Ok(1), Err(2))),
    (lambda: Err(1).and_then(never), Err(1)),
    (lambda: (Ok(1).unwrap(), Ok(1).unwrap_or(2), Err(1).unwrap_or(2)), (1, 1, 2)),
    (lambda: (Ok(1).ok(), Ok(1).err(), Err(2).ok(), Err(2).err()), (Some(1), Nothing, Nothing, Some(2))),
    (lambda: (Ok(1).is_ok(), Ok(1).is_err(), Err(1).is_ok(), Err(1).is_err()), (True, False, False, True)),
    (lambda: (Option.of(None), Option.of(v=0), Result.of(lambda: 5)), (Nothing, Some(0), Ok(5))),
])
def test_methods(call, expected):
    assert call() == expected


def test_new_objects_and_identity():
    v = [1]
    s = Some(v)
    for made in (s.map(lambda x: x), s.filter(bool)):
        assert made is not s and made.value is v
    assert NothingType() is not Nothing and type(Option.of(None)) is NothingType
    assert Err(v).map(never).error is v
    assert Some(2).and_then(lambda x: Nothing) is Nothing
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
    (lambda: Option(), TypeError, None), (lambda: Result(), TypeError, None),
    (lambda: setattr(Some(1), "value", 2), AttributeError, None),
])
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert message is None or str(info.value) == message


def test_result_of_captures_only_exceptions():
    err = Result.of(lambda: 1 / 0)
    assert type(err) is Err and type(err.error) is ZeroDivisionError
    with pytest.raises(KeyboardInterrupt):
        Result.of(lambda: (_ for _ in ()).throw(KeyboardInterrupt))


@pytest.mark.parametrize("value, text, truth", [
    (Some(0), "Some(0)", True), (NothingType(), "Nothing", False), (Ok(None), "Ok(None)", True),
    (Err([1]), "Err([1])", False), (Some(Some(Nothing)), "Some(Some(Nothing))", True),
])
def test_repr_and_truth(value, text, truth):
    assert repr(value) == text and bool(value) is truth


def test_equality_ordering_hashing():
    assert Some(1) == Some(1.0) and Some(1) != Some(2) and not (Some(1) != Some(1))
    assert NothingType() == Nothing and Nothing != Some(None)
    assert (Some(1) == 1) is False and 1 != Some(1) and Ok(1) != Some(1) and Ok(1) != Err(1)
    nan = float("nan")
    assert Some(nan) != Some(nan)
    for a, b in [(Some(1), Some(2)), (Nothing, Nothing), (Ok(1), Ok(2)), (Err(1), Err(2))]:
        with pytest.raises(TypeError):
            a < b
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
    assert not hasattr(NothingType, "__match_args__")


@pytest.mark.parametrize("call", [
    lambda: Some(Hostile()) == Some(1), lambda: Some(Hostile()) != Some(1), lambda: Err(Hostile()) == Err(1),
    lambda: repr(Ok(Hostile())), lambda: Err(Hostile()).unwrap(), lambda: Some(1).filter(lambda x: Hostile()),
    lambda: Some(1).map(lambda x: Some(1).map(lambda y: 1 / 0)),
    lambda: Ok(1).and_then(lambda x: Ok(x).and_then(lambda y: y.missing)),
    lambda: Nothing.unwrap_or_else(lambda: Nothing.unwrap_or_else(lambda: Err(1).unwrap())),
])
def test_hostile_payloads_and_callbacks_propagate(call):
    with pytest.raises((Boom, ZeroDivisionError, AttributeError, ValueError)):
        call()


@pytest.mark.parametrize("make", [Some, Ok, Err])
def test_cycles_are_collected(make):
    assert box_is_freed(make, Boom)


class Payload:
    pass


@pytest.mark.parametrize("make, read", [
    (Some, lambda v: v.value),
    (Ok, lambda v: v.value),
    (Err, lambda v: v.error),
    (lambda p: NothingType(), lambda v: None),
])
def test_released_values_are_reused_whole(make, read):
    # Many made and dropped at once, then made again: every new value that
    # can be part of a cycle is tracked by the collector, every value is
    # weakly referable afresh and holds its own payload; the payload of a
    # dropped value is released with it.
    payloads = [Payload() for _ in range(100)]
    values = [make(p) for p in payloads]
    refs = [weakref.ref(v) for v in values]
    del values
    assert all(r() is None for r in refs)
    fresh = [make(p) for p in payloads]
    assert all(gc.is_tracked(v) is (type(v) is not NothingType) for v in fresh)
    assert all(weakref.ref(v)() is v for v in fresh)
    assert [read(v) for v in fresh] == [None if read(fresh[0]) is None else p for p in payloads]
    held = weakref.ref(payloads[0])
    del fresh, payloads
    assert held() is None


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


@pytest.mark.parametrize("cls", [Some, Ok, Err, Option, Result, _quorin.Iter, _quorin.curry, _quorin.NativeIter])
def test_classes_are_subscriptable_for_annotations(cls):
    alias = cls[int]
    assert alias.__origin__ is cls and alias.__args__ == (int,)


@pytest.mark.parametrize("make, tracked", [
    (lambda: Some([]), True), (lambda: Ok(Payload()), True), (lambda: Err(Some([])), True),
    (lambda: Some(Some), True), (lambda: Some(1), False), (lambda: Ok("text"), False), (lambda: Err(None), False),
    (lambda: Some(Some(1)), True), (lambda: Some(NothingType()), False), (NothingType, False),
])
def test_only_values_that_can_close_a_cycle_are_tracked(make, tracked):
    # A payload the collector does not follow can never lead back to its
    # value, and an absent value holds nothing at all.
    assert gc.is_tracked(make()) is tracked


def test_absent_values_refuse_subclassing():
    with pytest.raises(TypeError):
        type("Sub", (NothingType,), {})
