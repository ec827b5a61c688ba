import heapq

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("args, kwargs, expected", [
    (([1, 4], [2, 3]), {}, [1, 2, 3, 4]),
    (([3, 1], [2]), {"key": lambda x: -x}, [3, 2, 1]),
    ((), {}, []),
    (([1, 3], range(2, 3), (0, 5)), {"key": None}, [0, 1, 2, 3, 5]),
    # Ties: the item of the earlier input first.
    (([(1, "a")], [(1, "b")]), {"key": lambda t: t[0]}, [(1, "a"), (1, "b")]),
])
def test_merge_sorted(args, kwargs, expected):
    assert list(q.merge_sorted(*args, **kwargs)) == expected


def test_merge_sorted_calls_the_current_heapq_merge():
    seen, saved = [], heapq.merge
    heapq.merge = lambda *a, **k: seen.append((a, k)) or iter("xy")
    try:
        assert list(q.merge_sorted([1], key=len)) == ["x", "y"]
    finally:
        heapq.merge = saved
    assert seen == [(([1],), {"key": len})]
    with pytest.raises(TypeError, match="unexpected keyword argument 'reverse'"):
        q.merge_sorted([1], reverse=True)


def test_cycle_through_key_is_collected(cycle_collected):
    assert cycle_collected(lambda o: q.merge_sorted([1], [2], key=o.f))


@pytest.mark.no_refleak
def test_deep_chain_is_released_without_overflow(deep_chain):
    deep_chain(q.merge_sorted)
