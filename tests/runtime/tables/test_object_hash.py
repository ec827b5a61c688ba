"""The native containers keyed by Python hash, observed through groupby and
countby: dictionary equality (hash, identity, ==), the first key object
kept, the hash shortcuts agreeing with the interpreter, growth, and errors
leaving nothing behind."""

import sys
from collections import Counter

import pytest

from quorin import _quorin as q


def same(x):
    return x


class Str(str):
    pass


class Int(int):
    pass


class Collide:
    """Equal by value, every instance with the same hash."""

    eq_calls = 0

    def __init__(self, v):
        self.v = v

    def __hash__(self):
        return 7

    def __eq__(self, other):
        type(self).eq_calls += 1
        return isinstance(other, Collide) and self.v == other.v

    def __repr__(self):
        return f"Collide({self.v})"


class NeverEqual:
    def __init__(self, log):
        self.log = log

    def __hash__(self):
        return 1

    def __eq__(self, other):
        self.log.append(self is other)
        return False


def key_summary(d):
    return [(k, type(k)) for k in d]


@pytest.mark.parametrize("fn", [q.countby, q.groupby])
@pytest.mark.parametrize("values", [
    [1, 1.0, True],
    [1.0, True, 1],
    [True, 1, 1.0],
    [0, 0.0, False, -0.0],
])
def test_equal_numbers_are_one_key_keeping_the_first_object(fn, values):
    out = fn(same, values)
    assert key_summary(out) == [(values[0], type(values[0]))]
    assert list(out.values()) == ([len(values)] if fn is q.countby else [values])


@pytest.mark.parametrize("fn", [q.countby, q.groupby])
def test_identity_is_checked_before_eq(fn):
    log = []
    a, b = NeverEqual(log), NeverEqual(log)
    out = fn(same, [a, a, b, a, b, b])
    assert list(out) == [a, b]
    assert list(out.values()) == ([3, 3] if fn is q.countby else [[a, a, a], [b, b, b]])
    # __eq__ only ever ran between the two distinct objects.
    assert log and not any(log)


def test_groupby_finds_never_equal_object_by_identity():
    a = NeverEqual([])
    items = [(a, i) for i in range(5)]
    out = q.groupby(lambda t: t[0], items)
    assert list(out.keys()) == [a]
    assert out[a] == items


@pytest.mark.parametrize("values, expected", [
    ([-1, -2, -1, -2, -2], [(-1, 2), (-2, 3)]),
    ([-2, -1], [(-2, 1), (-1, 1)]),
    # 2**61 - 1 hashes to 0 like 0 itself; neither is a compact int.
    ([0, 2**61 - 1, 0, 2**61 - 1, 2**61 - 1], [(0, 2), (2**61 - 1, 3)]),
    ([-(2**61) + 1, 0], [(-(2**61) + 1, 1), (0, 1)]),
])
def test_unequal_keys_with_one_hash_are_kept_apart(values, expected):
    assert list(q.countby(same, values).items()) == expected


def test_nan_by_identity_and_distinct_nans():
    nan = float("nan")
    out = q.countby(same, [nan, nan, nan])
    assert len(out) == 1 and next(iter(out)) is nan and list(out.values()) == [3]
    n1, n2 = float("nan"), float("nan")
    out = q.countby(same, [n1, n2, n1])
    assert [k is n1 for k in out] == [True, False]
    assert list(out.values()) == [2, 1]


@pytest.mark.parametrize("values", [
    ["a", Str("a"), "a"],
    [Str("a"), "a", Str("a")],
    [5, Int(5), 5.0],
    [Int(5), 5],
    [Int(-1), -1, Int(-2), -2],
    [2**40, Int(2**40)],
    # Strings built at run time have no cached hash yet.
    ["".join(["ab", "c"]), "abc", "".join(["a", "bc"])],
])
def test_subclasses_and_uncached_strings_agree_with_dict(values):
    out = q.countby(same, values)
    expected = Counter(values)
    assert key_summary(out) == key_summary(expected)
    assert list(out.values()) == list(expected.values())


# Values around the compact-int boundary (2**30) and -1, which must not share
# the shortcut's hash with -2 by accident of key order.
BOUNDARY_INTS = [0, 1, -1, -2, 2, 255, 256, 257, 2**30 - 1, 2**30, 2**30 + 1, -(2**30) + 1, -(2**30),
                 -(2**30) - 1, 2**31, 2**32, 2**40, -(2**40), 2**61 - 2, 2**61 - 1, 2**61, 2**63 - 1,
                 -(2**63) + 1, 2**64, 10**30, -(10**30)]


