import gc
import itertools

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("make", [
    list, tuple, lambda xs: (x for x in xs), type("L", (list,), {}), lambda xs: iter(list(xs)),
    lambda xs: iter(tuple(xs)), lambda xs: iter(dict.fromkeys(xs)), lambda xs: iter(range(xs[0], xs[-1] + 1) if xs else ()),
])
@pytest.mark.parametrize("call, data, expected", [
    (lambda s: q.partition(2, s), range(1, 6), [(1, 2), (3, 4)]),
    (lambda s: q.partition(2, s, None), range(1, 6), [(1, 2), (3, 4), (5, None)]),
    (lambda s: q.partition(3, s, 0), range(1, 6), [(1, 2, 3), (4, 5, 0)]),
    (lambda s: q.partition(2, s), range(1, 5), [(1, 2), (3, 4)]),
    (lambda s: q.partition_all(2, s), range(1, 6), [(1, 2), (3, 4), (5,)]),
    (lambda s: q.partition_all(10**6, s), range(1, 6), [(1, 2, 3, 4, 5)]),
    (lambda s: q.partition(3, s, 0), [], []),
    (lambda s: q.partition_all(3, s), [], []),
    (lambda s: q.partition_all(3, s), range(1, 7), [(1, 2, 3), (4, 5, 6)]),
    (lambda s: q.partition(4096, s, 0), range(1, 4), [(1, 2, 3) + (0,) * 4093]),
    (lambda s: q.partition(4097, s, 0), range(1, 4), [(1, 2, 3) + (0,) * 4094]),
    (lambda s: q.partition(4097, s), range(1, 4), []),
])
def test_chunks(make, call, data, expected):
    assert list(call(make(list(data)))) == expected


@pytest.mark.parametrize("call, expected", [
    (lambda s: q.partition(3, s), []),
    (lambda s: q.partition(3, s, None), ["first", 2, None]),
    (lambda s: q.partition_all(3, s), ["first", 2]),
])
def test_unfinished_chunk_is_out_of_the_collectors_sight(call, expected):
    first = ["first"]
    holders = []

    def items():
        yield first
        holders.append([r for r in gc.get_referrers(first) if type(r) is tuple])
        yield 2

    assert [[x[0] if x is first else x for x in chunk] for chunk in call(items())] == ([expected] if expected else [])
    assert holders == [[]]


@pytest.mark.parametrize("call, exc, message, noted", [
    (lambda: q.partition(2, [1], 0, 0), TypeError, "partition takes at most 3 arguments", False),
    (lambda: q.partition(2.5, [1]), TypeError, "'float' object cannot be interpreted as an integer", True),
    (lambda: q.partition_all(2**64, [1]), OverflowError, None, True),
    (lambda: q.partition(2, 5), TypeError, "'int' object is not iterable", False),
    (lambda: q.partition_all(1, 5), TypeError, "'int' object is not iterable", False),
])
def test_call_time_errors(call, exc, message, noted):
    with pytest.raises(exc) as info:
        call()
    assert message is None or str(info.value) == message
    assert getattr(info.value, "__notes__", None) == (["while processing 'n'"] if noted else None)


@pytest.mark.parametrize("call", [
    lambda: q.partition(0, 5), lambda: q.partition(-3, 5, 0), lambda: q.partition_all(-1, 5),
])
def test_non_positive_count_touches_nothing(call):
    assert list(call()) == []


@pytest.mark.parametrize("pad", [(), (0,)])
def test_list_read_as_it_changes_until_its_end_is_seen(pad):
    xs = [1, 2, 3]
    it = q.partition(2, xs, *pad)
    assert next(it) == (1, 2)
    xs += [4, 5, 6]
    assert next(it) == (3, 4)
    del xs[5:]
    assert list(it) == ([(5, 0)] if pad else [])
    xs += [7, 8]
    assert list(it) == []


def test_source_error_releases_chunk_and_stays_usable():
    def gen():
        yield 1
        raise ZeroDivisionError

    it = q.partition_all(2, itertools.chain(gen(), [2, 3, 4]))
    with pytest.raises(ZeroDivisionError):
        next(it)
    assert list(it) == [(2, 3), (4,)]
    holder = {}
    holder["it"] = it = q.partition(2, iter(lambda: next(holder["it"]), None))
    with pytest.raises(ValueError, match="^iterator already executing$"):
        next(it)
    holder.clear()


@pytest.mark.parametrize("make", [
    lambda o: q.partition(2, iter(o.f, None)), lambda o: q.partition_all(2, iter(o.f, None)),
    lambda o: q.partition_all(2, [o]), lambda o: q.partition(2, [o], o),
])
def test_cycle_through_callback_is_collected(make, cycle_collected):
    assert cycle_collected(make)


@pytest.mark.no_refleak
@pytest.mark.parametrize("wrap", [lambda it: q.partition(1, it), lambda it: q.partition_all(1, it)])
def test_deep_chain_is_released_without_overflow(wrap, deep_chain):
    deep_chain(wrap)
