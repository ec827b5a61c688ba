import inspect

import pytest

from quorin import _quorin as q


@pytest.mark.parametrize("wrap, name", [
    (q.compose, "a Compose"), (q.juxt, "a Juxt"), (q.complement, "a Complement"), (q.curry, "a curry"),
    (lambda g: q.excepts(ValueError, g), "an Excepts"),
])
def test_recursion_guard_names_the_class(wrap, name):
    f = len
    for _ in range(3 * 10 ** 5):
        f = wrap(f)
    with pytest.raises(RecursionError) as info:
        f("ab")
    assert str(info.value).endswith(f" while calling {name} object")
    del f


@pytest.mark.parametrize("cls, params, call, message", [
    (q.Some, "(value)", lambda: q.Some(1, 2), "Some() takes 1 positional arguments but 2 were given"),
    (q.Err, "(error)", lambda: q.Err(x=1), "Err() got an unexpected keyword argument 'x'"),
    (type(q.Option.of(None)), "()", lambda: type(q.Option.of(None))(1),
     "NothingType() takes 0 positional arguments but 1 was given"),
    (q.curry, "(func, *args, **kwargs)", lambda: q.curry(x=1),
     "curry.__new__() missing 1 required positional argument: 'func'"),
])
def test_constructor_from_its_text_signature(cls, params, call, message):
    assert cls.__text_signature__ == params and cls.__doc__ == ""
    assert str(inspect.signature(cls)) == params
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("obj, callable_", [
    (q.compose(len, str), True), (q.curry(len), True), (q.memoize(len), True),
    (q.Some(1), False), (q.Iter([]), False), (q.unique([]), False),
])
def test_only_callables_carry_a_vectorcall_slot(obj, callable_):
    assert ("__vectorcalloffset__" in vars(type(obj))) is callable_
    assert callable(obj) is callable_


class OwnSignature(inspect.Signature):
    """A signature whose binding rules differ from inspect's own."""

    def bind(self, *args, **kwargs):
        raise TypeError("never complete")


def two(a, b):
    return (a, b)


@pytest.mark.parametrize("sig, calls_at_once", [
    (inspect.signature(two), True),
    (OwnSignature(list(inspect.signature(two).parameters.values())), False),
])
def test_curry_counts_only_inspects_own_signatures(sig, calls_at_once):
    def target(*args):
        return args

    target.__signature__ = sig
    result = q.curry(target)(1, 2)
    if calls_at_once:
        assert result == (1, 2)
    else:
        assert type(result) is q.curry
