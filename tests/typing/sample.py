"""A typed tour of every exported name, checked by ``mypy --strict`` (not run
by pytest): each ``assert_type`` pins the type a user's editor infers."""

from __future__ import annotations

import operator
from collections.abc import Iterator, Sequence
from typing import Any, Literal, assert_type

import quorin
from quorin.typing import OkOrErr, SomeOrNothing
from quorin import (
    Err, Iter, NativeIter, Nothing, NothingType, Ok, Option, Result, Some,
    accumulate, apply, assoc, assoc_in, complement, compose, compose_left, concat, concatv, cons, count,
    countby, curry, diff, dissoc, do, drop, excepts, first, first_opt, flip, frequencies, get, get_in,
    get_in_opt, get_opt, groupby, identity, interleave, interpose, isdistinct, itemfilter, itemmap,
    iterate, join, juxt, keyfilter, keymap, last, last_opt, mapcat, memoize, merge, merge_sorted,
    merge_with, nth, nth_opt, partition, partition_all, peek, peek_opt, pipe, pluck, reduceby, remove,
    second, sliding_window, tail, take, take_nth, thread_first, thread_last, topk, unique, update_in,
    valfilter, valmap,
)

words = ["a", "bb", "c"]
nums = [3, 1, 2]
prices = {"apple": 3, "pear": 5}


# Optional and result values

def parse(text: str) -> SomeOrNothing[int]:
    return Some(int(text)) if text.isdigit() else Nothing


