"""Functional-programming tools for Python, written natively.

Sequence functions, mapping functions, function combinators, optional and
result values, and the fluent ``Iter`` wrapper. Lazy functions return
iterators; eager ones return their result at once.
"""

from types import GenericAlias

from _typeshed import SupportsRichComparison

from quorin.typing import OkOrErr, SomeOrNothing
from collections.abc import Callable, Hashable, Iterable, Iterator, Mapping, Sequence, Sized
from typing import (
    Any, ClassVar, Final, Generic, Literal, Never, NoReturn, ParamSpec, Protocol, Self, TypeAlias, TypeVar, final, overload,
    type_check_only,
)

__all__ = [
    "Some", "NothingType", "Option", "Ok", "Err", "Result", "Nothing",
    "first_opt", "last_opt", "nth_opt", "get_opt", "get_in_opt", "peek_opt",
    "NativeIter",
    "count", "first", "second", "last", "nth", "get", "isdistinct", "frequencies", "topk", "peek",
    "take", "drop", "take_nth", "tail", "cons", "concat", "concatv", "interpose", "interleave",
    "sliding_window", "partition", "partition_all", "merge_sorted", "diff", "groupby", "countby",
    "reduceby", "mapcat", "pluck", "remove", "accumulate", "iterate", "unique", "join",
    "curry", "identity", "apply", "pipe", "do", "compose", "compose_left", "complement", "juxt",
    "excepts", "memoize", "thread_first", "thread_last", "flip",
    "merge", "merge_with", "assoc", "dissoc", "assoc_in", "update_in", "get_in", "keymap", "valmap",
    "itemmap", "keyfilter", "valfilter", "itemfilter",
    "Iter",
]

_T = TypeVar("_T")
_SRC = TypeVar("_SRC", bound=SupportsRichComparison)
_T_co = TypeVar("_T_co", covariant=True)
_E_co = TypeVar("_E_co", covariant=True)
_U = TypeVar("_U")
_E = TypeVar("_E")
_F = TypeVar("_F")
_K = TypeVar("_K")
_K2 = TypeVar("_K2")
_V = TypeVar("_V")
_V2 = TypeVar("_V2")
_A = TypeVar("_A")
_B = TypeVar("_B")
_C = TypeVar("_C")
_D = TypeVar("_D")
_G = TypeVar("_G")
_H = TypeVar("_H")
_L = TypeVar("_L")
_R = TypeVar("_R")
_M = TypeVar("_M")
_Exc = TypeVar("_Exc", bound=BaseException)
_P = ParamSpec("_P")

class _SupportsLessThan(Protocol):
    def __lt__(self, other: Any, /) -> bool: ...

_CT = TypeVar("_CT", bound=_SupportsLessThan)

# What a non-callable key selects: one item (an index or a mapping key), or a
# list of them, selected into a tuple.
_ItemKey: TypeAlias = Hashable | list[Any]
# The same where an overload also takes a key function: a lambda is Hashable
# too, and mypy gives up on a call that two overloads accept, so the
# overloads tell keys from functions by the usual key types.
_SelectKey: TypeAlias = int | str | bytes | tuple[Hashable, ...] | frozenset[Any] | list[Any] | None

# ---------------------------------------------------------------------------
# Optional and result values
# ---------------------------------------------------------------------------

@final
class Option:
    """A namespace for ``Option.of``; it cannot be instantiated. Annotate a
    value that is a ``Some`` or a ``NothingType`` with
    ``quorin.typing.SomeOrNothing[T]``."""

    @staticmethod
    def of(v: _T | None) -> SomeOrNothing[_T]:
        """``Some(v)``, or a new ``NothingType`` when ``v`` is ``None``."""
    def __class_getitem__(cls, item: Any, /) -> GenericAlias:
        """The class subscripted, for annotations evaluated at run time."""

@final
class Some(Generic[_T_co]):
    """A present value. Truthy whatever the value; equal to another ``Some``
    with an equal value; not hashable; matches ``case Some(x)``."""

    __match_args__: ClassVar[tuple[Literal["value"]]]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __new__(cls, value: _T) -> Some[_T]:
        """A new ``Some`` holding ``value`` (any object, ``None`` included)."""
    @property
    def value(self) -> _T_co:
        """The value held."""
    def map(self, f: Callable[[_T_co], _U]) -> Some[_U]:
        """A new ``Some`` of ``f(value)``."""
    def and_then(self, f: Callable[[_T_co], SomeOrNothing[_U]]) -> SomeOrNothing[_U]:
        """The ``Some`` or ``NothingType`` that ``f(value)`` returns, itself; any
        other result raises ``TypeError``."""
    def filter(self, pred: Callable[[_T_co], object]) -> SomeOrNothing[_T_co]:
        """A new ``Some`` of the same value when ``pred(value)`` is true, else a new ``NothingType``."""
    def unwrap(self) -> _T_co:
        """The value."""
    def unwrap_or(self, default: object) -> _T_co:
        """The value (``default`` is not used)."""
    def unwrap_or_else(self, f: Callable[[], object]) -> _T_co:
        """The value (``f`` is not called)."""
    def ok_or(self, err: object) -> Ok[_T_co]:
        """A new ``Ok`` of the value."""
    def is_some(self) -> Literal[True]:
        """Always ``True``."""
    def is_none(self) -> Literal[False]:
        """Always ``False``."""
    def __bool__(self) -> Literal[True]:
        """Always true, whatever the value."""
    def __eq__(self, other: object, /) -> bool:
        """Whether ``other`` is a ``Some`` with an equal value."""

