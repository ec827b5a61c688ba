import inspect
import operator
import sys

import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


def raiser_at(n, exc=Boom):
    """A key function that raises on its n-th call (1-based)."""
    calls = [0]

    def key(x):
        calls[0] += 1
        if calls[0] == n:
            raise exc("boom")
        return x % 2

    return key


def gen(values):
    yield from values


class ListSub(list):
    pass


class TupleSub(tuple):
    pass


class IterOverride(list):
    """A list subclass whose iteration differs from its items."""

    def __iter__(self):
        return iter(["x", "yy", "z"])


# -- the documented examples -------------------------------------------------

def test_groupby_and_countby_with_len():
    assert q.groupby(len, ["a", "bb", "c"]) == {1: ["a", "c"], 2: ["bb"]}
    assert q.countby(len, ["a", "bb", "c"]) == {1: 2, 2: 1}


@pytest.mark.parametrize("seq", [[], (), iter([]), gen([]), "", range(0), {}])
def test_empty_input_gives_empty_dict(seq):
    assert q.groupby(len, seq) == {}
    assert q.countby(len, seq) == {}
    assert q.reduceby(len, operator.add, seq) == {}
    assert q.reduceby(len, operator.add, seq, 0) == {}


@pytest.mark.parametrize("container", [list, tuple, gen, ListSub, TupleSub])
def test_all_input_kinds_give_the_same_result(container):
    values = [3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5]
    key = lambda x: x % 3  # noqa: E731
    assert q.groupby(key, container(values)) == {0: [3, 9, 6, 3], 1: [1, 4, 1], 2: [5, 2, 5, 5]}
    assert q.countby(key, container(values)) == {0: 4, 1: 3, 2: 4}
    assert q.reduceby(key, operator.add, container(values)) == {0: 21, 1: 6, 2: 17}


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_subclasses_are_iterated_not_indexed(fn):
    seq = IterOverride([1, 2, 3])
    expected = {1: ["x", "z"], 2: ["yy"]} if fn is q.groupby else {1: 2, 2: 1}
    assert fn(len, seq) == expected


def test_result_order_is_first_occurrence():
    seq = ["pear", "fig", "apple", "kiwi", "banana", "plum", "date"]
    assert list(q.groupby(len, seq)) == [4, 3, 5, 6]
    assert list(q.countby(len, seq)) == [4, 3, 5, 6]
    assert list(q.reduceby(len, operator.add, seq)) == [4, 3, 5, 6]


def test_groups_are_fresh_lists_of_the_original_elements():
    items = [[1], [2], [1, 2], [3]]
    out = q.groupby(len, items)
    assert all(type(g) is list for g in out.values())
    assert [id(e) for g in out.values() for e in g] == [id(items[i]) for i in (0, 1, 3, 2)]


@pytest.mark.parametrize("size", [1, 2, 3, 4, 5, 8, 9, 16, 17, 1000])
def test_groups_of_every_size_keep_input_order(size):
    seq = [(k, i) for i in range(size) for k in range(3)]
    out = q.groupby(0, seq)
    assert out == {k: [(k, i) for i in range(size)] for k in range(3)}
    assert [len(g) for g in out.values()] == [size] * 3


def test_eager_consumption_at_call_time():
    it = iter([1, 2, 3])
    q.groupby(str, it)
    assert list(it) == []
    it = iter([1, 2, 3])
    q.countby(str, it)
    assert list(it) == []
    it = iter([1, 2, 3])
    q.reduceby(str, operator.add, it)
    assert list(it) == []


# -- key conventions -----------------------------------------------------------

RECORDS = [(1, "a", 10), (2, "b", 10), (1, "c", 20), (1, "a", 20)]
DICTS = [{"k": 1, "n": "x", (0, 1): "t"}, {"k": 2, "n": "y", (0, 1): "t"}, {"k": 1, "n": "x", (0, 1): "u"}]


