import itertools
import operator

import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


def test_cons():
    result = q.cons(1, [2, 3])
    assert type(result) is itertools.chain
    assert list(result) == [1, 2, 3]
    lazy = q.cons(1, 5)
    assert next(lazy) == 1
    with pytest.raises(TypeError, match="not iterable"):
        next(lazy)


@pytest.mark.parametrize("call, expected", [
    (lambda: q.concatv(), []), (lambda: q.concat([]), []), (lambda: q.concat([[1], [], [2, 3]]), [1, 2, 3]),
    (lambda: q.concatv([1], "ab", ()), [1, "a", "b"]), (lambda: q.concat(iter(["ab", "c"])), ["a", "b", "c"]),
    (lambda: q.mapcat(lambda x: [x, x], [1, 2]), [1, 1, 2, 2]),
])
def test_chain_delegations(call, expected):
    result = call()
    assert type(result) is itertools.chain
    assert list(result) == expected


def test_concat_touches_nothing_at_call():
    lazy = q.concat([[1], 5])
    assert next(lazy) == 1
    with pytest.raises(TypeError):
        next(lazy)
    q.concatv(5, 6)


def test_mapcat_is_lazy():
    calls = []

    def f(x):
        calls.append(x)
        return [x]

    result = q.mapcat(f, [1, 2, 3])
    assert calls == []
    assert next(result) == 1 and calls == [1]
    assert list(result) == [2, 3] and calls == [1, 2, 3]


def test_remove():
    assert list(q.remove(bool, [0, 1, "", "a", None])) == [0, "", None]
    with pytest.raises(TypeError, match="not iterable"):
        q.remove(bool, 5)


def test_remove_predicate_error_drops_item_and_continues():
    def pred(x):
        if x == 2:
            raise Boom
        return x > 3

    it = q.remove(pred, [1, 2, 3, 4])
    assert next(it) == 1
    with pytest.raises(Boom):
        next(it)
    assert list(it) == [3]


def test_remove_truth_test_error():
    class NoBool:
        def __bool__(self):
            raise Boom

    it = q.remove(lambda x: NoBool() if x == 1 else False, [1, 2])
    with pytest.raises(Boom):
        next(it)
    assert list(it) == [2]


class ZeroTrue(int):
    # An int subclass says its own truth: it must be asked, not read as a number.
    def __bool__(self):
        return self == 0


@pytest.mark.parametrize("verdict", [0, 1, -1, 2**30, 2**64, -(2**64), 0.0, "", "a", None, True, False,
                                     ZeroTrue(0), ZeroTrue(5)], ids=repr)
def test_truth_of_a_verdict_is_bool_of_it(verdict):
    # The same truth wherever a verdict is read: a predicate's, a
    # complement's, a filter on values and an option's filter.
    kept = bool(verdict)
    assert list(q.remove(lambda x: verdict, [7])) == ([] if kept else [7])
    assert list(q.remove(bool, [verdict])) == ([] if kept else [verdict])
    assert q.complement(lambda x: verdict)(7) is not kept
    assert q.valfilter(lambda v: verdict, {"k": 7}) == ({"k": 7} if kept else {})
    assert q.Some(7).filter(lambda v: verdict) == (q.Some(7) if kept else q.Nothing)


def test_iterate():
    calls = []

    def f(x):
        calls.append(x)
        if x == 4:
            raise Boom
        return x * 2

    it = q.iterate(f, 1)
    assert next(it) == 1 and calls == []
    assert next(it) == 2
    assert next(it) == 4
    with pytest.raises(Boom):
        next(it)
    assert list(it) == []
    assert list(it) == []


def test_iterate_is_infinite():
    assert list(itertools.islice(q.iterate(lambda x: x + 1, 0), 1000))[-1] == 999


@pytest.mark.parametrize("args, expected", [
    ((operator.add, []), []), ((operator.add, [], 0), [0]), ((operator.add, [1, 2, 3]), [1, 3, 6]),
    ((operator.add, [1, 2], 10), [10, 11, 13]), ((operator.mul, range(2, 5)), [2, 6, 24]),
    ((lambda a, b: a + [b], "ab", []), [[], ["a"], ["a", "b"]]),
])
def test_accumulate(args, expected):
    assert list(q.accumulate(*args)) == expected


def test_accumulate_none_initial_is_a_value():
    it = q.accumulate(operator.add, [1, 2], None)
    assert next(it) is None
    with pytest.raises(TypeError, match="unsupported operand"):
        next(it)


def test_accumulate_error_keeps_accumulator():
    def f(acc, x):
        if x == 2:
            raise Boom
        return acc + x

    it = q.accumulate(f, [1, 2, 3])
    assert next(it) == 1
    with pytest.raises(Boom):
        next(it)
    assert list(it) == [4]


def test_accumulate_too_many():
    with pytest.raises(TypeError) as info:
        q.accumulate(operator.add, [1], 0, 1)
    assert str(info.value) == "accumulate takes at most 3 arguments"
    with pytest.raises(TypeError, match="not iterable"):
        q.accumulate(operator.add, 5)


@pytest.mark.parametrize("seqs, expected", [
    ([], []), ([[1, 2], [], [3]], [1, 3, 2]), ([[1, 2, 3], "ab"], [1, "a", 2, "b", 3]),
    (lambda: [iter([1]), iter([2, 3]), iter([4, 5, 6])], [1, 2, 4, 3, 5, 6]), ([[]], []),
    (lambda: (x for x in ["ab"]), ["a", "b"]),
])
def test_interleave(seqs, expected):
    assert list(q.interleave(seqs() if callable(seqs) else seqs)) == expected


def _round_robin(seqs):
    gap = object()
    return [x for row in itertools.zip_longest(*seqs, fillvalue=gap) for x in row if x is not gap]


@pytest.mark.parametrize("lengths", [
    [3, 0, 1, 2, 0, 5], [1] * 50, [0] * 10 + [2], [5, 4, 3, 2, 1, 0], [1, 3] * 20 + [7],
])
def test_interleave_order_as_a_round_robin_dropping_ended_inputs(lengths):
    seqs = [[(i, j) for j in range(n)] for i, n in enumerate(lengths)]
    assert list(q.interleave(seqs)) == _round_robin(seqs)


def test_interleave_call_time_errors():
    with pytest.raises(TypeError):
        q.interleave([[1], 5])
    with pytest.raises(TypeError):
        q.interleave(5)

    def gen():
        yield [1]
        raise Boom

    with pytest.raises(Boom):
        q.interleave(gen())


def test_interleave_error_asks_same_iterator_again():
    def flaky():
        yield 1
        raise Boom

    first = flaky()
    it = q.interleave([first, iter([10, 20])])
    assert next(it) == 1
    assert next(it) == 10
    with pytest.raises(Boom):
        next(it)
    # The generator is finished now; the rotation continues without it.
    assert list(it) == [20]
    assert list(it) == []


def test_interleave_iterates_all_inputs_at_call():
    consumed = []

    def outer():
        for s in ([1], [2]):
            consumed.append(s)
            yield s

    it = q.interleave(outer())
    assert consumed == [[1], [2]]
    assert list(it) == [1, 2]
