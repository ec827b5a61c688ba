"""A short tour of quorin: each step prints a call and its result."""

import array
import operator

import quorin as q

try:
    import numpy as np
except ImportError:  # the tour runs without numpy too
    np = None


def show(expr, env=None):
    value = eval(expr, {"q": q, "operator": operator, "array": array, "np": np, **(env or {})})
    if hasattr(value, "__next__"):
        value = list(value)
        expr = f"list({expr})"
    print(f"  {expr:<58} -> {value!r}")


def section(title, *exprs):
    print(title)
    for e in exprs:
        show(e)
    print()


def main():
    print(f"quorin: {len(q.__all__)} names\n")
    section("Element access",
            "q.first('abc')", "q.second([1, 2, 3])", "q.nth(2, iter('abcd'))", "q.last(x for x in range(5))",
            "q.get([0, 2], 'abc')", "q.get('k', {}, 'default')", "q.peek(iter([7, 8]))[0]")
    section("Slicing",
            "q.take(3, q.iterate(lambda x: x * 2, 1))", "q.drop(2, 'abcd')", "q.take_nth(3, range(10))",
            "q.tail(2, iter(range(10)))")
    section("Lazy chaining",
            "q.cons(0, [1, 2])", "q.concatv('ab', [1])", "q.mapcat(lambda x: [x] * x, [1, 2, 3])",
            "q.remove(str.isdigit, 'a1b2')", "q.accumulate(operator.add, [1, 2, 3], 100)",
            "q.interleave([[1, 2, 3], 'ab'])")
    optional = []
    if hasattr(q, "frequencies"):
        optional += ["q.frequencies('abracadabra')", "q.frequencies(array.array('q', [5, 1, 5, 5]))",
                     "q.topk(3, [4, 9, 1, 7, 3])", "q.topk(2, ['aa', 'b', 'ccc'], key=len)"]
    if hasattr(q, "groupby"):
        optional += ["q.groupby(len, ['a', 'bb', 'c'])", "q.countby(lambda x: x % 3, range(10))",
                     "q.reduceby(lambda x: x % 2, operator.add, range(10), 0)"]
    if hasattr(q, "isdistinct"):
        optional += ["q.isdistinct(b'abc')", "q.count(iter('hello'))"]
    if optional:
        section("Counting and grouping", *optional)
    if hasattr(q, "merge"):
        section("Mappings",
                "q.merge({'a': 1, 'b': 2}, {'b': 3})", "q.merge_with(sum, {'a': 1}, {'a': 2, 'b': 3})",
                "q.assoc({'a': 1}, 'b', 2)", "q.dissoc({'a': 1, 'b': 2}, 'a')",
                "q.get_in(['a', 'b'], {'a': {'b': 1}})", "q.assoc_in({}, ['a', 'b'], 1)",
                "q.update_in({'n': 1}, ['n'], lambda n: n + 1)", "q.valmap(len, {'a': 'xyz'})",
                "q.keyfilter(str.isupper, {'A': 1, 'b': 2})", "q.itemmap(reversed, {'a': 1})")


if __name__ == "__main__":
    main()
