import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


def test_examples():
    assert q.keymap(str.lower, {"A": 1, "a": 2}) == {"a": 2} and q.itemmap(reversed, {"a": 1}) == {1: "a"}
    assert list(q.valfilter(bool, {"a": 1, "b": 0, "c": 2})) == ["a", "c"]
    assert q.valmap(lambda v: 1 / 0, {}, factory=lambda: 5) == 5


@pytest.mark.parametrize("make, relation", [
    (lambda: (1,), "<"), (lambda: [1], "<"), (lambda: (1, 2, 3), ">"), (lambda: iter([1, 2, 3, 4]), ">")])
def test_itemmap_needs_exactly_two(make, relation):
    result = make()
    with pytest.raises(ValueError, match=f"^dictionary update sequence element has length {relation} 2; 2 is required$"):
        q.itemmap(lambda kv: result, {"a": 1})
    assert not isinstance(result, type(iter([]))) or list(result) == [4]  # read no further than a third


@pytest.mark.parametrize("fn", [q.keyfilter, q.valfilter, q.itemfilter])
def test_truth_test_errors_propagate(fn):
    with pytest.raises(Boom):
        fn(lambda x: type("Bad", (), {"__bool__": lambda self: (_ for _ in ()).throw(Boom())})(), {"a": 1})


def test_itemfilter_gets_a_fresh_pair():
    seen = []
    assert q.itemfilter(lambda kv: seen.append(kv) or True, type("L", (), {"items": lambda s: [("a", 1, 2)]})()) == {"a": 1}
    assert seen == [("a", 1)]


@pytest.mark.parametrize("fn", [q.keymap, q.valmap, q.itemmap, q.keyfilter, q.valfilter, q.itemfilter])
def test_callback_that_grows_its_mapping(fn):
    d = {i: i for i in range(4)}
    with pytest.raises(RuntimeError, match="changed size during iteration"):
        fn(lambda x: d.setdefault(len(d) + 10, x), d)


REFERENCE = {
    q.keymap: lambda f, d: {f(k): v for k, v in d.items()},
    q.valmap: lambda f, d: {k: f(v) for k, v in d.items()},
    q.itemmap: lambda f, d: dict(f(kv) for kv in d.items()),
    q.keyfilter: lambda f, d: {k: v for k, v in d.items() if f(k)},
    q.valfilter: lambda f, d: {k: v for k, v in d.items() if f(v)},
    q.itemfilter: lambda f, d: {k: v for k, v in d.items() if f((k, v))},
}

# What a callback does to the dict being read, at its second call.
MUTATIONS = {
    "swap key": lambda d: (d.pop(next(iter(d))), d.__setitem__("new", 0)),
    "grow": lambda d: d.__setitem__("new", 0),
    "shrink": lambda d: d.pop(next(reversed(d))),
    "new values": lambda d: d.update((k, -1) for k in d),
    "grow and shrink": lambda d: (d.__setitem__("new", 0), d.pop("new")),
    "clear and refill": lambda d: (lambda saved: (d.clear(), d.update(saved)))(dict(d)),
}


def _run(fn, run, mutate):
    d = {i: i for i in range(6)}
    del d[5]  # leaves room: a new key takes a new place rather than a rebuilt table
    calls = []

    def callback(x):
        calls.append(x)
        if len(calls) == 2:
            mutate(d)
        return x if fn is q.itemmap else (x, 0) if fn is q.keymap else 1

    try:
        return run(callback, d), calls
    except RuntimeError as e:
        return str(e), calls


@pytest.mark.parametrize("fn", list(REFERENCE))
@pytest.mark.parametrize("mutation", list(MUTATIONS))
def test_a_dict_changed_by_its_callback_reads_as_its_items_iterator(fn, mutation):
    ours = _run(fn, fn, MUTATIONS[mutation])
    theirs = _run(fn, REFERENCE[fn], MUTATIONS[mutation])
    assert ours == theirs


@pytest.mark.parametrize("fn", [q.itemmap, q.itemfilter])
def test_pairs_kept_by_the_callback_stay_intact(fn):
    kept = []
    d = {"a": 1, "b": [2], "c": 3}
    fn(lambda kv: kept.append(kv) or kv, d)
    assert kept == list(d.items())
    assert len({id(kv) for kv in kept}) == 3


def test_a_pair_is_tracked_again_when_it_may_hold_containers():
    import gc

    tracked = []

    def callback(kv):
        gc.collect()  # may stop tracking a pair of two ints
        tracked.append(gc.is_tracked(kv))
        return kv

    assert q.itemmap(callback, {1: 2, 3: [4]}) == {1: 2, 3: [4]}
    assert tracked[1]