@final
class NothingType:
    """The absent value. Falsy; every instance equals every other (test
    absence by equality, type or ``is_none()``, never by identity)."""

    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self) -> None:
        """A new absent value, equal to every other ``NothingType``."""
    def map(self, f: Callable[[Any], object]) -> NothingType:
        """A new ``NothingType``; ``f`` is not called."""
    def and_then(self, f: Callable[[Any], object]) -> NothingType:
        """A new ``NothingType``; ``f`` is not called."""
    def filter(self, pred: Callable[[Any], object]) -> NothingType:
        """A new ``NothingType``; ``pred`` is not called."""
    def unwrap(self) -> NoReturn:
        """Raises ``ValueError`` "called `unwrap` on Nothing"."""
    def unwrap_or(self, default: _U) -> _U:
        """``default``."""
    def unwrap_or_else(self, f: Callable[[], _U]) -> _U:
        """``f()``, called with no arguments."""
    def ok_or(self, err: _E) -> Err[_E]:
        """A new ``Err`` of ``err``."""
    def is_some(self) -> Literal[False]:
        """Always ``False``."""
    def is_none(self) -> Literal[True]:
        """Always ``True``."""
    def __bool__(self) -> Literal[False]:
        """Always false."""
    def __eq__(self, other: object, /) -> bool:
        """Whether ``other`` is a ``NothingType``."""

@final
class Result:
    """A namespace for ``Result.of``; it cannot be instantiated. Annotate a
    value that is an ``Ok`` or an ``Err`` with ``quorin.typing.OkOrErr[T, E]``."""

    @staticmethod
    def of(f: Callable[[], _T]) -> OkOrErr[_T, Exception]:
        """Calls ``f()``: ``Ok`` of what it returns, or ``Err`` of the ``Exception``
        it raises (a ``BaseException`` that is not an ``Exception`` propagates)."""
    def __class_getitem__(cls, item: Any, /) -> GenericAlias:
        """The class subscripted, for annotations evaluated at run time."""

@final
class Ok(Generic[_T_co]):
    """A success value. Truthy; equal to another ``Ok`` with an equal value;
    not hashable; matches ``case Ok(x)``."""

    __match_args__: ClassVar[tuple[Literal["value"]]]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __new__(cls, value: _T) -> Ok[_T]:
        """A new ``Ok`` holding ``value``."""
    @property
    def value(self) -> _T_co:
        """The success value."""
    def map(self, f: Callable[[_T_co], _U]) -> Ok[_U]:
        """A new ``Ok`` of ``f(value)``."""
    def map_err(self, f: Callable[[Any], object]) -> Ok[_T_co]:
        """A new ``Ok`` of the same value; ``f`` is not called."""
    def and_then(self, f: Callable[[_T_co], OkOrErr[_U, _F]]) -> OkOrErr[_U, _F]:
        """The ``Ok`` or ``Err`` that ``f(value)`` returns, itself; any other
        result raises ``TypeError``."""
    def unwrap(self) -> _T_co:
        """The value."""
    def unwrap_or(self, default: object) -> _T_co:
        """The value (``default`` is not used)."""
    def ok(self) -> Some[_T_co]:
        """A new ``Some`` of the value."""
    def err(self) -> NothingType:
        """A new ``NothingType``."""
    def is_ok(self) -> Literal[True]:
        """Always ``True``."""
    def is_err(self) -> Literal[False]:
        """Always ``False``."""
    def __bool__(self) -> Literal[True]:
        """Always true, whatever the value."""
    def __eq__(self, other: object, /) -> bool:
        """Whether ``other`` is an ``Ok`` with an equal value."""

@final
class Err(Generic[_E_co]):
    """A failure value. Falsy; equal to another ``Err`` with an equal error;
    not hashable; matches ``case Err(e)``."""

    __match_args__: ClassVar[tuple[Literal["error"]]]
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __new__(cls, error: _E) -> Err[_E]:
        """A new ``Err`` holding ``error``."""
    @property
    def error(self) -> _E_co:
        """The failure value."""
    def map(self, f: Callable[[Any], object]) -> Err[_E_co]:
        """A new ``Err`` of the same error; ``f`` is not called."""
    def map_err(self, f: Callable[[_E_co], _F]) -> Err[_F]:
        """A new ``Err`` of ``f(error)``."""
    def and_then(self, f: Callable[[Any], object]) -> Err[_E_co]:
        """A new ``Err`` of the same error; ``f`` is not called."""
    def unwrap(self) -> NoReturn:
        """Raises ``ValueError`` "called `unwrap` on Err(...)" with the error's repr."""
    def unwrap_or(self, default: _U) -> _U:
        """``default``."""
    def ok(self) -> NothingType:
        """A new ``NothingType``."""
    def err(self) -> Some[_E_co]:
        """A new ``Some`` of the error."""
    def is_ok(self) -> Literal[False]:
        """Always ``False``."""
    def is_err(self) -> Literal[True]:
        """Always ``True``."""
    def __bool__(self) -> Literal[False]:
        """Always false."""
    def __eq__(self, other: object, /) -> bool:
        """Whether ``other`` is an ``Err`` with an equal error."""

