import builtins
from contextlib import nullcontext
import gc
import inspect
import operator
import weakref

import pytest

from quorin._quorin import Iter, Nothing, Some

from helpers import box_is_freed


@pytest.mark.parametrize("call, expected", [
    (lambda: Iter(range(10)).map(lambda x: x * x).filter(lambda x: x % 2).take(2).collect(), [1, 9]),
    (lambda: Iter(range(5)).drop(2).collect(), [2, 3, 4]),
    (lambda: Iter(range(3)).take(0).collect(), []),
    (lambda: Iter([[1], [], [2, 3]]).flat_map(lambda x: x).collect(), [1, 2, 3]),
    (lambda: Iter([1, 2, 3]).accumulate(operator.add).collect(), [1, 3, 6]),
    (lambda: Iter([0, 1, "", 2]).filter(None).collect(), [1, 2]),
    (lambda: Iter([1, 2, 3]).reduce(operator.add), 6),
    (lambda: Iter([]).reduce(operator.add, 0), 0),
    (lambda: Iter([2]).reduce(binop=operator.mul), 2),
    (lambda: Iter([1, 2, 3]).count(), 3),
    (lambda: Iter(iter("ab")).count(), 2),
    (lambda: Iter("aab").frequencies(), {"a": 2, "b": 1}),
    (lambda: Iter([1, 2, 3]).group_by(lambda x: x % 2), {1: [1, 3], 0: [2]}),
    (lambda: Iter([("a", 1)]).to_dict(), {"a": 1}),
    (lambda: Iter([]).first(), Nothing), (lambda: Iter([5]).first(), Some(5)),
    (lambda: Iter(range(4)).last(), Some(3)), (lambda: Iter([]).last(), Nothing),
    (lambda: Iter([1, 2]).nth(5), Nothing), (lambda: Iter(iter([1, 2])).nth(i=1), Some(2)),
])
def test_methods(call, expected):
    result = call()
    assert result == expected and type(result) is type(expected)


@pytest.mark.parametrize("method, call, expected", [
    ("unique", lambda: Iter([3, 1, 3, 2]).unique().collect(), [3, 1, 2]),
    ("unique", lambda: Iter(["a", "B", "b"]).unique(key=str.lower).collect(), ["a", "B"]),
    ("sliding_window", lambda: Iter([1, 2, 3]).sliding_window(2).collect(), [(1, 2), (2, 3)]),
    ("sliding_window", lambda: Iter([1, 2, 3]).sliding_window(0).collect(), []),
    ("partition_all", lambda: Iter(range(5)).partition_all(2).collect(), [(0, 1), (2, 3), (4,)]),
    ("pluck", lambda: Iter([{"a": 1}, {"a": 2}]).pluck("a").collect(), [1, 2]),
    ("interpose", lambda: Iter([]).interpose(0).collect(), []),
    ("interpose", lambda: Iter([1, 2]).interpose(el=0).collect(), [1, 0, 2]),
])
def test_dedicated_iterators(method, call, expected):
    assert call() == expected
    with pytest.raises(OverflowError) if method in ("sliding_window", "partition_all") else nullcontext():
        getattr(Iter(iter([1, 2])), method)(-1)


def test_wrapped_results_are_lazy_and_new():
    calls = []
    base = Iter([1, 2, 3])
    mapped = base.map(lambda x: calls.append(x) or x)
    assert type(mapped) is Iter and mapped is not base and calls == []
    assert list(mapped) == [1, 2, 3] and calls == [1, 2, 3]
    it = iter(range(10))
    Iter(it).take(3).drop(1).flat_map(lambda x: [x]).accumulate(operator.add)
    assert next(it) == 0


def test_iteration():
    it, once = Iter([1, 2]), Iter(iter([1, 2]))
    assert list(it) == [1, 2] == list(it) and iter(it) is not iter(it) and not hasattr(Iter, "__next__")
    assert list(once) == [1, 2] and list(once) == []
    with pytest.raises(TypeError, match="not iterable"):
        list(Iter(5))


@pytest.mark.parametrize("call, exc, message", [
    (lambda: Iter([1]).reduce(operator.add, 0, 1), TypeError, "reduce takes at most 2 arguments"),
    (lambda: Iter([]).reduce(operator.add), TypeError, None),
    (lambda: Iter([1]).take(-1), OverflowError, "while processing 'n'"),
    (lambda: Iter([1]).drop("x"), TypeError, "while processing 'n'"),
    (lambda: Iter([1]).nth(-1), OverflowError, "while processing 'i'"),
    (lambda: Iter(), TypeError, "Iter() missing 1 required positional argument: 'inner'"),
    (lambda: Iter([1]).map(), TypeError, "Iter.map() missing 1 required positional argument: 'f'"),
    (lambda: Iter([1]).collect(1), TypeError, None),
    (lambda: Iter(5).count(), TypeError, None),
    (lambda: Iter(5).map(str), TypeError, None),
    (lambda: Iter([1]).map(lambda x: 1 / 0).collect(), ZeroDivisionError, None),
])
def test_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    if message is not None:
        assert message in [str(info.value)] + getattr(info.value, "__notes__", [])


def test_builtins_looked_up_at_every_call():
    seen = []
    saved = builtins.map, builtins.filter
    builtins.map = lambda f, xs: seen.append("map") or iter([f(x) for x in xs])
    builtins.filter = lambda f, xs: seen.append("filter") or iter(xs)
    try:
        assert Iter([1, 2]).map(str).filter(None).collect() == ["1", "2"]
    finally:
        builtins.map, builtins.filter = saved
    assert seen == ["map", "filter"]


def test_reentrant_callbacks():
    chain = Iter(range(4)).map(lambda x: Iter(range(x)).map(lambda y: y * 2).collect())
    assert chain.collect() == [[], [0], [0, 2], [0, 2, 4]]
    holder = []
    acc = Iter([1, 2, 3]).accumulate(lambda x, y: next(iter(holder[0])))
    holder.append(acc)
    with pytest.raises(ValueError, match="already executing"):
        acc.collect()


def test_chain_keeps_pipeline_alive():
    src = (x for x in [1, 2, 3])
    ref = weakref.ref(src)
    last = Iter(src).map(str).filter(None).take(2)
    del src
    gc.collect()
    assert ref() is not None
    assert last.collect() == ["1", "2"]
    del last
    gc.collect()
    assert ref() is None


def test_cycle_is_collected():
    assert box_is_freed(Iter, set)


@pytest.mark.no_refleak
def test_long_chain_releases():
    it = Iter(range(3))
    for i in range(10 ** 5):
        it = it.map(abs) if i % 2 else it.take(10)
    del it


@pytest.mark.no_refleak
@pytest.mark.parametrize("use, expected", [
    (list, [1, 2]), (Iter.collect, [1, 2]), (Iter.first, Some(1)), (Iter.last, Some(2)), (Iter.count, 2),
    (lambda x: list(x.map(abs)), [1, 2]), (lambda x: x.partition_all(2).collect(), [(1, 2)]),
])
def test_deeply_wrapped_gives_the_innermost_items(use, expected):
    x = [1, 2]
    for _ in range(200_000):
        x = Iter(x)
    assert use(x) == expected


@pytest.mark.no_refleak
def test_signatures():
    assert str(inspect.signature(Iter)) == "(inner)"
    assert str(inspect.signature(Iter.reduce)) == "(self, /, binop, *rest)"
    assert Iter.__module__ == "quorin._quorin"
