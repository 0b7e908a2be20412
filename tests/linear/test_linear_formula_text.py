"""Formula text written by linear expressions, borders and sum combinators."""
import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

from compiled_value import value
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.linear_parser import LinearModel, Sum, SumIt, VariableType
from tarvo_encoder.linear_parser.linear_expression import LinearExpression, LinearVariableProxy

model = LinearModel()
x = model.get_variables("x", VariableType.REAL, i=4, j=4)
y = model.get_variables("y", VariableType.REAL, i=4)
i, j = model.get_indexes(["i", "j"])

TEXTS = [
    (lambda: x[i, j + 1], "x(i,j + 1)"),
    (lambda: x[i] - (y[i] + 1), "x(i) - (y(i) + 1)"),
    (lambda: x[i] + (y[i] - 1), "x(i) + y(i) - 1"),
    (lambda: 5 - x[i], "-(x(i)) + 5"),
    (lambda: 5 + x[i], "x(i) + 5"),
    (lambda: 2 * x[i], "2 * (x(i))"),
    (lambda: x[i] * 2, "2 * (x(i))"),
    (lambda: x[i] * x[j], "(x(i)) * (x(j))"),
    (lambda: -x[i], "-(x(i))"),
    (lambda: +x[i], "+(x(i))"),
    (lambda: x[i] * 0.5, "0.5 * (x(i))"),
    (lambda: x[i] + -2, "x(i) + -2"),
    (lambda: x[i] - 1e-05, "x(i) - 1e-05"),
    (lambda: x[i] + True, "x(i) + True"),
    (lambda: sum([x[0], x[1]]), "x(0) + 0 + x(1)"),
    (lambda: Sum(x[i, j], i=range(2), j=[0, 2]), "CompiledSum([x(i,j) for i in range(0, 2) for j in [0, 2]])"),
    (lambda: Sum(x[i, j], j=(0, 2), i=range(2)), "CompiledSum([x(i,j) for j in (0, 2) for i in range(0, 2)])"),
    (lambda: Sum(x[i], i=range(1, 7, 2)), "CompiledSum([x(i) for i in range(1, 7, 2)])"),
    (lambda: Sum(x[i]), "CompiledSum([x(i) ])"),
    (lambda: SumIt([x[0], x[1]]), "CompiledSum([x(0), x(1)])"),
    (lambda: SumIt((x[0], x[1])), "CompiledSum([x(0), x(1)])"),
    (lambda: 3 * Sum(x[i] - y[i], i=range(2)), "3 * (CompiledSum([x(i) - (y(i)) for i in range(0, 2)]))"),
]


@pytest.mark.parametrize("build, text", TEXTS, ids=[text for _, text in TEXTS])
def test_formula_text(build, text):
    expression = build()
    assert str(expression) == text
    assert expression.lo is None and expression.hi is None


def test_operator_results_are_plain_expressions():
    assert type(x[i] + 0) is LinearExpression and type(-Sum(x[i], i=range(2))) is LinearExpression
    assert type(x[i]) is LinearVariableProxy and repr(x[i]) == "x(i)"
    assert repr(x[i] + 0).startswith("<")


@pytest.mark.parametrize("build, lo, hi", [
    (lambda: x[i] <= 5, None, 5),
    (lambda: x[i] >= 2, 2, None),
    (lambda: x[i] == 3, 3, 3),
    (lambda: 5 <= x[i], 5, None),
])
def test_comparisons_copy_with_borders(build, lo, hi):
    compared = build()
    assert (compared.lo, compared.hi, str(compared)) == (lo, hi, "x(i)")


def test_compared_expression_stays_free():
    free = x[i] + 1
    bordered = free <= 5
    assert free.lo is None and free.hi is None and bordered is not free
    assert str(free + 1) == "x(i) + 1 + 1"
    assert str(-bordered) == "-(x(i) + 1)" and str(5 - bordered) == "-(x(i) + 1) + 5"
    assert (-bordered).hi is None
    with pytest.raises(TypeError):
        hash(x[i])
    with pytest.raises(TypeError):
        x[i] < 3


FROZEN = "It is forbidden to change the formula after setting the boundaries"
OPERAND = "Type 'LinearExpression' is expected for left side of expression"
NOT_FINITE = "The coefficients and constants of an expression must be finite numbers, not {}"


@pytest.mark.parametrize("operation, error, text", [
    (lambda c: c + 1, FormulaError, FROZEN),
    (lambda c: c * 2, FormulaError, FROZEN),
    (lambda c: 3 + c, FormulaError, FROZEN),
    (lambda c: c <= 6, FormulaError, FROZEN),
    (lambda c: c == 5, FormulaError, FROZEN),
    (lambda c: x[i] + c, FormulaError, FROZEN),
    (lambda c: Sum(c, i=range(2)), FormulaError, FROZEN),
    (lambda c: SumIt([c, 3]), FormulaError, FROZEN),
    (lambda c: x[i] + "a", TypeError, OPERAND),
    (lambda c: x[i] * [1], TypeError, OPERAND),
    (lambda c: "a" - x[i], TypeError, OPERAND),
    (lambda c: x[i] + x, TypeError, OPERAND),
    (lambda c: x[i] * float("nan") <= 1, ValueError, NOT_FINITE.format("nan")),
    (lambda c: x[i] + float("inf"), ValueError, NOT_FINITE.format("inf")),
    (lambda c: float("-inf") - x[i], ValueError, NOT_FINITE.format("-inf")),
    (lambda c: x[i] * np.float64("nan"), ValueError, NOT_FINITE.format("nan")),
    (lambda c: x[i] + 10 ** 400, ValueError, NOT_FINITE.format("an integer of 1329 bits")),
    (lambda c: Sum(3, i=range(2)), TypeError, "Type 'LinearExpression' is expected for variable 'expression'"),
    (lambda c: SumIt(e for e in [x[0]]), TypeError, "Use an iterable sequence as SumIt input argument"),
    (lambda c: SumIt({3}), TypeError, "Use an iterable sequence as SumIt input argument"),
    (lambda c: SumIt([x[0], 3]), TypeError,
     "Variable 'expressions' must contain only objects of type 'LinearExpression'"),
])
def test_refusals_are_logged_then_raised(sink, operation, error, text):
    bordered = x[i] <= 5
    with pytest.raises(error) as raised:
        operation(bordered)
    assert str(raised.value) == text
    assert sink.records == [("error", text)]