@pytest.mark.parametrize("key, seq, groups", [
    (0, RECORDS, {1: [RECORDS[0], RECORDS[2], RECORDS[3]], 2: [RECORDS[1]]}),
    (-1, RECORDS, {10: RECORDS[:2], 20: RECORDS[2:]}),
    ([0, 2], RECORDS, {(1, 10): [RECORDS[0]], (2, 10): [RECORDS[1]], (1, 20): RECORDS[2:]}),
    ([1], RECORDS, {("a",): [RECORDS[0], RECORDS[3]], ("b",): [RECORDS[1]], ("c",): [RECORDS[2]]}),
    ([], RECORDS, {(): RECORDS}),
    (ListSub([0, 1]), RECORDS, {(1, "a"): [RECORDS[0], RECORDS[3]], (2, "b"): [RECORDS[1]],
                                (1, "c"): [RECORDS[2]]}),
    ("k", DICTS, {1: [DICTS[0], DICTS[2]], 2: [DICTS[1]]}),
    (["k", "n"], DICTS, {(1, "x"): [DICTS[0], DICTS[2]], (2, "y"): [DICTS[1]]}),
    # A tuple key is one index: the dictionaries are looked up with it.
    ((0, 1), DICTS, {"t": DICTS[:2], "u": [DICTS[2]]}),
    (1, ["ab", "cb", "ax"], {"b": ["ab", "cb"], "x": ["ax"]}),
    (slice(0, 1), ["ab", "cb", "ax"], {"a": ["ab", "ax"], "c": ["cb"]}),
])
def test_key_conventions(key, seq, groups):
    assert q.groupby(key, seq) == groups
    assert q.countby(key, seq) == {k: len(v) for k, v in groups.items()}
    first = {}
    for k, v in groups.items():
        first[k] = v[0]
    assert q.reduceby(key, lambda acc, x: acc, seq) == first


@pytest.mark.parametrize("key, seq, exc, message", [
    (5, [(1, 2)], IndexError, "tuple index out of range"),
    ("missing", [{"k": 1}], KeyError, "'missing'"),
    ([0, 5], [(1, 2)], IndexError, "tuple index out of range"),
    (0, [1], TypeError, "'int' object is not subscriptable"),
])
@pytest.mark.parametrize("fn", ["groupby", "countby", "reduceby"])
def test_item_access_errors_propagate(fn, key, seq, exc, message):
    call = {"groupby": lambda: q.groupby(key, seq), "countby": lambda: q.countby(key, seq),
            "reduceby": lambda: q.reduceby(key, operator.add, seq)}[fn]
    with pytest.raises(exc) as info:
        call()
    assert str(info.value) == message


class Picky:
    """An element whose item access empties the key list it is read with."""

    def __init__(self, keys):
        self.keys = keys

    def __getitem__(self, i):
        self.keys.clear()
        return i * 10


@pytest.mark.parametrize("fn", ["groupby", "countby", "reduceby"])
def test_list_key_shrinking_during_access_gives_a_shorter_tuple(fn):
    keys = [1, 2, 3]
    e = Picky(keys)
    out = {"groupby": lambda: q.groupby(keys, [e]), "countby": lambda: q.countby(keys, [e]),
           "reduceby": lambda: q.reduceby(keys, operator.add, [e])}[fn]()
    assert list(out) == [(10,)]


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_key_function_growing_the_input_list(fn):
    seq = [1, 2]

    def key(x):
        if len(seq) < 5:
            seq.append(x + 10)
        return x % 2

    out = fn(key, seq)
    assert seq == [1, 2, 11, 12, 21]
    assert out == ({1: [1, 11, 21], 0: [2, 12]} if fn is q.groupby else {1: 3, 0: 2})


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_key_function_shrinking_the_input_list(fn):
    seq = [1, 2, 3, 4, 5]

    def key(x):
        del seq[-1]
        return x % 2

    out = fn(key, seq)
    assert seq == [1, 2]
    assert out == ({1: [1, 3], 0: [2]} if fn is q.groupby else {1: 2, 0: 1})


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
@pytest.mark.parametrize("values", [[1, 1.0, True], [True, 1, 1.0], [1.0, 1, True]])
def test_one_two_true_are_one_group_keyed_by_the_first(fn, values):
    out = fn(lambda x: x, values)
    assert [type(k) for k in out] == [type(values[0])]
    out = q.reduceby(lambda x: x, lambda a, b: a + b, values)
    assert [type(k) for k in out] == [type(values[0])]
    assert list(out.values()) == [3]


