"""Annotations for quorin's values.

``SomeOrNothing[T]`` is a ``Some`` holding a ``T`` or a ``NothingType``;
``OkOrErr[T, E]`` is an ``Ok`` holding a ``T`` or an ``Err`` holding an
``E``. Both are unions of final classes, so a type checker narrows them by
``match``, ``isinstance`` and truthiness, and knows when a ``match`` is
exhaustive.
"""

from typing import TypeAlias, TypeVar, Union

from ._quorin import Err, NothingType, Ok, Some

_T = TypeVar("_T")
_E = TypeVar("_E")

# Union rather than `|`: the annotations stay subscriptable at run time.
SomeOrNothing: TypeAlias = Union[Some[_T], NothingType]  # noqa: UP007
OkOrErr: TypeAlias = Union[Ok[_T], Err[_E]]  # noqa: UP007

__all__ = ["OkOrErr", "SomeOrNothing"]
