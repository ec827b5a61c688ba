import itertools

import pytest

from quorin import _quorin as q


class Boom(Exception):
    pass


class ListSub(list):
    pass


@pytest.mark.parametrize("make", [list, tuple, iter, ListSub])
@pytest.mark.parametrize("call, expected", [
    (lambda s: q.partition(2, s), [(1, 2), (3, 4)]),
    (lambda s: q.partition(2, s, None), [(1, 2), (3, 4), (5, None)]),
    (lambda s: q.partition(3, s, 0), [(1, 2, 3), (4, 5, 0)]),
    (lambda s: q.partition(5, s), [(1, 2, 3, 4, 5)]),
    (lambda s: q.partition_all(2, s), [(1, 2), (3, 4), (5,)]),
    (lambda s: q.partition_all(5, s), [(1, 2, 3, 4, 5)]),
    (lambda s: q.partition_all(10**6, s), [(1, 2, 3, 4, 5)]),
])
def test_chunks(make, call, expected):
    assert list(call(make([1, 2, 3, 4, 5]))) == expected


@pytest.mark.parametrize("make", [list, iter])
def test_empty_input_gets_no_padding(make):
    assert list(q.partition(3, make([]), 0)) == []
    assert list(q.partition_all(3, make([]))) == []


@pytest.mark.parametrize("call", [
    lambda: q.partition(0, 5), lambda: q.partition(-3, 5, 0), lambda: q.partition_all(-1, 5),
    lambda: q.partition_all(0, 5),
])
def test_non_positive_count_touches_nothing(call):
    it = call()
    assert type(it).__name__ == "NativeIter" and list(it) == []


@pytest.mark.parametrize("call, exc, message", [
    (lambda: q.partition(2, [1], 0, 0), TypeError, "partition takes at most 3 arguments"),
    (lambda: q.partition(2.5, [1]), TypeError, "'float' object cannot be interpreted as an integer"),
    (lambda: q.partition_all("2", [1]), TypeError, "'str' object cannot be interpreted as an integer"),
    (lambda: q.partition_all(2**64, [1]), OverflowError, None),
    (lambda: q.partition(2, 5), TypeError, "'int' object is not iterable"),
    (lambda: q.partition_all(1, 5), TypeError, "'int' object is not iterable"),
])
def test_call_time_errors(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    if message:
        assert str(info.value) == message
    if exc is not TypeError or "interpreted" in (message or ""):
        assert info.value.__notes__ == ["while processing 'n'"]


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
        raise Boom

    it = q.partition_all(2, itertools.chain(gen(), [2, 3, 4]))
    with pytest.raises(Boom):
        next(it)
    assert list(it) == [(2, 3), (4,)]


def test_reentry_from_source():
    holder = {}

    def gen():
        yield 1
        next(holder["it"])

    holder["it"] = it = q.partition_all(2, gen())
    with pytest.raises(ValueError, match="^iterator already executing$"):
        next(it)
    holder.clear()


@pytest.mark.parametrize("make", [
    lambda o: q.partition(2, iter(o.f, None)),
    lambda o: q.partition_all(2, iter(o.f, None)),
    lambda o: q.partition_all(2, [o]),
    lambda o: q.partition(2, [o], o),
])
def test_cycle_through_callback_is_collected(make, cycle_collected):
    assert cycle_collected(make)


@pytest.mark.no_refleak
@pytest.mark.parametrize("wrap", [lambda it: q.partition(1, it), lambda it: q.partition_all(1, it)])
def test_deep_chain_is_released_without_overflow(wrap, deep_chain):
    deep_chain(wrap)