Nothing: Final[NothingType]
"""An instance of ``NothingType``, for convenience; not a singleton."""

def first_opt(seq: Iterable[_T]) -> SomeOrNothing[_T]:
    """``Some`` of the first element of ``seq``, or a ``NothingType`` when it is empty."""

def last_opt(seq: Iterable[_T]) -> SomeOrNothing[_T]:
    """``Some`` of the last element (the whole input is consumed), or a ``NothingType`` when empty."""

def nth_opt(n: int, seq: Iterable[_T]) -> SomeOrNothing[_T]:
    """``Some`` of the element at position ``n`` of the iteration, or a ``NothingType``
    when there are not that many; ``n`` must be non-negative."""

@overload
def get_opt(ind: _K, coll: Mapping[_K, _V]) -> SomeOrNothing[_V]: ...
@overload
def get_opt(ind: int, coll: Sequence[_T]) -> SomeOrNothing[_T]: ...
@overload
def get_opt(ind: Any, coll: Any) -> SomeOrNothing[Any]:
    """``Some(coll[ind])``, or a ``NothingType`` when the lookup raises
    ``KeyError``, ``IndexError`` or ``TypeError``."""

def get_in_opt(coll: Any, *keys: Any) -> SomeOrNothing[Any]:
    """``Some`` of ``coll[k1][k2]...``, or a ``NothingType`` when a step raises a lookup error."""

def peek_opt(seq: Iterable[_T]) -> SomeOrNothing[tuple[_T, Iterator[_T]]]:
    """``Some((first, iterator over every element))``, or a ``NothingType`` when empty."""

# ---------------------------------------------------------------------------
# Native iterators
# ---------------------------------------------------------------------------

@final
class NativeIter(Iterator[_T_co]):
    """The iterator class of most lazy results. It cannot be created from
    Python; re-entering it from its own callback raises ``ValueError``."""

    def __iter__(self) -> Self:
        """The iterator itself."""
    def __next__(self) -> _T_co:
        """The next element; ``StopIteration`` at the end."""

# ---------------------------------------------------------------------------
# Sequence functions
# ---------------------------------------------------------------------------

def count(seq: Iterable[object] | Sized) -> int:
    """The number of elements: ``len(seq)`` when it has a length, else counted by iterating."""

def first(seq: Iterable[_T]) -> _T:
    """The first element; raises ``StopIteration`` when ``seq`` is empty."""

def second(seq: Iterable[_T]) -> _T:
    """The second element; raises ``StopIteration`` when there is none."""

def last(seq: Iterable[_T]) -> _T:
    """The last element (sliced where possible, else by iterating); raises ``IndexError`` when empty."""

def nth(n: int, seq: Iterable[_T]) -> _T:
    """``seq[n]`` for sequences, else the element at position ``n`` of the iteration
    (``StopIteration`` when too short)."""

@overload
def get(ind: list[Any], coll: Any) -> tuple[Any, ...]: ...
@overload
def get(ind: list[Any], coll: Any, default: Any, /) -> tuple[Any, ...]: ...
@overload
def get(ind: _K, coll: Mapping[_K, _V]) -> _V: ...
@overload
def get(ind: _K, coll: Mapping[_K, _V], default: _D, /) -> _V | _D: ...
@overload
def get(ind: int, coll: Sequence[_T]) -> _T: ...
@overload
def get(ind: int, coll: Sequence[_T], default: _D, /) -> _T | _D: ...
@overload
def get(ind: Any, coll: Any, *rest: Any) -> Any:
    """``coll[ind]``; a list ``ind`` gives a tuple of lookups. With a default,
    a ``KeyError``, ``IndexError`` or ``TypeError`` gives the default instead."""

def isdistinct(seq: Iterable[object]) -> bool:
    """Whether no two elements are equal; stops at the first repeat."""

def frequencies(seq: Iterable[_T]) -> dict[_T, int]:
    """How often each distinct element occurs, keys in order of first occurrence."""

def topk(k: int, seq: Iterable[_T], key: Callable[[_T], Any] | _ItemKey | None = None) -> tuple[_T, ...]:
    """The ``k`` largest elements, largest first (by ``key`` when given);
    ties keep input order."""

def peek(seq: Iterable[_T]) -> tuple[_T, Iterator[_T]]:
    """The first element and an iterator over every element, the first included;
    raises ``StopIteration`` when empty."""

def take(n: int, seq: Iterable[_T]) -> Iterator[_T]:
    """The first ``n`` elements, lazily."""

def drop(n: int, seq: Iterable[_T]) -> Iterator[_T]:
    """Every element after the first ``n``, lazily."""

def take_nth(n: int, seq: Iterable[_T]) -> Iterator[_T]:
    """Every ``n``-th element, starting with the first, lazily."""

@overload
def tail(n: int, seq: str) -> str: ...  # type: ignore[overload-overlap]
@overload
def tail(n: int, seq: bytes) -> bytes: ...  # type: ignore[overload-overlap]
@overload
def tail(n: int, seq: list[_T]) -> list[_T]: ...  # type: ignore[overload-overlap]
@overload
def tail(n: int, seq: tuple[_T, ...]) -> tuple[_T, ...]: ...
@overload
def tail(n: int, seq: Sequence[_T]) -> Sequence[_T]: ...  # type: ignore[overload-overlap]
@overload
def tail(n: int, seq: Iterable[_T]) -> tuple[_T, ...]:
    """The last ``n`` elements, eagerly: ``seq[-n:]`` where ``seq`` can be
    sliced, else a tuple gathered by iterating."""

