"""A Python subclass of Expression that defines an operator method of its own
gets it called wherever a class of plain Python methods would: the native
operators dispatch as the host dispatches between Python classes. The oracle
is a pair of plain Python classes with the operator methods of Expression
(and __rmul__ calling self.__mul__), run through the same operations."""
import contextlib
import operator

import pytest

from tarvo_encoder.encode.expressions import Expression

from fast_roads import fast_roads_off


class PlainBase:
    """Operator methods as a pure Python Expression defines them: no reflected
    method but __rmul__, which looks __mul__ up on the object."""

    def _expression(self, other):
        if not isinstance(other, PlainBase):
            raise TypeError("expression expected")
        return "base"

    def _bound(self, other):
        if not isinstance(other, int):
            raise TypeError("int expected")
        return "base"

    __add__ = __sub__ = __and__ = __or__ = __xor__ = _expression
    __le__ = __ge__ = __eq__ = _bound

    def __mul__(self, other):
        if not isinstance(other, (int, PlainBase)):
            raise TypeError("int or expression expected")
        return "base"

    def __rmul__(self, other):
        return self.__mul__(other)


OVERRIDES = ["__mul__", "__rmul__", "__add__", "__sub__", "__and__", "__or__", "__xor__", "__le__", "__ge__",
             "__eq__"]

# Each operation on m (an instance of the subclass), e (one of the base) and ints.
OPERATIONS = {
    "m * 3": lambda m, e: m * 3, "3 * m": lambda m, e: 3 * m, "m * e": lambda m, e: m * e,
    "e * m": lambda m, e: e * m, "m + e": lambda m, e: m + e, "e + m": lambda m, e: e + m,
    "3 + m": lambda m, e: 3 + m, "m - e": lambda m, e: m - e, "e - m": lambda m, e: e - m,
    "m & e": lambda m, e: m & e, "e & m": lambda m, e: e & m, "m | e": lambda m, e: m | e,
    "e | m": lambda m, e: e | m, "m ^ e": lambda m, e: m ^ e, "e ^ m": lambda m, e: e ^ m,
    "True & m": lambda m, e: True & m, "m <= 3": lambda m, e: m <= 3, "3 <= m": lambda m, e: 3 <= m,
    "m >= 3": lambda m, e: m >= 3, "3 >= m": lambda m, e: 3 >= m, "m == 3": lambda m, e: m == 3,
    "3 == m": lambda m, e: 3 == m, "e <= m": lambda m, e: operator.le(e, m),
}


def subclass(base, method):
    return type("Sub", (base,), {method: lambda self, other: ("subclass", method)})


def outcome(operation, m, e):
    """Which method answered: the subclass's own, the base's, or a TypeError."""
    try:
        result = operation(m, e)
    except TypeError:
        return "TypeError"
    return result if isinstance(result, tuple) else "base"


def fast_road(on):
    return contextlib.nullcontext() if on else fast_roads_off("native operators")


@pytest.mark.parametrize("fast", [True, False], ids=["fast road", "reference road"])
@pytest.mark.parametrize("method", OVERRIDES)
def test_a_subclass_method_answers_where_python_classes_would_call_it(fast, method, log_sink):
    plain_m, plain_e = subclass(PlainBase, method)(), PlainBase()
    native_m, native_e = subclass(Expression, method)("x(0)", True), Expression("x(1)", True)
    expected = {name: outcome(operation, plain_m, plain_e) for name, operation in OPERATIONS.items()}
    with fast_road(fast):
        written = {name: outcome(operation, native_m, native_e) for name, operation in OPERATIONS.items()}
    assert written == expected


def test_the_subclass_multiplication_gets_the_factor_of_a_reflected_product():
    class Scaled(Expression):
        def __mul__(self, other):
            return Expression(f"scaled({other})", True)

    assert str(3 * Scaled("x(0)", True)) == "scaled(3)"
    assert str(Scaled("x(0)", True) * 3) == "scaled(3)"
    # super() reaches the base's writing, with the factor first as always.
    class Doubled(Expression):
        def __mul__(self, other):
            return super().__mul__(2 * other)

    assert str(3 * Doubled("x(0).to_pb()", True)) == "6 * (x(0).to_pb())"
