"""Keyword names are matched and reported as the interpreter does: by
string equality, verbatim in the message, whatever characters they hold."""

import pytest

from quorin import _quorin as q


class Name(str):
    pass


ODD_NAMES = ["\udcff", "a\x00b", "\x00", "é\u20ac\U0001f600", Name("zz")]

# (call taking keywords, the label of its messages)
CALLABLES = {
    "function": (lambda **kw: q.take(1, [1], **kw), "take()"),
    "method": (lambda **kw: q.Iter([1]).take(1, **kw), "Iter.take()"),
    "constructor": (lambda **kw: q.Some(1, **kw), "Some()"),
    "one-parameter": (lambda **kw: q.identity(0, **kw), "identity()"),
}


@pytest.mark.parametrize("name", ODD_NAMES, ids=ascii)
@pytest.mark.parametrize("call, label", CALLABLES.values(), ids=CALLABLES)
def test_unexpected_keyword_is_named_verbatim(call, label, name):
    with pytest.raises(TypeError) as info:
        call(**{name: 1})
    assert str(info.value) == f"{label} got an unexpected keyword argument '{name}'"


@pytest.mark.parametrize("name", ["".join(["", "n"]), Name("n"), "n\x00"[:1], bytes([110]).decode()], ids=repr)
def test_keyword_names_bind_by_equality(name):
    assert list(q.take(seq=[1, 2, 3], **{name: 2})) == [1, 2]
    with pytest.raises(TypeError, match=r"^take\(\) got multiple values for argument 'n'$"):
        q.take(2, [1], **{name: 2})


@pytest.mark.parametrize("name", ODD_NAMES, ids=ascii)
def test_curry_stores_any_keyword(name):
    def f(*args, **kwargs):
        return args, kwargs

    c = q.curry(f, **{name: 1})
    assert c(2) == ((2,), {name: 1})
    assert c(**{name: 3}) == ((), {name: 3})