@pytest.mark.parametrize("fn", [q.countby, q.groupby])
def test_int_hashes_agree_with_dict(fn):
    values = BOUNDARY_INTS + [float(v) for v in BOUNDARY_INTS] + [v + 0 for v in reversed(BOUNDARY_INTS)]
    out = fn(same, values)
    expected = Counter(values)
    assert key_summary(out) == key_summary(expected)
    if fn is q.countby:
        assert list(out.values()) == list(expected.values())
    else:
        assert [len(g) for g in out.values()] == list(expected.values())


@pytest.mark.parametrize("fn", [q.countby, q.groupby])
@pytest.mark.parametrize("element", [[1], {}, {1, 2}, bytearray(b"x")])
def test_unhashable_key_raises_type_error(fn, element):
    with pytest.raises(TypeError, match="unhashable type"):
        fn(same, [1, 2, element, 3])


class HashBomb:
    def __init__(self, v, bomb=False):
        self.v = v
        self.bomb = bomb

    def __hash__(self):
        if self.bomb:
            raise ValueError("hash bomb")
        return hash(self.v)

    def __eq__(self, other):
        return isinstance(other, HashBomb) and self.v == other.v


class EqBomb:
    def __init__(self, v, bomb=False):
        self.v = v
        self.bomb = bomb

    def __hash__(self):
        return 3

    def __eq__(self, other):
        if self.bomb or getattr(other, "bomb", False):
            raise KeyError("eq bomb")
        return self.v == other.v


@pytest.mark.parametrize("fn", [q.countby, q.groupby])
@pytest.mark.parametrize("make, exc", [
    (lambda: [HashBomb(1), HashBomb(2), HashBomb(1), HashBomb(3, bomb=True), HashBomb(4)], ValueError),
    (lambda: [EqBomb(1), EqBomb(2), EqBomb(1), EqBomb(3, bomb=True), EqBomb(4)], KeyError),
    # The failing comparison meets a One chain (second distinct key of a hash)...
    (lambda: [EqBomb(1), EqBomb(2, bomb=True)], KeyError),
    # ... and a Many chain.
    (lambda: [EqBomb(1), EqBomb(2), EqBomb(3), EqBomb(4, bomb=True)], KeyError),
])
@pytest.mark.parametrize("container", [list, tuple, iter])
def test_hash_and_eq_errors_propagate_and_release_everything(fn, make, exc, container):
    elements = make()
    before = [sys.getrefcount(e) for e in elements]
    with pytest.raises(exc, match="bomb"):
        fn(same, container(elements))
    assert [sys.getrefcount(e) for e in elements] == before


class MinusOneHash:
    """A Python __hash__ returning -1 is remapped to -2 by the interpreter."""

    def __hash__(self):
        return -1

    def __eq__(self, other):
        return self is other


def test_python_hash_minus_one_is_remapped():
    a, b = MinusOneHash(), MinusOneHash()
    out = q.countby(same, [a, -2, b, a, -1])
    assert list(out.items()) == [(a, 2), (-2, 1), (b, 1), (-1, 1)]


# Sizes around the growth points of the containers: the chain map (9, 17,
# 33, ... keys) and the probe table of the seen-set (22, 86).
@pytest.mark.parametrize("n", [1, 8, 9, 16, 17, 21, 22, 33, 85, 86, 1000])
@pytest.mark.parametrize("kind", ["int", "str", "float", "tuple"])
def test_growth_keeps_every_key_exactly_once(n, kind):
    make = {"int": lambda i: i * 7919 - 500, "str": lambda i: f"k{i}", "float": lambda i: i + 0.5,
            "tuple": lambda i: (i, -i)}[kind]
    keys = [make(i) for i in range(n)]
    seq = keys + keys[::-1] + keys[::3]
    out = q.countby(same, seq)
    assert list(out) == keys
    assert list(out.values()) == [2 + (i % 3 == 0) for i in range(n)]
    groups = q.groupby(same, seq)
    assert list(groups) == keys
    assert [len(g) for g in groups.values()] == list(out.values())


