"""Functional-programming tools for Python, written natively."""

from . import _quorin
from ._quorin import *  # noqa: F401,F403

__version__ = "0.1.0"

__all__ = list(_quorin.__all__)