def cons(el: _U, seq: Iterable[_T]) -> Iterator[_T | _U]:
    """``el`` followed by the elements of ``seq``, lazily."""

def concat(seqs: Iterable[Iterable[_T]]) -> Iterator[_T]:
    """The elements of every iterable of ``seqs`` in turn, lazily."""

def concatv(*seqs: Iterable[_T]) -> Iterator[_T]:
    """The elements of every argument in turn, lazily."""

def interpose(el: _U, seq: Iterable[_T]) -> Iterator[_T | _U]:
    """The elements of ``seq`` with ``el`` between neighbours. The first element is
    read at the call: an empty ``seq`` raises ``StopIteration``."""

def interleave(seqs: Iterable[Iterable[_T]]) -> Iterator[_T]:
    """One element of each input in turn; inputs that run out drop out of the rotation."""

@overload
def sliding_window(n: Literal[2], seq: Iterable[_T]) -> Iterator[tuple[_T, _T]]: ...
@overload
def sliding_window(n: Literal[3], seq: Iterable[_T]) -> Iterator[tuple[_T, _T, _T]]: ...
@overload
def sliding_window(n: int, seq: Iterable[_T]) -> Iterator[tuple[_T, ...]]:
    """Every run of ``n`` consecutive elements as a tuple, lazily; the first
    ``n - 1`` elements are read at the call."""

@overload
def partition(n: Literal[2], seq: Iterable[_T]) -> Iterator[tuple[_T, _T]]: ...
@overload
def partition(n: int, seq: Iterable[_T]) -> Iterator[tuple[_T, ...]]: ...
@overload
def partition(n: Literal[2], seq: Iterable[_T], pad: _D, /) -> Iterator[tuple[_T | _D, _T | _D]]: ...
@overload
def partition(n: int, seq: Iterable[_T], pad: _D, /) -> Iterator[tuple[_T | _D, ...]]:
    """Tuples of ``n`` elements, lazily; an incomplete last tuple is dropped,
    or filled with ``pad`` when one is given."""

def partition_all(n: int, seq: Iterable[_T]) -> Iterator[tuple[_T, ...]]:
    """Tuples of ``n`` elements, lazily, the last one shorter when the input runs out."""

@overload
def merge_sorted(*seqs: Iterable[_CT], key: None = None) -> Iterator[_CT]: ...
@overload
def merge_sorted(*seqs: Iterable[_T], key: Callable[[_T], Any]) -> Iterator[_T]:
    """The elements of already sorted inputs in one sorted run, lazily; equal
    elements come in input order."""

@overload
def diff(seqs: list[Iterable[_T]], /, *, key: Callable[[_T], object] | None = None) -> Iterator[tuple[_T, ...]]: ...
@overload
def diff(
    seqs: list[Iterable[_T]], /, *, default: _D, key: Callable[[_T | _D], object] | None = None
) -> Iterator[tuple[_T | _D, ...]]: ...
@overload
def diff(
    seq1: Iterable[_T], seq2: Iterable[_T], /, *seqs: Iterable[_T], key: Callable[[_T], object] | None = None
) -> Iterator[tuple[_T, ...]]: ...
@overload
def diff(
    seq1: Iterable[_T],
    seq2: Iterable[_T],
    /,
    *seqs: Iterable[_T],
    default: _D,
    key: Callable[[_T | _D], object] | None = None,
) -> Iterator[tuple[_T | _D, ...]]:
    """The rows (one element per input) where the inputs differ, lazily; stops at
    the shortest input, or runs to the longest filling with ``default``."""

@overload
def groupby(key: Callable[[_T], _K], seq: Iterable[_T]) -> dict[_K, list[_T]]: ...
@overload
def groupby(key: _SelectKey, seq: Iterable[_T]) -> dict[Any, list[_T]]:
    """The elements grouped into lists by their key, keys in order of first occurrence.
    A non-callable key selects an item (a list key: several, into a tuple)."""

@overload
def countby(key: Callable[[_T], _K], seq: Iterable[_T]) -> dict[_K, int]: ...
@overload
def countby(key: _SelectKey, seq: Iterable[Any]) -> dict[Any, int]:
    """How many elements have each key, keys in order of first occurrence."""

@overload
def reduceby(key: Callable[[_T], _K], binop: Callable[[_T, _T], _T], seq: Iterable[_T]) -> dict[_K, _T]: ...
@overload
def reduceby(
    key: Callable[[_T], _K], binop: Callable[[_A, _T], _A], seq: Iterable[_T], init: _A | Callable[[], _A], /
) -> dict[_K, _A]: ...
@overload
def reduceby(key: _SelectKey, binop: Callable[[_T, _T], _T], seq: Iterable[_T]) -> dict[Any, _T]: ...
@overload
def reduceby(
    key: _SelectKey, binop: Callable[[_A, _T], _A], seq: Iterable[_T], init: _A | Callable[[], _A], /
) -> dict[Any, _A]:
    """The elements of each key folded with ``binop``, starting from the first
    element, or from ``init`` (called anew per key when callable)."""