def halve(n: int) -> OkOrErr[int, str]:
    return Ok(n // 2) if n % 2 == 0 else Err("odd")


assert_type(Some(1), Some[int])
assert_type(Some(1).value, int)
assert_type(Some(1).map(str), Some[str])
assert_type(Some(1).and_then(lambda n: parse(str(n))), SomeOrNothing[int])
assert_type(Some(1).filter(bool), Some[int] | NothingType)
assert_type(Some(1).unwrap_or("x"), int)
assert_type(Some(1).ok_or("no"), Ok[int])
assert_type(NothingType().unwrap_or("x"), str)
assert_type(Nothing.unwrap_or_else(lambda: 0), int)
assert_type(Nothing.ok_or("missing"), Err[str])
assert_type(Nothing.is_none(), Literal[True])
assert_type(Option.of(5), SomeOrNothing[int])
assert_type(parse("12").unwrap_or(0), int)
assert_type(parse("12").map(float), SomeOrNothing[float])

assert_type(Ok(1).value, int)
assert_type(Ok(1).map(str), Ok[str])
assert_type(Ok(1).ok(), Some[int])
assert_type(Err("e").error, str)
assert_type(Err("e").map_err(len), Err[int])
assert_type(Err("e").err(), Some[str])
assert_type(Result.of(lambda: 1), OkOrErr[int, Exception])
assert_type(halve(4).unwrap_or(-1), int)
assert_type(halve(4).map_err(len), OkOrErr[int, int])
assert_type(halve(4).and_then(halve), OkOrErr[int, str])

# A union annotation lets pattern matching narrow each case exactly.
def halve_exact(n: int) -> Ok[int] | Err[str]:
    return Ok(n // 2) if n % 2 == 0 else Err("odd")


match halve_exact(3):
    case Ok(v):
        assert_type(v, int)
    case Err(e):
        assert_type(e, str)

assert_type(first_opt(nums), Some[int] | NothingType)
assert_type(last_opt(words), Some[str] | NothingType)
assert_type(nth_opt(1, nums), Some[int] | NothingType)
assert_type(get_opt("pear", prices), Some[int] | NothingType)
assert_type(get_opt(0, words), Some[str] | NothingType)
assert_type(get_in_opt({"a": {"b": 1}}, "a", "b"), Some[Any] | NothingType)
assert_type(peek_opt(nums), Some[tuple[int, Iterator[int]]] | NothingType)


# Sequence functions

it: Iterator[int] = iterate(lambda x: x * 2, 1)
assert isinstance(it, NativeIter)
assert_type(count(words), int)
assert_type(first(words), str)
assert_type(second(nums), int)
assert_type(last(nums), int)
assert_type(nth(1, words), str)
assert_type(get(0, words), str)
assert_type(get(5, words, None), str | None)
assert_type(get("apple", prices), int)
assert_type(get("kiwi", prices, 0), int)
assert_type(get([0, 1], words), tuple[Any, ...])
assert_type(isdistinct(nums), bool)
assert_type(frequencies(words), dict[str, int])
assert_type(frequencies(b"abracadabra"), dict[int, int])
assert_type(topk(2, nums), tuple[int, ...])
assert_type(topk(2, words, key=len), tuple[str, ...])
assert_type(peek(nums), tuple[int, Iterator[int]])
assert_type(take(2, nums), Iterator[int])
assert_type(drop(1, words), Iterator[str])
assert_type(take_nth(2, nums), Iterator[int])
assert_type(tail(2, nums), list[int])
assert_type(tail(2, "abc"), str)
assert_type(tail(2, iter(nums)), tuple[int, ...])
assert_type(tail(2, range(5)), Sequence[int])
assert_type(cons(0, nums), Iterator[int])
assert_type(cons("x", nums), Iterator[int | str])
assert_type(concat([nums, nums]), Iterator[int])
assert_type(concatv(nums, [4]), Iterator[int])
assert_type(interpose(0, nums), Iterator[int])
assert_type(interleave([words, words]), Iterator[str])
assert_type(sliding_window(2, nums), Iterator[tuple[int, int]])
assert_type(sliding_window(4, nums), Iterator[tuple[int, ...]])
assert_type(partition(2, nums), Iterator[tuple[int, int]])
assert_type(partition(3, nums, None), Iterator[tuple[int | None, ...]])
assert_type(partition_all(2, words), Iterator[tuple[str, ...]])
assert_type(merge_sorted([1, 4], [2, 3]), Iterator[int])
assert_type(merge_sorted(words, ["b"], key=len), Iterator[str])
assert_type(diff(nums, [3, 1, 5]), Iterator[tuple[int, ...]])
assert_type(diff(nums, [3], default=None), Iterator[tuple[int | None, ...]])
assert_type(diff([nums, nums]), Iterator[tuple[int, ...]])
assert_type(groupby(len, words), dict[int, list[str]])
assert_type(groupby(0, [(1, "a")]), dict[Any, list[tuple[int, str]]])
assert_type(countby(str.upper, words), dict[str, int])
assert_type(reduceby(len, operator.add, words), dict[int, str])
assert_type(reduceby(len, lambda acc, w: acc + len(w), words, 0), dict[int, int])
assert_type(mapcat(lambda w: list(w), words), Iterator[str])
assert_type(pluck(0, [[1, 2], [3, 4]]), Iterator[int])
assert_type(pluck("apple", [prices]), Iterator[int])
assert_type(pluck("kiwi", [prices], 0), Iterator[int])
assert_type(pluck([0, 1], [[1, 2]]), Iterator[tuple[Any, ...]])
assert_type(remove(str.isdigit, words), Iterator[str])
assert_type(accumulate(operator.add, nums), Iterator[int])
assert_type(accumulate(lambda acc, w: acc + len(w), words, 0), Iterator[int])
assert_type(iterate(lambda x: x + 1, 0), Iterator[int])
assert_type(unique(words, key=str.lower), Iterator[str])
assert_type(join(0, [(1, "x")], 0, [(1, 2.5)]), Iterator[tuple[tuple[int, str], tuple[int, float]]])
assert_type(
    join(len, words, len, ["zz"], left_default=None, right_default=""),
    Iterator[tuple[str, str]],
)


# Function combinators

def add3(a: int, b: str, c: float) -> str:
    return f"{a}{b}{c}"


def inc(x: int) -> int:
    return x + 1


def inverse(x: int) -> float:
    return 1 / x


assert_type(curry(add3)(1)("b")(2.0), str)
assert_type(curry(add3)(1, "b")(2.0), str)
assert_type(curry(add3, 1)("b", 2.0), str)
assert_type(curry(inc)(1), int)
assert_type(flip(divmod, 7, 2), tuple[int, int])
assert_type(flip(pow, 2)(3), Any)
assert_type(identity(words), list[str])
assert_type(apply(add3, 1, "b", c=2.0), str)
assert_type(pipe(3, inc, str, len), int)
assert_type(pipe(3), int)
assert_type(do(print, nums), list[int])
assert_type(compose(str, inc)(1), str)
assert_type(compose_left(inc, str)(1), str)
assert_type(compose()(5), int)
assert_type(complement(str.isdigit)("7"), bool)
assert_type(juxt(len, str.upper)("ab"), tuple[int, str])
assert_type(juxt([inc, inc])(1), tuple[int, ...])
assert_type(excepts(ZeroDivisionError, inverse)(0), float | None)
assert_type(excepts(ValueError, int, lambda e: -1)("x"), int)
assert_type(memoize(inc)(1), int)
assert_type(memoize(add3, cache={})(1, "b", 2.0), str)
assert_type(thread_first(2, (pow, 3)), Any)
assert_type(thread_last(2, (pow, 3), str), Any)
partial: curry[str] = curry(add3, 1)


# Mapping functions

assert_type(merge(prices, {"kiwi": 1}), dict[str, int])
assert_type(merge([prices, prices]), dict[str, int])
assert_type(merge(prices, factory=dict[str, int]), dict[str, int])
assert_type(merge_with(sum, prices, prices), dict[str, int])
assert_type(assoc(prices, "kiwi", 2), dict[str, int])
assert_type(dissoc(prices, "apple"), dict[str, int])
assert_type(assoc_in({}, ["a", "b"], 1), dict[Any, Any])
assert_type(update_in({"a": 1}, ["a"], inc), dict[Any, Any])
assert_type(get_in(["a", "b"], {"a": {"b": 1}}), Any)
assert_type(keymap(str.upper, prices), dict[str, int])
assert_type(valmap(float, prices), dict[str, float])
assert_type(itemmap(lambda kv: (kv[1], kv[0]), prices), dict[int, str])
assert_type(keyfilter(lambda k: k > "b", prices), dict[str, int])
assert_type(valfilter(lambda v: v > 3, prices), dict[str, int])
assert_type(itemfilter(lambda kv: kv[1] > 3, prices), dict[str, int])


# The fluent wrapper

chain = Iter(range(10)).map(lambda x: x * x).filter(lambda x: x % 2).take(3)
assert_type(chain, Iter[int])
assert_type(chain.collect(), list[int])
assert_type(Iter(words).unique(key=len).drop(1).collect(), list[str])
assert_type(Iter(nums).sliding_window(2), Iter[tuple[int, ...]])
assert_type(Iter(nums).partition_all(2), Iter[tuple[int, ...]])
assert_type(Iter(words).flat_map(list), Iter[str])
assert_type(Iter([[1, 2]]).pluck(0), Iter[Any])
assert_type(Iter(nums).interpose(0), Iter[int])
assert_type(Iter(nums).accumulate(operator.add), Iter[int])
assert_type(Iter(nums).reduce(operator.add), int)
assert_type(Iter(words).reduce(lambda acc, w: acc + len(w), 0), int)
assert_type(Iter(nums).count(), int)
assert_type(Iter(words).frequencies(), dict[str, int])
assert_type(Iter(words).group_by(len), dict[int, list[str]])
assert_type(Iter(prices.items()).to_dict(), dict[str, int])
assert_type(Iter(nums).first(), Some[int] | NothingType)
assert_type(Iter(nums).last(), Some[int] | NothingType)
assert_type(Iter(nums).nth(5), Some[int] | NothingType)
for n in Iter(nums):
    assert_type(n, int)

assert_type(quorin.__all__, list[str])
assert_type(update_in({"a": 1}, ["a"], inc, 0, dict[str, int]), dict[str, int])
assert_type(count(range(3)), int)