def test_hundred_thousand_keys():
    n = 10**5
    seq = list(range(n)) + [str(i) for i in range(n)] + list(range(0, n, 2))
    out = q.countby(same, seq)
    assert len(out) == 2 * n
    assert list(out) == list(range(n)) + [str(i) for i in range(n)]
    assert [out[i] for i in range(n)] == [2 if i % 2 == 0 else 1 for i in range(n)]
    assert all(out[str(i)] == 1 for i in range(n))


@pytest.mark.parametrize("n", [2, 5, 40])
def test_colliding_hashes_are_counted_separately(n):
    Collide.eq_calls = 0
    seq = [Collide(i % n) for i in range(3 * n)]
    out = q.countby(same, seq)
    assert [k.v for k in out] == list(range(n))
    assert all(k is seq[i] for i, k in enumerate(out))
    assert list(out.values()) == [3] * n
    groups = q.groupby(lambda c: c, seq)
    assert [[c.v for c in g] for g in groups.values()] == [[i] * 3 for i in range(n)]
    assert Collide.eq_calls > 0


def test_colliding_chain_mixed_with_shared_hash_ints():
    # 7 (an int) and every Collide share hash 7; they never compare equal.
    seq = [Collide(0), 7, Collide(1), 7, Collide(0), 7.0]
    out = q.countby(same, seq)
    assert [(type(k).__name__, out[k]) for k in out] == [("Collide", 2), ("int", 3), ("Collide", 1)]


class ListChanger:
    """Keys of one hash, equal when their values are; comparing first
    changes the list being grouped (`target`)."""

    def __init__(self, v, target):
        self.v = v
        self.target = target

    def __hash__(self):
        return 11

    def __eq__(self, other):
        self.change()
        return self.v == other.v


class Shrinker(ListChanger):
    """Comparing cuts the list down to its first two elements."""

    def change(self):
        del self.target[2:]


class Grower(ListChanger):
    """Comparing appends a new element to the list, once."""

    def change(self):
        if len(self.target) < 6:
            self.target.append(Grower(self.v + 10, self.target))


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_eq_shrinking_the_input_list_is_safe(fn):
    seq = []
    seq.extend([Shrinker(1, seq), Shrinker(1, seq), Shrinker(2, seq), Shrinker(3, seq)])
    first, second = seq[0], seq[1]
    out = fn(same, seq)
    assert len(seq) == 2
    assert list(out) == [first]
    assert list(out.values()) == ([[first, second]] if fn is q.groupby else [2])


def test_eq_growing_the_input_list_sees_the_new_elements():
    seq = []
    seq.extend([Grower(1, seq), Grower(2, seq), Grower(1, seq)])
    out = q.groupby(same, seq)
    assert len(seq) == 6
    assert [k.v for k in out] == [1, 2, 11]
    assert [len(g) for g in out.values()] == [2, 1, 3]
    assert [id(e) for g in out.values() for e in g] == [id(seq[i]) for i in (0, 2, 1, 3, 4, 5)]


class Hashed:
    """Equal by value, hashing to whatever it is given (the low bits shared
    by many, or all bits but the high ones)."""

    def __init__(self, v, h):
        self.v, self.h = v, h

    def __hash__(self):
        return self.h

    def __eq__(self, other):
        return isinstance(other, Hashed) and self.v == other.v


# Hash layouts that probe differently: runs, strides that share every low
# bit, negatives (-1 hashes as -2), hashes differing only in their high bits.
@pytest.mark.parametrize("keys", [
    list(range(50_000)) * 2,
    [i << 20 for i in range(3000)] * 3,
    [-i for i in range(5000)] + [i for i in range(5000)],
    [Hashed(i, (i << 50) | 3) for i in range(600)] + [Hashed(i, (i << 50) | 3) for i in range(0, 600, 7)],
    [Hashed(i, -(i << 40)) for i in range(600)] * 2,
    [(i % 7, i) for i in range(20_000)] + [(3, 5)] * 4,
])
def test_hash_layouts_count_and_group_like_a_dict(keys):
    expected = Counter(keys)
    got = q.countby(same, keys)
    assert list(got.items()) == list(expected.items())
    assert [type(k) for k in got] == [type(k) for k in expected]
    groups = q.groupby(same, keys)
    assert list(groups) == list(expected) and [len(g) for g in groups.values()] == list(expected.values())