def mapcat(func: Callable[[_T], Iterable[_U]], seqs: Iterable[_T]) -> Iterator[_U]:
    """The elements of ``func(x)`` for every ``x`` in turn, lazily."""

@overload
def pluck(ind: list[Any], seqs: Iterable[Any]) -> Iterator[tuple[Any, ...]]: ...
@overload
def pluck(ind: list[Any], seqs: Iterable[Any], default: Any, /) -> Iterator[tuple[Any, ...]]: ...
@overload
def pluck(ind: _K, seqs: Iterable[Mapping[_K, _V]]) -> Iterator[_V]: ...
@overload
def pluck(ind: _K, seqs: Iterable[Mapping[_K, _V]], default: _D, /) -> Iterator[_V | _D]: ...
@overload
def pluck(ind: int, seqs: Iterable[Sequence[_T]]) -> Iterator[_T]: ...
@overload
def pluck(ind: int, seqs: Iterable[Sequence[_T]], default: _D, /) -> Iterator[_T | _D]: ...
@overload
def pluck(ind: Any, seqs: Iterable[Any], *rest: Any) -> Iterator[Any]:
    """``x[ind]`` for every element ``x``, lazily; a list ``ind`` gives tuples. With a
    default, a ``KeyError``, ``IndexError`` or ``TypeError`` gives the default."""

def remove(predicate: Callable[[_T], object], seq: Iterable[_T]) -> Iterator[_T]:
    """The elements for which ``predicate`` is false, lazily."""

@overload
def accumulate(binop: Callable[[_T, _T], _T], seq: Iterable[_T]) -> Iterator[_T]: ...
@overload
def accumulate(binop: Callable[[_A, _T], _A], seq: Iterable[_T], initial: _A, /) -> Iterator[_A]:
    """The running results of folding ``seq`` with ``binop``, lazily, starting
    with the first element or with ``initial``."""

def iterate(func: Callable[[_T], _T], x: _T) -> Iterator[_T]:
    """``x``, ``func(x)``, ``func(func(x))``, ... without end, lazily."""

def unique(seq: Iterable[_T], key: Callable[[_T], Hashable] | None = None) -> Iterator[_T]:
    """The elements whose value (or ``key(value)``) was not seen before, lazily, in
    order of first appearance."""

def join(
    leftkey: Callable[[_L], Any] | _ItemKey,
    leftseq: Iterable[_L],
    rightkey: Callable[[_R], Any] | _ItemKey,
    rightseq: Iterable[_R],
    left_default: _D | None = None,
    right_default: _H | None = None,
) -> Iterator[tuple[_L | _D, _R | _H]]:
    """A hash join, lazily: a (left, right) pair for every match; with a default,
    unmatched items of the other side are paired with it."""

# ---------------------------------------------------------------------------
# Function combinators
# ---------------------------------------------------------------------------

class curry(Generic[_R]):
    """``func`` with the arguments collected so far. A call that completes
    ``func``'s signature calls it; one that does not returns a new ``curry``."""

    @overload
    def __new__(cls, func: Callable[[_A], _R]) -> _Curry1[_A, _R]: ...
    @overload
    def __new__(cls, func: Callable[[_A, _B], _R]) -> _Curry2[_A, _B, _R]: ...
    @overload
    def __new__(cls, func: Callable[[_A, _B], _R], a: _A, /) -> _Curry1[_B, _R]: ...
    @overload
    def __new__(cls, func: Callable[[_A, _B, _C], _R]) -> _Curry3[_A, _B, _C, _R]: ...
    @overload
    def __new__(cls, func: Callable[[_A, _B, _C], _R], a: _A, /) -> _Curry2[_B, _C, _R]: ...
    @overload
    def __new__(cls, func: Callable[[_A, _B, _C], _R], a: _A, b: _B, /) -> _Curry1[_C, _R]: ...
    @overload
    def __new__(cls, func: Callable[..., _R], *args: Any, **kwargs: Any) -> curry[_R]:
        """A curry of ``func`` with ``args`` and ``kwargs`` collected; nothing is called yet."""
    def __call__(self, *args: Any, **kwargs: Any) -> Any:
        """``func``'s result once the collected arguments bind, else a new ``curry``."""

# Typing aids for the common arities; at run time these are all ``curry``.
# Positional arguments must fit the arity (a wrong one is an error, not Any);
# arguments by keyword stay untyped.
@type_check_only
class _Curry1(curry[_R], Generic[_A, _R]):
    @overload
    def __call__(self) -> _Curry1[_A, _R]: ...
    @overload
    def __call__(self, a: _A, /) -> _R: ...
    @overload
    def __call__(self, **kwargs: Any) -> Any: ...

@type_check_only
class _Curry2(curry[_R], Generic[_A, _B, _R]):
    @overload
    def __call__(self) -> _Curry2[_A, _B, _R]: ...
    @overload
    def __call__(self, a: _A, /) -> _Curry1[_B, _R]: ...
    @overload
    def __call__(self, a: _A, b: _B, /) -> _R: ...
    @overload
    def __call__(self, **kwargs: Any) -> Any: ...