# -- reduceby ------------------------------------------------------------------

def test_reduceby_first_element_is_stored_itself():
    x = [1, 2]
    out = q.reduceby(len, operator.add, [x])
    assert out[2] is x
    calls = []
    out = q.reduceby(len, lambda a, b: calls.append(1), ["ab"])
    assert out == {2: "ab"} and calls == []


def test_reduceby_non_callable_init():
    assert q.reduceby(lambda x: x % 2, operator.add, range(10), 0) == {0: 20, 1: 25}
    assert q.reduceby(lambda x: x % 2, operator.add, range(10), 100) == {0: 120, 1: 125}


def test_reduceby_callable_init_gives_each_key_its_own_base():
    def append(acc, x):
        acc.append(x)
        return acc

    out = q.reduceby(lambda x: x % 3, append, range(7), list)
    assert out == {0: [0, 3, 6], 1: [1, 4], 2: [2, 5]}
    assert len({id(v) for v in out.values()}) == 3


def test_reduceby_callable_init_is_called_once_per_new_key():
    made = []

    def init():
        made.append(1)
        return 0

    out = q.reduceby(lambda s: s[0], lambda acc, s: acc + len(s), ["ab", "a", "bcd", "ax", "b"], init)
    assert out == {"a": 5, "b": 4}
    assert made == [1, 1]


def test_reduceby_mutable_non_callable_init_is_shared():
    shared = []

    def append(acc, x):
        acc.append(x)
        return acc

    out = q.reduceby(lambda x: x % 2, append, [1, 2, 3], shared)
    assert out[0] is shared and out[1] is shared
    assert shared == [1, 2, 3]


def test_reduceby_iterates_exact_lists_and_tuples():
    # Iteration and indexing agree for exact sequences; this pins the result.
    assert q.reduceby(len, operator.add, ("a", "bc", "d")) == {1: "ad", 2: "bc"}
    assert q.reduceby(len, operator.add, IterOverride(["ignored"])) == {1: "xz", 2: "yy"}


def test_reduceby_rejects_a_second_extra_argument_before_touching_seq():
    touched = []

    def seq():
        touched.append(1)
        yield 1

    with pytest.raises(TypeError) as info:
        q.reduceby(len, operator.add, seq(), 0, 1)
    assert str(info.value) == "reduceby takes at most 4 arguments"
    with pytest.raises(TypeError) as info:
        q.reduceby(len, operator.add, seq(), 0, 1, 2)
    assert str(info.value) == "reduceby takes at most 4 arguments"
    assert touched == []


@pytest.mark.parametrize("where", ["binop", "init", "key", "iter", "hash"])
def test_reduceby_errors_propagate(where):
    def binop(a, b):
        if where == "binop" and b == 3:
            raise Boom("boom")
        return a + b

    def init():
        if where == "init":
            raise Boom("boom")
        return 0

    class Bad:
        def __hash__(self):
            raise Boom("boom")

    def seq():
        yield 1
        yield 2
        yield 3
        if where == "iter":
            raise Boom("boom")
        yield 4

    key = {"key": raiser_at(3), "hash": lambda x: Bad() if x == 2 else x}.get(where, lambda x: x % 2)
    args = (init,) if where == "init" else (0,) if where == "binop" else ()
    with pytest.raises(Boom):
        q.reduceby(key, binop, seq(), *args)


# -- errors and leaks ----------------------------------------------------------

@pytest.mark.parametrize("fn", [q.groupby, q.countby])
@pytest.mark.parametrize("container", [list, tuple, iter])
def test_key_error_on_third_element_leaves_nothing(fn, container):
    elements = [object() for _ in range(5)]
    before = [sys.getrefcount(e) for e in elements]
    key = raiser_at(3)
    with pytest.raises(Boom):
        fn(lambda e: key(id(e)), container(elements))
    assert [sys.getrefcount(e) for e in elements] == before


def test_reduceby_key_error_on_third_element_leaves_nothing():
    elements = [object() for _ in range(5)]
    before = [sys.getrefcount(e) for e in elements]
    key = raiser_at(3)
    with pytest.raises(Boom):
        q.reduceby(lambda e: key(id(e)), lambda a, b: a, elements)
    assert [sys.getrefcount(e) for e in elements] == before


