"""Type-checked, not run: exhaustive matches and narrowing on quorin's
values, keys given as lambdas, juxt of overloaded functions, and calls the
checkers must reject. Each rejected call carries both checkers' markers;
either checker flags a marker that no longer suppresses anything, so a
stub that stops rejecting the call fails the check."""

from __future__ import annotations

from typing import assert_type

from quorin import Err, NothingType, Ok, Option, Some, countby, curry, groupby, juxt, reduceby
from quorin.typing import OkOrErr, SomeOrNothing


def match_result(r: OkOrErr[int, str]) -> int:
    match r:
        case Ok(v):
            assert_type(v, int)
            return v
        case Err(e):
            assert_type(e, str)
            return len(e)


def match_option(o: SomeOrNothing[int]) -> int:
    match o:
        case Some(v):
            return v
        case NothingType():
            return 0


def by_isinstance(o: SomeOrNothing[str], r: OkOrErr[int, str]) -> str:
    if isinstance(o, Some):
        assert_type(o, Some[str])
        return o.value
    assert_type(o, NothingType)
    if isinstance(r, Err):
        assert_type(r, Err[str])
        return r.error
    assert_type(r, Ok[int])
    return str(r.value)


def by_truth(o: SomeOrNothing[str], r: OkOrErr[int, str]) -> int:
    if o:
        assert_type(o, Some[str])
        return len(o.value)
    assert_type(o, NothingType)
    if not r:
        assert_type(r, Err[str])
        return len(r.error)
    assert_type(r, Ok[int])
    return r.value


def chained(text: str) -> SomeOrNothing[int]:
    return Option.of(text or None).map(len).filter(lambda n: n > 1)


words = ["a", "bb", "cc"]
assert_type(groupby(lambda w: len(w), words), dict[int, list[str]])
assert_type(countby(lambda w: w[0], words), dict[str, int])
assert_type(reduceby(lambda w: len(w), lambda a, b: a + b, words), dict[int, str])
assert_type(juxt(len, str.upper)("ab"), tuple[int, str])
low, high = juxt(min, max)([3, 1, 2])
assert_type(low + high, int)


def add(a: int, b: int) -> int:
    return a + b


add_c = curry(add)
assert_type(add_c(1)(2), int)
assert_type(add_c(1, 2), int)
add_c("x")  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
add_c(1)("y")  # type: ignore[call-overload]  # pyright: ignore[reportArgumentType]
Some(1).unwrap_or_else(5)  # type: ignore[arg-type]  # pyright: ignore[reportArgumentType]