@type_check_only
class _Curry3(curry[_R], Generic[_A, _B, _C, _R]):
    @overload
    def __call__(self) -> _Curry3[_A, _B, _C, _R]: ...
    @overload
    def __call__(self, a: _A, /) -> _Curry2[_B, _C, _R]: ...
    @overload
    def __call__(self, a: _A, b: _B, /) -> _Curry1[_C, _R]: ...
    @overload
    def __call__(self, a: _A, b: _B, c: _C, /) -> _R: ...
    @overload
    def __call__(self, **kwargs: Any) -> Any: ...

@type_check_only
class _Flip(curry[Any]):
    @overload
    def __call__(self, func: Callable[[_B, _A], _R], a: _A, b: _B, /) -> _R: ...
    @overload
    def __call__(self, func: Callable[[_B, _A], _R], a: _A, /) -> _Curry1[_B, _R]: ...
    @overload
    def __call__(self, func: Callable[[_B, _A], _R], /) -> _Curry2[_A, _B, _R]: ...
    @overload
    def __call__(self, *args: Any, **kwargs: Any) -> Any: ...

def identity(x: _T) -> _T:
    """``x`` itself."""

def apply(func: Callable[_P, _R], *args: _P.args, **kwargs: _P.kwargs) -> _R:
    """``func(*args, **kwargs)``."""

@overload
def pipe(data: _A) -> _A: ...
@overload
def pipe(data: _A, f1: Callable[[_A], _B], /) -> _B: ...
@overload
def pipe(data: _A, f1: Callable[[_A], _B], f2: Callable[[_B], _C], /) -> _C: ...
@overload
def pipe(data: _A, f1: Callable[[_A], _B], f2: Callable[[_B], _C], f3: Callable[[_C], _D], /) -> _D: ...
@overload
def pipe(
    data: _A, f1: Callable[[_A], _B], f2: Callable[[_B], _C], f3: Callable[[_C], _D], f4: Callable[[_D], _G], /
) -> _G: ...
@overload
def pipe(
    data: _A,
    f1: Callable[[_A], _B],
    f2: Callable[[_B], _C],
    f3: Callable[[_C], _D],
    f4: Callable[[_D], _G],
    f5: Callable[[_G], _H],
    /,
) -> _H: ...
@overload
def pipe(data: Any, *funcs: Callable[[Any], Any]) -> Any:
    """``data`` passed through each function in turn, left to right."""

def do(func: Callable[[_T], object], x: _T) -> _T:
    """Calls ``func(x)`` for its effect and returns ``x`` itself."""

@overload
def compose() -> Callable[[_T], _T]: ...
@overload
def compose(f1: Callable[_P, _R], /) -> Callable[_P, _R]: ...
@overload
def compose(f2: Callable[[_A], _R], f1: Callable[_P, _A], /) -> Callable[_P, _R]: ...
@overload
def compose(f3: Callable[[_B], _R], f2: Callable[[_A], _B], f1: Callable[_P, _A], /) -> Callable[_P, _R]: ...
@overload
def compose(
    f4: Callable[[_C], _R], f3: Callable[[_B], _C], f2: Callable[[_A], _B], f1: Callable[_P, _A], /
) -> Callable[_P, _R]: ...
@overload
def compose(*funcs: Callable[..., Any]) -> Callable[..., Any]:
    """The functions composed right to left: ``compose(f, g)(x)`` is ``f(g(x))``;
    no functions gives ``identity``."""

@overload
def compose_left() -> Callable[[_T], _T]: ...
@overload
def compose_left(f1: Callable[_P, _R], /) -> Callable[_P, _R]: ...
@overload
def compose_left(f1: Callable[_P, _A], f2: Callable[[_A], _R], /) -> Callable[_P, _R]: ...
@overload
def compose_left(f1: Callable[_P, _A], f2: Callable[[_A], _B], f3: Callable[[_B], _R], /) -> Callable[_P, _R]: ...
@overload
def compose_left(
    f1: Callable[_P, _A], f2: Callable[[_A], _B], f3: Callable[[_B], _C], f4: Callable[[_C], _R], /
) -> Callable[_P, _R]: ...
@overload
def compose_left(*funcs: Callable[..., Any]) -> Callable[..., Any]:
    """The functions composed left to right: ``compose_left(f, g)(x)`` is ``g(f(x))``."""

def complement(func: Callable[_P, object]) -> Callable[_P, bool]:
    """A function returning ``not func(*args, **kwargs)``."""

@type_check_only
class _Pick(Protocol):
    # min, max and their kind: one element chosen from an iterable.
    def __call__(self, iterable: Iterable[_SRC], /) -> _SRC: ...

@type_check_only
class _PickEach(Protocol):
    def __call__(self, iterable: Iterable[_SRC], /) -> tuple[_SRC, _SRC]: ...

