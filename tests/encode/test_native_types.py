"""The native base classes of expressions and variables as Python objects:
what their fields hold takes part in garbage collection, and the private
chain and registration functions refuse what would corrupt them."""
import gc
import weakref

import pytest

from tarvo_encoder import _native
from tarvo_encoder.encode.expressions import (_boolean_step, _comparison, _multiply, _negation, _not_equal,
                                              _sum_step, Expression, VariableProxy)
from tarvo_encoder.encode.variables import Variable

x = Variable("x", {"a": 4}, 1)


def made_by_the_constructor():
    return Expression("x(0).to_pb()", True)


def made_by_an_operator():
    return x[0] + x[1]


def made_by_a_subscript():
    return x[2]


def a_variable():
    return Variable("v", {"a": 2}, 1)


@pytest.mark.parametrize("make", [made_by_the_constructor, made_by_an_operator, made_by_a_subscript])
@pytest.mark.parametrize("field", ["_expr", "_soft"])
@pytest.mark.parametrize("holder", [lambda obj: obj, lambda obj: [obj], lambda obj: {"back": obj}],
                         ids=["itself", "a list", "a dict"])
def test_a_cycle_through_an_expression_field_is_collected(make, field, holder):
    expression = make()
    setattr(expression, field, holder(expression))
    alive = weakref.ref(expression)
    del expression
    gc.collect()
    assert alive() is None


@pytest.mark.parametrize("holder", [lambda obj: obj, lambda obj: (obj,)], ids=["itself", "a tuple"])
def test_a_cycle_through_a_variable_name_is_collected(holder):
    variable = a_variable()
    variable.name = holder(variable)
    alive = weakref.ref(variable)
    del variable
    gc.collect()
    assert alive() is None


def test_fields_reached_from_outside_survive_a_collection():
    kept_text, kept_flag = ["kept"], ["flag"]
    expression = made_by_an_operator()
    expression._expr, expression._soft = kept_text, kept_flag
    gc.collect()
    assert expression._expr is kept_text and expression._soft is kept_flag
    assert gc.get_referents(expression).count(kept_text) == 1


@pytest.mark.parametrize("previous, operator, size, error, message", [
    (None, "+", 2**62 + 1, ValueError, "size must be a count from 0 to 4611686018427387904, got 4611686018427387905"),
    (None, "&", -1, ValueError, "size must be a count from 0 to 4611686018427387904, got -1"),
    ("&", "+", 1, ValueError, "previous is a chain of &, not of +"),
    ("+", "|", 1, ValueError, "previous is a chain of +, not of |"),
    ("not a chain", "+", 1, TypeError, "previous must be a Chain or None"),
])
def test_chain_refuses_a_size_or_a_previous_chain_it_cannot_extend(previous, operator, size, error, message):
    before = previous if previous in (None, "not a chain") else _native.Chain(None, previous, "a", False, 1)
    with pytest.raises(error) as refused:
        _native.Chain(before, operator, "b", False, size)
    assert str(refused.value) == message


@pytest.mark.parametrize("operator, read", [("+", lambda chain: chain.terms()), ("&", lambda chain: chain.nesting())])
def test_chain_sizes_at_the_bound_neither_overflow_nor_lose_the_text(operator, read):
    chain = None
    for operand in "abc":
        chain = _native.Chain(chain, operator, operand, False, 2**62)
    assert read(chain) > 0  # written flat, past every limit
    assert chain.text() == ("Sum(*[a, b, c])" if operator == "+" else "bx.and_s([a, b, c])")


ROADS = dict(boolean_step=_boolean_step, sum_step=_sum_step, comparison=_comparison, not_equal=_not_equal,
             multiply=_multiply, negation=_negation)


@pytest.mark.parametrize("expression, element, known, roads, message", [
    (int, VariableProxy, (Expression,), {}, "expression must be a subclass of tarvo_encoder._native.ExpressionBase,"
                                            " got <class 'int'>"),
    ("Expression", VariableProxy, (Expression,), {}, "expression must be a subclass of"
                                                     " tarvo_encoder._native.ExpressionBase, got 'Expression'"),
    (VariableProxy, Expression, (Expression,), {}, "element must be a subclass of VariableProxy,"
                                                   " got <class 'tarvo_encoder.encode.expressions.Expression'>"),
    (Expression, dict, (Expression,), {}, "element must be a subclass of Expression, got <class 'dict'>"),
    (Expression, VariableProxy, (Expression, object), {}, "a known class must be a subclass of"
                                                          " tarvo_encoder._native.ExpressionBase, got <class 'object'>"),
    (VariableProxy, VariableProxy, (VariableProxy,), {"negation": 3}, "negation must be callable, got 3"),
])
def test_registering_roads_refuses_what_is_not_an_expression_class_or_a_function(expression, element, known, roads,
                                                                                message):
    with pytest.raises(TypeError) as refused:
        _native.register_expression_roads(expression, element, known, **(ROADS | roads))
    assert str(refused.value) == message
    # Nothing of a refused registration is kept.
    total = x[0] + x[1]
    assert type(total) is Expression and str(total) == "x(0).to_pb() + x(1).to_pb()"


def test_registering_a_subscript_road_refuses_what_is_not_callable():
    with pytest.raises(TypeError, match="^subscript must be callable, got 3$"):
        _native.register_subscript_road(3)
    assert str(x[3]) == "x(3)"
