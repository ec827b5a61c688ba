import array
import operator

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("seq, key, expected", [
    ([1, 2, 1, 3, 2], None, [1, 2, 3]),
    (["a", "A", "b"], str.lower, ["a", "b"]),
    ([1, 1.0, True], None, [1]),
    ([-1, -2, 300, 300.0, 2**70, 2**70], None, [-1, -2, 300, 2**70]),
    (bytes([97, 98, 99, 97]), None, [97, 98, 99]),
    (array.array("d", [1.5, 1.5, 2.0]), None, [1.5, 2.0]),
])
def test_unique(seq, key, expected):
    result = list(q.unique(seq, key=key))
    assert result == expected
    assert [type(x) for x in result] == [type(x) for x in expected]


@pytest.mark.parametrize("code", list("bBhHiIlLqQ"))
def test_every_integer_buffer_type(code):
    values = [0, 5, 0, 7, 5, 1, 127] + ([-1, -128, -1] if code.islower() else [255, 255])
    it = q.unique(array.array(code, values))
    assert type(it).__name__ == "UniqueIntIter"
    assert list(it) == list(dict.fromkeys(values))


def test_key_takes_the_object_path():
    it = q.unique(array.array("q", [3, -3, 1]), key=abs)
    assert type(it).__name__ == "UniqueIter"
    assert list(it) == [3, 1]


def test_other_buffers_are_iterated():
    it = q.unique(memoryview(array.array("q", [3, 9, 3, 9, 1]))[::2])
    assert type(it).__name__ == "UniqueIter"
    assert list(it) == [3, 1]
    # A two-dimensional view is handed to iteration, which refuses it.
    with pytest.raises(NotImplementedError):
        q.unique(memoryview(array.array("q", [3, 3, 1, 1])).cast("B").cast("q", (2, 2)))


def test_length_hints():
    it = q.unique([1, 1, 1])
    assert operator.length_hint(it) == 3
    assert list(it) == [1]
    assert operator.length_hint(it) == 0
    it = q.unique(array.array("q", [1, 1, 1, 2, 3]))
    assert operator.length_hint(it) == 5
    assert [next(it), next(it)] == [1, 2]
    assert operator.length_hint(it) == 1


def test_buffer_is_held_until_the_end_and_read_in_place():
    b = bytearray(b"aab")
    it = q.unique(b)
    assert next(it) == 97
    with pytest.raises(BufferError):
        b.append(1)
    b[2] = 122
    assert list(it) == [122]
    b.append(1)  # the view went with the end of the scan
    b2 = bytearray(b"ab")
    it = q.unique(b2)
    del it
    b2.append(1)


def test_unhashable_and_raising_key():
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        list(q.unique([[1], [1]]))

    def key(x):
        if x == 2:
            raise KeyError(x)
        return x
    it = q.unique([1, 2, 3, 1], key=key)
    assert next(it) == 1
    with pytest.raises(KeyError):
        next(it)
    assert list(it) == [3]


class Hostile:
    def __init__(self, fail_hash=False):
        self.fail_hash = fail_hash

    def __hash__(self):
        if self.fail_hash:
            raise ValueError("hash")
        return 1

    def __eq__(self, other):
        raise ArithmeticError("eq")


def test_raising_hash_and_eq():
    it = q.unique([Hostile(), Hostile(fail_hash=True), Hostile(), 5])
    assert isinstance(next(it), Hostile)
    with pytest.raises(ValueError, match="hash"):
        next(it)
    with pytest.raises(ArithmeticError, match="eq"):
        next(it)
    assert list(it) == [5]