# Pickers first: mypy infers nothing when an overloaded function such as min
# is matched against a generic parameter, but it can check it against a
# protocol whose call is generic. Then functions of one argument: mypy cannot
# take a ParamSpec from an overloaded function, and pyright cannot join two.
@overload
def juxt(f1: _Pick, f2: _Pick, /) -> _PickEach: ...  # type: ignore[overload-overlap]
@overload
def juxt(f1: Callable[[_T], _A], f2: Callable[[_T], _B], /) -> Callable[[_T], tuple[_A, _B]]: ...
@overload
def juxt(f1: Callable[[_T], _A], f2: Callable[[_T], _B], f3: Callable[[_T], _C], /) -> Callable[[_T], tuple[_A, _B, _C]]: ...
@overload
def juxt(f1: Callable[_P, _A], /) -> Callable[_P, tuple[_A]]: ...
@overload
def juxt(f1: Callable[_P, _A], f2: Callable[_P, _B], /) -> Callable[_P, tuple[_A, _B]]: ...
@overload
def juxt(f1: Callable[_P, _A], f2: Callable[_P, _B], f3: Callable[_P, _C], /) -> Callable[_P, tuple[_A, _B, _C]]: ...
@overload
def juxt(funcs: Iterable[Callable[_P, _A]], /) -> Callable[_P, tuple[_A, ...]]: ...
@overload
def juxt(*funcs: Callable[..., Any]) -> Callable[..., tuple[Any, ...]]:
    """A function calling every function with the same arguments and returning
    the tuple of their results; one non-callable argument is the list of functions."""

@overload
def excepts(exc: type[_Exc] | tuple[type[_Exc], ...], func: Callable[_P, _R], handler: None = None) -> Callable[_P, _R | None]: ...
@overload
def excepts(
    exc: type[_Exc] | tuple[type[_Exc], ...], func: Callable[_P, _R], handler: Callable[[_Exc], _H]
) -> Callable[_P, _R | _H]:
    """A function calling ``func`` and turning the exceptions matching ``exc`` into
    ``handler(exception)`` (``None`` without a handler)."""

def memoize(
    func: Callable[_P, _R],
    cache: dict[Any, Any] | None = None,
    key: Callable[[tuple[Any, ...], dict[str, Any] | None], Hashable] | None = None,
) -> Callable[_P, _R]:
    """``func`` with its results cached by arguments (or by ``key(args, kwargs)``)
    in ``cache`` or a new dict; the cache never evicts."""

def thread_first(val: Any, *forms: Callable[[Any], Any] | tuple[Any, ...]) -> Any:
    """``val`` passed through each form in turn; a tuple form ``(f, *args)`` calls
    ``f(value, *args)``."""

def thread_last(val: Any, *forms: Callable[[Any], Any] | tuple[Any, ...]) -> Any:
    """``val`` passed through each form in turn; a tuple form ``(f, *args)`` calls
    ``f(*args, value)``."""

flip: Final[_Flip]
"""``flip(func, a, b)`` is ``func(b, a)``; given fewer arguments it returns a
``curry`` waiting for the rest."""

# ---------------------------------------------------------------------------
# Mapping functions
# ---------------------------------------------------------------------------

@overload
def merge(dicts: Iterable[Mapping[_K, _V]], /) -> dict[_K, _V]: ...
@overload
def merge(*dicts: Mapping[_K, _V], factory: None = None) -> dict[_K, _V]: ...
@overload
def merge(*dicts: Mapping[Any, Any], factory: Callable[[], _M]) -> _M:
    """A new mapping with the items of every mapping; a later value wins. One
    argument without ``keys`` is taken as an iterable of mappings."""

