import operator
import sys

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("seq, expected", [([1, 2, 3], [1, 0, 2, 0, 3]), ([1], [1]), ("ab", ["a", 0, "b"])])
def test_interpose(seq, expected):
    assert list(q.interpose(0, seq)) == expected


def test_first_element_is_read_at_the_call():
    with pytest.raises(StopIteration):
        q.interpose(0, [])
    with pytest.raises(ZeroDivisionError):
        q.interpose(0, (1 / x for x in [0]))


def test_length_hint_through_consumption():
    it = q.interpose(0, [1, 2, 3])
    hints = [operator.length_hint(it)]
    for _ in it:
        hints.append(operator.length_hint(it))
    assert hints == [5, 4, 3, 2, 1, 0]


class Endless:
    def __iter__(self):
        return self

    def __next__(self):
        return 1

    def __length_hint__(self):
        return sys.maxsize


def test_length_hint_saturates():
    it = q.interpose(0, Endless())
    assert operator.length_hint(it) == sys.maxsize
    next(it)
    assert operator.length_hint(it) == sys.maxsize


def test_source_error_later_leaves_iterator_usable():
    it = q.interpose(0, map(lambda x: 1 / x, [1, 0, 2]))
    assert next(it) == 1
    with pytest.raises(ZeroDivisionError):
        next(it)
    assert list(it) == [0, 0.5]
