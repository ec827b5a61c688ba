import operator

import pytest

from quorin import _quorin as q


class Sub(list):
    pass


@pytest.mark.parametrize("make", [list, Sub, tuple, iter])
def test_every_input_kind_reads_the_same(make):
    assert list(q.interpose(0, make([1, 2, 3]))) == [1, 0, 2, 0, 3]


def test_list_mutated_while_read():
    xs = [1, 2]
    it = q.interpose(0, xs)
    assert next(it) == 1
    xs.append(3)
    assert list(it) == [0, 2, 0, 3]
    xs.append(4)  # after the end was seen: not read
    assert list(it) == [] and operator.length_hint(it) == 0
    xs = [1, 2, 3, 4, 5]
    it = q.unique(xs)
    next(it)
    xs[1] = 9
    del xs[3:]
    assert list(it) == [9, 3]


class Hinted:
    def __init__(self, hint):
        self.hint = hint

    def __iter__(self):
        return self

    def __next__(self):
        raise StopIteration

    def __length_hint__(self):
        if isinstance(self.hint, type):
            raise self.hint("no hint")
        return self.hint


@pytest.mark.parametrize("hint, expected", [(7, 7), (TypeError, 0), (NotImplemented, 0)])
def test_iterator_source_hint(hint, expected):
    assert operator.length_hint(q.pluck(0, Hinted(hint))) == expected


@pytest.mark.parametrize("exc", [KeyboardInterrupt, MemoryError])
def test_hint_errors_other_than_type_error_propagate(exc):
    with pytest.raises(exc):
        operator.length_hint(q.unique(Hinted(exc)))


@pytest.mark.parametrize("call", [
    lambda: q.interpose(0, 5), lambda: q.unique(5), lambda: q.pluck(0, 5), lambda: q.sliding_window(2, 5),
])
def test_not_iterable_fails_at_the_call(call):
    with pytest.raises(TypeError, match="^'int' object is not iterable$"):
        call()