@overload
def merge_with(func: Callable[[list[_V]], _R], *dicts: Mapping[_K, _V], factory: None = None) -> dict[_K, _R]: ...
@overload
def merge_with(func: Callable[[list[_V]], Any], *dicts: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping from each key to ``func`` of the list of its values, in the order
    of the mappings."""

@overload
def assoc(d: Mapping[_K, _V], key: _K, value: _V, factory: None = None) -> dict[_K, _V]: ...
@overload
def assoc(d: Mapping[_K, _V], key: _K, value: _V, factory: Callable[[], _M]) -> _M:
    """A copy of ``d`` in which ``key`` maps to ``value``."""

@overload
def dissoc(d: Mapping[_K, _V], *keys: object, factory: None = None) -> dict[_K, _V]: ...
@overload
def dissoc(d: Mapping[_K, _V], *keys: object, factory: Callable[[], _M]) -> _M:
    """A copy of ``d`` without the given keys (absent keys are skipped)."""

@overload
def assoc_in(d: object, keys: Iterable[Any], value: Any, factory: None = None) -> dict[Any, Any]: ...
@overload
def assoc_in(d: object, keys: Iterable[Any], value: Any, factory: Callable[[], _M]) -> _M:
    """A copy of nested mappings in which the path ``keys`` leads to ``value``;
    missing levels are created. An empty path raises ``StopIteration``."""

@overload
def update_in(
    d: object, keys: Iterable[Any], func: Callable[[Any], Any], default: Any = None, factory: None = None
) -> dict[Any, Any]: ...
@overload
def update_in(
    d: object, keys: Iterable[Any], func: Callable[[Any], Any], default: Any, factory: Callable[[], _M]
) -> _M: ...
@overload
def update_in(
    d: object, keys: Iterable[Any], func: Callable[[Any], Any], default: Any = None, *, factory: Callable[[], _M]
) -> _M:
    """A copy of nested mappings in which the value at the path ``keys`` becomes
    ``func(old value)``, or ``func(default)`` when it is missing."""

def get_in(keys: Iterable[Any], coll: Any, default: Any = None, no_default: bool = False) -> Any:
    """``coll[k1][k2]...``; a lookup error gives ``default``, or propagates when
    ``no_default`` is true."""

@overload
def keymap(func: Callable[[_K], _K2], d: Mapping[_K, _V], factory: None = None) -> dict[_K2, _V]: ...
@overload
def keymap(func: Callable[[_K], Any], d: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping with every key passed through ``func``."""

@overload
def valmap(func: Callable[[_V], _V2], d: Mapping[_K, _V], factory: None = None) -> dict[_K, _V2]: ...
@overload
def valmap(func: Callable[[_V], Any], d: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping with every value passed through ``func``."""

@overload
def itemmap(
    func: Callable[[tuple[_K, _V]], tuple[_K2, _V2]], d: Mapping[_K, _V], factory: None = None
) -> dict[_K2, _V2]: ...
@overload
def itemmap(func: Callable[[tuple[_K, _V]], Iterable[Any]], d: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping of the (key, value) pairs that ``func`` makes of every item."""

@overload
def keyfilter(predicate: Callable[[_K], object], d: Mapping[_K, _V], factory: None = None) -> dict[_K, _V]: ...
@overload
def keyfilter(predicate: Callable[[_K], object], d: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping of the items whose key satisfies ``predicate``."""

@overload
def valfilter(predicate: Callable[[_V], object], d: Mapping[_K, _V], factory: None = None) -> dict[_K, _V]: ...
@overload
def valfilter(predicate: Callable[[_V], object], d: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping of the items whose value satisfies ``predicate``."""

@overload
def itemfilter(predicate: Callable[[tuple[_K, _V]], object], d: Mapping[_K, _V], factory: None = None) -> dict[_K, _V]: ...
@overload
def itemfilter(predicate: Callable[[tuple[_K, _V]], object], d: Mapping[_K, _V], factory: Callable[[], _M]) -> _M:
    """A new mapping of the items for which ``predicate((key, value))`` holds."""

# ---------------------------------------------------------------------------
# The fluent wrapper
# ---------------------------------------------------------------------------

@final
class Iter(Generic[_T_co]):
    """A fluent wrapper: transforming methods return a new ``Iter`` around a lazy
    result, terminal methods return their result. Iterable, not an iterator."""

    def __new__(cls, inner: Iterable[_T]) -> Iter[_T]:
        """Wraps ``inner`` (not checked until iterated)."""
    def __iter__(self) -> Iterator[_T_co]:
        """A fresh iterator over the wrapped iterable."""
    def map(self, f: Callable[[_T_co], _U]) -> Iter[_U]:
        """``f`` applied to every element, lazily."""
    def filter(self, f: Callable[[_T_co], object] | None) -> Iter[_T_co]:
        """The elements for which ``f`` is true (the truthy ones for ``None``), lazily."""
    def unique(self, key: Callable[[_T_co], Hashable] | None = None) -> Iter[_T_co]:
        """The elements not seen before (by ``key`` when given), lazily."""
    def take(self, n: int) -> Iter[_T_co]:
        """The first ``n`` elements, lazily; a negative ``n`` raises ``OverflowError``."""
    def drop(self, n: int) -> Iter[_T_co]:
        """Every element after the first ``n``, lazily."""
    def sliding_window(self, n: int) -> Iter[tuple[_T_co, ...]]:
        """Every run of ``n`` consecutive elements as a tuple."""
    def partition_all(self, n: int) -> Iter[tuple[_T_co, ...]]:
        """Tuples of ``n`` elements, the last one possibly shorter."""
    def flat_map(self, f: Callable[[_T_co], Iterable[_U]]) -> Iter[_U]:
        """The elements of ``f(x)`` for every element ``x``, lazily."""
    def pluck(self, ind: Any) -> Iter[Any]:
        """``x[ind]`` for every element ``x``, lazily (a list ``ind`` gives tuples)."""
    def interpose(self, el: _U) -> Iter[_T_co | _U]:
        """The elements with ``el`` between neighbours, lazily (an empty input gives an empty result)."""
    def accumulate(self, binop: Callable[[_T_co, _T_co], _T_co]) -> Iter[_T_co]:
        """The running results of folding the elements with ``binop``."""
    def collect(self) -> list[_T_co]:
        """A list of the elements."""
    @overload
    def reduce(self, binop: Callable[[_T_co, _T_co], _T_co]) -> _T_co: ...
    @overload
    def reduce(self, binop: Callable[[_A, _T_co], _A], initial: _A, /) -> _A:
        """The elements folded with ``binop`` (``functools.reduce``), from ``initial`` when given."""
    def count(self) -> int:
        """The number of elements."""
    def frequencies(self) -> dict[_T_co, int]:
        """How often each distinct element occurs."""
    @overload
    def group_by(self, key: Callable[[_T_co], _K]) -> dict[_K, list[_T_co]]: ...
    @overload
    def group_by(self, key: _SelectKey) -> dict[Any, list[_T_co]]:
        """The elements grouped into lists by their key."""
    def to_dict(self: Iter[tuple[_K, _V]]) -> dict[_K, _V]:
        """A dict of the (key, value) pairs."""
    def first(self) -> SomeOrNothing[_T_co]:
        """``Some`` of the first element, or a ``NothingType``."""
    def last(self) -> SomeOrNothing[_T_co]:
        """``Some`` of the last element, or a ``NothingType``."""
    def nth(self, i: int) -> SomeOrNothing[_T_co]:
        """``Some`` of the element at position ``i``, or a ``NothingType``."""
