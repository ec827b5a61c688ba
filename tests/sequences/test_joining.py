import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


@pytest.mark.parametrize("args, kwargs, expected", [
    (([1, 2, 3], [1, 2, 10]), {}, [(3, 10)]),
    (([1, 2], [1, 2, 3]), {}, []),
    (([1, 2], [1, 2, 3]), {"default": None}, [(None, 3)]),
    (([1], [1, 5], range(1, 8, 3)), {"default": 0}, [(0, 5, 4), (0, 0, 7)]),
    ((type("L", (list,), {})([[1, 2], [1, 3]]),), {}, [(2, 3)]),
    ((["a", "B"], ["A", "c"]), {"key": str.lower, "foo": 1}, [("B", "c")]),
    (([1.0, float("nan")], [1, float("nan")]), {"key": None}, [(float("nan"),) * 2]),
])
def test_diff(args, kwargs, expected):
    assert repr(list(q.diff(*args, **kwargs))) == repr(expected)


def test_diff_errors():
    for args in [((1, 2),), ([[1]],), ()]:
        with pytest.raises(TypeError, match=r"^Too few sequences given \(min 2 required\)$"):
            q.diff(*args)
    it = q.diff([1, 2, 3], [1, 0, 4], key=lambda x: 1 / x)
    with pytest.raises(ZeroDivisionError):
        next(it)
    assert list(it) == [(3, 4)]
    with pytest.raises(TypeError, match="not callable"):
        next(q.diff([1], [2], key=5))


L = [(1, "x"), (2, "y")]
R = [(1, "p"), (3, "q")]
ORDER_L = [("b", 1), ("a", 2), ("b", 3), ("c", 4), ("a", 5), ("d", 6)]


@pytest.mark.parametrize("args, expected", [
    ((0, L, 0, R), [(L[0], R[0])]),
    ((0, L, 0, R, None), [(L[0], R[0])]),
    ((0, L, 0, R, 0), [(L[0], R[0]), (0, R[1])]),
    ((0, L, 0, R, None, 0), [(L[0], R[0]), (L[1], 0)]),
    (([0, 1], [(1, 2, "l")], [1, 0], [(2, 1, "r")]), [((1, 2, "l"), (2, 1, "r"))]),
    # Matches in left order before the next right item; outer rows grouped by left key.
    ((0, ORDER_L, str, ["c", "x", "b"], "-", "+"),
     [(("c", 4), "c"), ("-", "x"), (("b", 1), "b"), (("b", 3), "b"), (("a", 2), "+"), (("a", 5), "+"),
      (("d", 6), "+")]),
])
def test_join(args, expected):
    assert list(q.join(*args)) == expected


def test_join_reads_left_at_first_advance_and_rebuilds_after_error():
    it = q.join(0, 5, 0, [])
    with pytest.raises(TypeError, match="not iterable"):
        next(it)
    calls = []

    def key(x):  # raises on the second left item of the first build only
        calls.append(x)
        return 1 / (len(calls) != 2) and x

    it = q.join(key, [1, 2], abs, [2, 1])
    with pytest.raises(ZeroDivisionError):
        next(it)
    assert list(it) == [(2, 2), (1, 1)] and calls == [1, 2, 1, 2]


def hostile(v, fail=None):
    return type("H", (), {"v": v, "__hash__": lambda s: 1 / (fail != "hash") and hash(v),
                          "__eq__": lambda s, o: 1 / (fail != "eq") and v == o.v})()


@pytest.mark.parametrize("fail", ["hash", "eq"])
def test_join_hostile_keys(fail):
    # A dict compares with the stored key's __eq__: the left key raises there.
    left = [hostile(1, fail if fail == "eq" else None), hostile(2)]
    right = [hostile(1, fail if fail == "hash" else None), hostile(2)]
    it = q.join(lambda x: x, left, lambda x: x, right)
    with pytest.raises(ZeroDivisionError):
        next(it)
    assert list(it) == [(left[1], right[1])]


def test_join_reentry_from_key():
    holder = {}
    holder["it"] = it = q.join(lambda x: next(holder["it"]), [1], abs, [1])
    with pytest.raises(ValueError, match="^iterator already executing$"):
        next(it)
    holder.clear()


@pytest.mark.parametrize("make", [
    lambda o: q.diff([1], [2], key=o.f), lambda o: q.diff([o], [o]), lambda o: q.join(o.f, [1], o.f, [1]),
    lambda o: q.join(0, [(1,)], 0, [(1,)], None, o),
])
def test_cycle_through_callback_is_collected(make, cycle_collected):
    assert cycle_collected(make)


@pytest.mark.no_refleak
@pytest.mark.parametrize("wrap", [lambda it: q.diff(it, ()), lambda it: q.join(0, [], 0, it)])
def test_deep_chain_is_released_without_overflow(wrap, deep_chain):
    deep_chain(wrap)