class HashOnce:
    """Hashes once; every later hash raises (so the failure comes while the
    result dictionary is being built, after the whole input was read)."""

    def __init__(self, v):
        self.v = v
        self.hashed = False

    def __hash__(self):
        if self.hashed:
            raise Boom("second hash")
        self.hashed = True
        return hash(self.v)

    def __eq__(self, other):
        return isinstance(other, HashOnce) and self.v == other.v


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_error_while_building_the_result_releases_everything(fn):
    elements = [object() for _ in range(60)]
    keys = [HashOnce(i) for i in range(3)]
    before = [sys.getrefcount(e) for e in elements] + [sys.getrefcount(k) for k in keys]
    with pytest.raises(Boom, match="second hash"):
        fn(lambda e: keys[elements.index(e) % 3] if elements.index(e) < 3 else HashOnce(0), elements)
    assert [sys.getrefcount(e) for e in elements] + [sys.getrefcount(k) for k in keys] == before


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_late_key_error_with_grown_groups_leaves_nothing(fn):
    elements = [object() for _ in range(200)]
    before = [sys.getrefcount(e) for e in elements]
    key = raiser_at(150)
    with pytest.raises(Boom):
        fn(lambda e: key(id(e) // 16), elements)
    assert [sys.getrefcount(e) for e in elements] == before


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_iteration_error_propagates(fn):
    def seq():
        yield 1
        raise Boom("boom")

    with pytest.raises(Boom):
        fn(str, seq())


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_unhashable_key_value(fn):
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        fn(lambda x: [x], [1, 2])
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        q.reduceby(lambda x: [x], operator.add, [1, 2])


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_non_iterable_seq(fn):
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        fn(str, 5)
    with pytest.raises(TypeError, match="'int' object is not iterable"):
        q.reduceby(str, operator.add, 5)


@pytest.mark.parametrize("fn", [q.groupby, q.countby])
def test_key_object_neither_callable_nor_subscript(fn):
    with pytest.raises(TypeError):
        fn(None, [1])


def test_counts_are_exact_ints():
    out = q.countby(lambda x: 0, range(100000))
    assert out == {0: 100000} and type(out[0]) is int


# -- binding -------------------------------------------------------------------

@pytest.mark.parametrize("call, message", [
    (lambda: q.groupby(len), "groupby() missing 1 required positional argument: 'seq'"),
    (lambda: q.groupby(), "groupby() missing 2 required positional arguments: 'key' and 'seq'"),
    (lambda: q.countby(len, [], 1), "countby() takes 2 positional arguments but 3 were given"),
    (lambda: q.countby(len, [], x=1), "countby() got an unexpected keyword argument 'x'"),
    (lambda: q.groupby(len, key=len), "groupby() got multiple values for argument 'key'"),
    (lambda: q.reduceby(len, operator.add),
     "reduceby() missing 1 required positional argument: 'seq'"),
    (lambda: q.reduceby(), "reduceby() missing 3 required positional arguments: 'key', 'binop', and 'seq'"),
    (lambda: q.reduceby(len, operator.add, [], init=0), "reduceby() got an unexpected keyword argument 'init'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keyword_binding():
    assert q.groupby(seq=["a", "bb"], key=len) == {1: ["a"], 2: ["bb"]}
    assert q.countby(key=len, seq=["a", "bb"]) == {1: 1, 2: 1}
    assert q.reduceby(seq=[1, 2, 3], binop=operator.add, key=lambda x: 0) == {0: 6}


@pytest.mark.parametrize("fn, params", [
    (q.groupby, ["key", "seq"]),
    (q.countby, ["key", "seq"]),
    (q.reduceby, ["key", "binop", "seq", "rest"]),
])
def test_signatures(fn, params):
    assert fn.__doc__ is None
    assert list(inspect.signature(fn).parameters) == params


def test_export_order():
    names = q.__all__
    assert names.index("groupby") + 1 == names.index("countby")
    assert names.index("countby") + 1 == names.index("reduceby")
    assert names.index("interleave") < names.index("groupby")
    assert names.index("reduceby") < names.index("mapcat")
