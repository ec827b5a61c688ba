import array
import operator

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("seq, key, expected", [
    ([1, 2, 1, 3, 2], None, [1, 2, 3]),
    (["a", "A", "b"], str.lower, ["a", "b"]),
    ([1, 1.0, True, -1, -2, 300, 300.0, 2**70, 2**70], None, [1, -1, -2, 300, 2**70]),
    (bytes([97, 98, 99, 97]), None, [97, 98, 99]),
    (array.array("d", [1.5, 1.5, 2.0]), None, [1.5, 2.0]),
    (array.array("q", [3, -3, 1]), abs, [3, 1]),
    (memoryview(array.array("q", [3, 9, 3, 9, 1]))[::2], None, [3, 1]),
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


def test_length_hints():
    it = q.unique([1, 1, 1])
    assert operator.length_hint(it) == 3
    assert list(it) == [1] and operator.length_hint(it) == 0
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
    it = q.unique(b)
    del it
    b.append(1)


class Hostile:
    def __init__(self, fail_hash=False):
        self.fail_hash = fail_hash

    def __hash__(self):
        if self.fail_hash:
            raise ValueError("hash")
        return 1

    def __eq__(self, other):
        raise ArithmeticError("eq")


def test_raising_key_hash_and_eq_leave_the_iterator_usable():
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        list(q.unique([[1], [1]]))
    it = q.unique([1, 2, 3, 1], key=lambda x: 1 / (x - 2))
    assert next(it) == 1
    with pytest.raises(ZeroDivisionError):
        next(it)
    assert list(it) == [3]
    it = q.unique([Hostile(), Hostile(fail_hash=True), Hostile(), 5])
    next(it)
    with pytest.raises(ValueError, match="hash"):
        next(it)
    with pytest.raises(ArithmeticError, match="eq"):
        next(it)
    assert list(it) == [5]