def test_empty_sum_it_warns(sink):
    assert str(SumIt([])) == "CompiledSum([])"
    assert sink.records == [("warning", "The input sequence has zero length")]


VALUES_TEXT = "Index values must be a range or a sequence of integers"


@pytest.mark.parametrize("indexes, error, text", [
    ({"i": "__import__('os').getpid()"}, TypeError, VALUES_TEXT),
    ({"i": [0, "1"]}, TypeError, VALUES_TEXT),
    ({"i": [0.5]}, TypeError, VALUES_TEXT),
    ({"i": iter([0, 1])}, TypeError, VALUES_TEXT),
    ({"i in range(1)] + [0 for i": [0]}, ValueError, "Index name 'i in range(1)] + [0 for i' is not an identifier"),
    ({"in": [0]}, ValueError, "Index name 'in' is not an identifier"),
    ({"__debug__": [0]}, ValueError, "Index name '__debug__' is not an identifier"),
    # The loop would bind i, the name's NFKC form, and leave the fullwidth name unbound.
    ({"\uff49": [0]}, ValueError,
     "Index name '\uff49' reads as 'i' in evaluated text (NFKC form): use that name"),
])
def test_sum_refuses_values_that_are_not_integer_ranges(sink, indexes, error, text):
    with pytest.raises(error) as raised:
        Sum(x[i], **indexes)
    assert str(raised.value) == text
    assert sink.records == [("error", text)]


def test_sum_writes_numpy_integers_as_plain_numbers():
    import numpy as np

    assert str(Sum(y[i], i=np.arange(2))) == "CompiledSum([y(i) for i in [0, 1]])"
    assert str(Sum(y[i], i=(np.int64(3),))) == "CompiledSum([y(i) for i in (3,)])"


# Random expressions over y[0..3] (solver columns 16 to 19) and numbers: the written text, evaluated
# as the model evaluates it, must have the value that the same arithmetic on plain numbers gives.
def _leaf(draw):
    kind = draw(st.sampled_from(["element", "number", "sum", "sum_it"]))
    if kind == "element":
        k = draw(st.integers(0, 3))
        return y[k], lambda p: p[k], 1
    if kind == "number":
        n = draw(st.sampled_from([-2, 0, 1, 3, 0.5, -1.5, True]))
        return n, lambda p: n, 0
    if kind == "sum":
        values = draw(st.lists(st.integers(0, 3), max_size=3))
        return Sum(2 * y[i] - 1, i=values), lambda p: sum(2 * p[v] - 1 for v in values), 1
    ks = draw(st.lists(st.integers(0, 3), max_size=3))
    return SumIt([y[k] for k in ks]), lambda p: sum(p[k] for k in ks), 1


@st.composite
def expressions(draw, depth=3):
    if depth == 0 or draw(st.booleans()):
        return _leaf(draw)
    op = draw(st.sampled_from(["+", "-", "*", "neg", "pos"]))
    e, f, d = draw(expressions(depth=depth - 1))
    if op == "neg":
        return -e, lambda p: -f(p), d
    if op == "pos":
        return +e, lambda p: +f(p), d
    g, h, k = draw(expressions(depth=depth - 1))
    if op == "*" and d + k > 2:
        op = "+"
    combined = {"+": lambda a, b: a + b, "-": lambda a, b: a - b, "*": lambda a, b: a * b}[op]
    return combined(e, g), lambda p: combined(f(p), h(p)), d + k if op == "*" else max(d, k)


@settings(max_examples=100, deadline=None)
@given(expressions(), st.lists(st.floats(-3, 3), min_size=4, max_size=4))
def test_text_evaluates_to_the_arithmetic_it_was_written_from(built, values):
    expression, truth, degree = built
    assume(degree > 0)
    point = [0.0] * 16 + values
    compiled = eval(str(expression), {**model._formulas_dir, **model._variables})
    assert value(compiled, point) == pytest.approx(truth(values), abs=1e-9)


@pytest.mark.parametrize("use", [
    lambda e: 1 <= e <= 5,
    lambda e: e and e,
    lambda e: not e,
    lambda e: bool(e),
    lambda e: e != 3,
], ids=["chained comparison", "and", "not", "bool", "not equal"])
def test_expressions_refuse_a_truth_value(use, sink):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, i=2)
    message = ("An expression has no truth value: pass both borders of a chained comparison "
               "to add_constraint as lo and hi")
    expression = x[0] + x[1]
    sink.records.clear()
    with pytest.raises(TypeError) as raised:
        use(expression)
    assert str(raised.value) == message and sink.records == [("error", message)]
