"""Compiled linear expressions: values checked by evaluating them at points."""
import pytest
from scipy.sparse import coo_array, csr_array

from compiled_value import value
from tarvo_encoder.linear_parser.compiled_linear_expressions import CompiledLinearExpression, CompiledSum


def var(column):
    return CompiledLinearExpression(coo_array(([1], ([column], [0]))))


POINTS = [(0, 0, 0, 0), (1, 2, 3, 4), (-1.5, 0.5, 2, -3)]
x, y, w = var(0), var(1), var(3)

CASES = [
    ("x + 3", lambda: x + 3, lambda a, b, c, d: a + 3),
    ("3 + x", lambda: 3 + x, lambda a, b, c, d: a + 3),
    ("x - y", lambda: x - y, lambda a, b, c, d: a - b),
    ("x - 2.5", lambda: x - 2.5, lambda a, b, c, d: a - 2.5),
    ("2 * x * 0.5 + w", lambda: 2 * x * 0.5 + w, lambda a, b, c, d: a + d),
    ("-(x + 1)", lambda: -(x + 1), lambda a, b, c, d: -a - 1),
    ("+(x - w)", lambda: +(x - w), lambda a, b, c, d: a - d),
    ("x * x", lambda: x * x, lambda a, b, c, d: a * a),
    ("(x + 1) * (y + 2)", lambda: (x + 1) * (y + 2), lambda a, b, c, d: (a + 1) * (b + 2)),
    ("3 * (x * w) - y", lambda: 3 * (x * w) - y, lambda a, b, c, d: 3 * a * d - b),
    ("y - x * w", lambda: y - x * w, lambda a, b, c, d: b - a * d),
    ("x * y + w * w + x", lambda: x * y + w * w + x, lambda a, b, c, d: a * b + d * d + a),
    ("x * x - w * y", lambda: x * x - w * y, lambda a, b, c, d: a * a - d * b),
    ("True + x", lambda: True + x, lambda a, b, c, d: a + 1),
    ("CompiledSum([x, 2, w, y * y])", lambda: CompiledSum([x, 2, w, y * y]), lambda a, b, c, d: a + 2 + d + b * b),
]


@pytest.mark.parametrize("build, truth", [case[1:] for case in CASES], ids=[case[0] for case in CASES])
def test_expression_values(build, truth):
    expression = build()
    for point in POINTS:
        assert value(expression, point) == pytest.approx(truth(*point))


def test_one_variable_and_product_layout():
    five = var(5)
    assert five._linear_coefficients.shape == (6, 1)
    assert list(five.linear_coefficients_indexes) == [5] and list(five.linear_coefficients) == [1]
    assert five.constant == 0 and five.quadratic_coefficients is None
    assert (var(5) + var(2))._linear_coefficients.shape == (6, 1)
    product = x * w
    assert product._quadratic_coefficients.shape == (4, 4)
    assert product._quadratic_coefficients.toarray()[0, 3] == product._quadratic_coefficients.toarray()[3, 0] == 0.5
    hessian = product.quadratic_coefficients
    assert hessian.format == "csc" and hessian.toarray()[0, 3] == hessian.toarray()[3, 0] == 1
    affine = (x + 1) * (y + 2)
    assert affine.constant == 2
    assert dict(zip(affine.linear_coefficients_indexes, affine.linear_coefficients)) == {0: 2, 1: 1}


def test_reads_and_operators_leave_operands_untouched():
    square = x * x + x
    first, second = square.quadratic_coefficients, square.quadratic_coefficients
    assert first is not second
    first.resize((5, 5))
    square.linear_coefficients_indexes[:] = 7
    assert square.quadratic_coefficients.shape == (1, 1)
    assert list(square.linear_coefficients_indexes) == [0]
    _ = square + var(4), square - var(4), 2 * square, -square
    assert square._linear_coefficients.shape == (1, 1) and square._quadratic_coefficients.shape == (1, 1)


def test_constructor_adopts_coo_and_converts_other_forms():
    column = coo_array(([1.0], ([2], [0])))
    assert CompiledLinearExpression(column)._linear_coefficients is column
    converted = CompiledLinearExpression(csr_array(column))._linear_coefficients
    assert type(converted) is coo_array and converted.toarray().tolist() == [[0.0], [0.0], [1.0]]


@pytest.mark.parametrize("expressions, constant", [([], 0), ([1, 2.5], 3.5)], ids=["empty", "numbers only"])
def test_sum_without_expressions_is_a_constant(expressions, constant):
    total = CompiledSum(expressions)
    assert total.constant == constant
    assert len(total.linear_coefficients_indexes) == 0 and total.quadratic_coefficients is None
    assert value(total + x, (2,)) == constant + 2


def test_sum_of_one_element_copies_it():
    element = var(3)
    total = CompiledSum([element])
    assert total._linear_coefficients is not element._linear_coefficients
    assert list(total.linear_coefficients_indexes) == [3]


ADD_TEXT = "Type 'LinearExpression' is expected for left side of expression"
MUL_TEXT = "Type 'LinearExpression' or 'int' is expected for expression"


@pytest.mark.parametrize("operation, text", [
    (lambda: x + "a", ADD_TEXT),
    (lambda: x - 1j, ADD_TEXT),
    (lambda: x * "a", MUL_TEXT),
    (lambda: (x * x) * y, MUL_TEXT),
    (lambda: y * (x * x), MUL_TEXT),
])
def test_refusals_are_logged_then_raised(sink, operation, text):
    with pytest.raises(TypeError) as error:
        operation()
    assert str(error.value) == text
    assert sink.records == [("error", text)]


def test_number_minus_expression_is_the_hosts_error(sink):
    with pytest.raises(TypeError, match="unsupported operand"):
        3 - x
    assert sink.records == []
