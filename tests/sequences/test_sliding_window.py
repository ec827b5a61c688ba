import operator

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("n, seq, expected", [
    (2, [1, 2, 3, 4], [(1, 2), (2, 3), (3, 4)]),
    (3, [1, 2], []),
    (1, "ab", [("a",), ("b",)]),
    (3, range(5), [(0, 1, 2), (1, 2, 3), (2, 3, 4)]),
    (10**9, [1, 2], []),
    (0, 5, []),
])
def test_sliding_window(n, seq, expected):
    assert list(q.sliding_window(n, seq)) == expected


class Two:
    def __index__(self):
        return 2


def test_n_checks():
    with pytest.raises(ValueError, match="^n must be >= 0$"):
        q.sliding_window(-1, [1])
    with pytest.raises(TypeError) as info:
        q.sliding_window("2", [1])
    assert info.value.__notes__ == ["while processing 'n'"]
    assert list(q.sliding_window(Two(), [1, 2, 3])) == [(1, 2), (2, 3)]


def test_length_hints_and_priming():
    it = q.sliding_window(2, [1, 2, 3, 4])
    assert operator.length_hint(it) == 3
    next(it)
    assert operator.length_hint(it) == 2
    list(it)
    assert operator.length_hint(it) == 0
    xs = [1]
    it = q.sliding_window(3, xs)
    assert operator.length_hint(it) == 0
    xs += [2, 3, 4]  # short at the call: stays empty
    assert list(it) == []
    with pytest.raises(ZeroDivisionError):
        q.sliding_window(3, map(lambda x: 1 / x, [1, 0]))


def test_windows_are_distinct_tuples_sharing_elements():
    a, b, c = object(), object(), object()
    w1, w2 = q.sliding_window(2, [a, b, c])
    assert w1 is not w2
    assert w1[1] is w2[0] is b
