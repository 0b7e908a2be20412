"""Single rows: every operator checked by evaluating c + a·x + xᵀQx at points."""
import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr

WIDTH = 5
POINTS = np.random.default_rng(7).uniform(-3, 3, size=(6, WIDTH))


def row(dense):
    return csr_array(np.array(dense, dtype=np.float64))


def value(expr, x):
    total = expr.constant + expr.linear_coefficients.toarray() @ x
    if expr.quadratic_coefficients is not None:
        total += x @ expr.quadratic_coefficients.toarray() @ x
    return total


E1 = LinearExpression(linear_coefficients=row([1, 0, 2, 0, 0]), constant=1.5)
E2 = LinearExpression(linear_coefficients=row([0, -1, 1, 0, 3]), constant=-2)
SQUARE = E1 * E1  # carries a quadratic part
ROW_SET = LinearExpressionsArr(linear_coefficients=csr_array(np.eye(2, WIDTH)))


@pytest.mark.parametrize(
    "build, expected",
    [
        (lambda: E1 + 3, lambda x: value(E1, x) + 3),
        (lambda: 3 + E1, lambda x: value(E1, x) + 3),
        (lambda: True + E1, lambda x: value(E1, x) + 1),
        (lambda: np.float32(0.5) + E1, lambda x: value(E1, x) + 0.5),
        (lambda: np.float64(2) * E1, lambda x: 2 * value(E1, x)),
        (lambda: np.int64(5) - E1, lambda x: 5 - value(E1, x)),
        (lambda: E1 - 5, lambda x: value(E1, x) - 5),
        (lambda: 5 - E1, lambda x: 5 - value(E1, x)),
        (lambda: 5 - SQUARE, lambda x: 5 - value(SQUARE, x)),
        (lambda: 2 * E1, lambda x: 2 * value(E1, x)),
        (lambda: SQUARE * -0.5, lambda x: -0.5 * value(SQUARE, x)),
        (lambda: E1 + E2, lambda x: value(E1, x) + value(E2, x)),
        (lambda: E1 - E2, lambda x: value(E1, x) - value(E2, x)),
        (lambda: SQUARE + E2, lambda x: value(SQUARE, x) + value(E2, x)),
        (lambda: E2 + SQUARE, lambda x: value(SQUARE, x) + value(E2, x)),
        (lambda: SQUARE - E2, lambda x: value(SQUARE, x) - value(E2, x)),
        (lambda: E2 - SQUARE, lambda x: value(E2, x) - value(SQUARE, x)),
        (lambda: SQUARE - SQUARE * 3, lambda x: -2 * value(SQUARE, x)),
        (lambda: E1 * E2, lambda x: value(E1, x) * value(E2, x)),
        (lambda: E2 * E1, lambda x: value(E1, x) * value(E2, x)),
        (lambda: E1 * E1, lambda x: value(E1, x) ** 2),
        (lambda: sum([E1, E2, E1]), lambda x: 2 * value(E1, x) + value(E2, x)),
    ],
)
def test_operator_values(build, expected):
    result = build()
    assert isinstance(result, LinearExpression)
    assert result.lower_bound is None and result.upper_bound is None
    for x in POINTS:
        assert value(result, x) == pytest.approx(expected(x))


def test_product_has_symmetric_quadratic_part_and_the_cross_row():
    product = E1 * E2
    q = product.quadratic_coefficients
    assert isinstance(q, csc_array)
    np.testing.assert_allclose(q.toarray(), q.toarray().T)
    a, b = np.array([1, 0, 2, 0, 0]), np.array([0, -1, 1, 0, 3])
    np.testing.assert_allclose(2 * q.toarray(), np.outer(a, b) + np.outer(b, a))
    # a·c2 + b·c: the left row times the right constant plus the right row times the left constant
    np.testing.assert_allclose(product.linear_coefficients.toarray(), [-2, -1.5, -2.5, 0, 4.5])
    assert product.constant == -3


def test_parts_taken_over_unchanged_are_shared():
    shifted = SQUARE + 3
    assert shifted.linear_coefficients is SQUARE.linear_coefficients
    assert shifted.quadratic_coefficients is SQUARE.quadratic_coefficients
    assert (SQUARE - E1).quadratic_coefficients is SQUARE.quadratic_coefficients
    bounded = E1 <= 4
    assert bounded.linear_coefficients is E1.linear_coefficients and bounded.constant is E1.constant
    assert (E1 + 2).constant == 3.5 and E1.constant == 1.5


@pytest.mark.parametrize(
    "build, lower, upper",
    [
        (lambda: E1 == 4, 4, 4),
        (lambda: E1 >= 1, 1, None),
        (lambda: E1 <= 5, None, 5),
        (lambda: 1 <= E1, 1, None),
        (lambda: 5 >= E1, None, 5),
        (lambda: (E1 <= 5) >= 1, 1, 5),
        (lambda: (E1 >= 1) <= 5, 1, 5),
        (lambda: E1 >= None, None, None),
    ],
)
def test_comparisons_set_bounds(build, lower, upper):
    bounded = build()
    assert (bounded.lower_bound, bounded.upper_bound) == (lower, upper)


NO_TRUTH_VALUE = "An expression has no truth value: write a chained comparison lo <= e <= hi as (e >= lo) <= hi"


@pytest.mark.parametrize(
    "use",
    [lambda: 1 <= E1 <= 5, lambda: E1 != 3, lambda: bool(E1 >= 0), lambda: 1 <= ROW_SET <= 5, lambda: bool(ROW_SET)],
)
def test_expressions_have_no_truth_value(raises_logged, use):
    # A chained comparison would otherwise keep its last bound only.
    with raises_logged(TypeError, NO_TRUTH_VALUE):
        use()


def test_expressions_are_unhashable():
    with pytest.raises(TypeError):
        hash(E1)


ARITHMETIC_TYPE = "Type 'float', 'int' or 'LinearExpression' is expected for left side of expression"
BOUNDED = "Operations with expressions with defined boundaries are not allowed."
QUADRATIC = "Creating a quadratic expression is only available for linear expressions"


@pytest.mark.parametrize(
    "operation, error, message",
    [
        (lambda: E1 + "a", TypeError, ARITHMETIC_TYPE),
        (lambda: E1 - None, TypeError, ARITHMETIC_TYPE),
        (lambda: E1 * ROW_SET, TypeError, ARITHMETIC_TYPE),
        (lambda: E1 + np.array(2.0), TypeError, ARITHMETIC_TYPE),
        (lambda: np.ones(WIDTH) * E1, TypeError, ARITHMETIC_TYPE),
        (lambda: np.ones(WIDTH) - E1, TypeError, ARITHMETIC_TYPE),
        (lambda: 1j * E1, TypeError, ARITHMETIC_TYPE),
        (lambda: (E1 >= 0) + "a", FormulaError, BOUNDED),
        (lambda: (E1 <= 5) + 1, FormulaError, BOUNDED),
        (lambda: 2 - (E1 == 1), FormulaError, BOUNDED),
        (lambda: E1 + (E2 >= 0), FormulaError, BOUNDED),
        (lambda: E1 * (E2 <= 0), FormulaError, BOUNDED),
        (lambda: SQUARE * E1, ValueError, QUADRATIC),
        (lambda: E1 * SQUARE, ValueError, QUADRATIC),
        (lambda: (E1 * (E2 * 0)) * E2, ValueError, QUADRATIC),
        (lambda: (E1 == 4) >= 1, FormulaError, "The expression already has a lower bound set."),
        (lambda: (E1 >= 1) >= 2, FormulaError, "The expression already has a lower bound set."),
        (lambda: (E1 <= 1) <= 2, FormulaError, "The expression already has a upper bound set."),
        (lambda: (E1 == 4) == 4, FormulaError, "The expression already has one of the boundaries set."),
        (lambda: (E1 >= 1) == 4, FormulaError, "The expression already has one of the boundaries set."),
        (lambda: (E1 >= 1) != 4, FormulaError, "The expression already has one of the boundaries set."),
    ],
)
def test_refusals_are_logged_then_raised(raises_logged, operation, error, message):
    with raises_logged(error, message):
        operation()


def test_product_with_an_empty_row_still_counts_as_quadratic():
    empty = LinearExpression(linear_coefficients=csr_array((WIDTH,)), constant=2.0)
    product = E1 * empty
    assert product.quadratic_coefficients is not None and product.quadratic_coefficients.nnz == 0
    for x in POINTS:
        assert value(product, x) == pytest.approx(2 * value(E1, x))


def test_constructor_accepts_anything_without_the_debug_flag():
    odd = LinearExpression(linear_coefficients="row", constant=np.array(1.0), quadratic_coefficients=[1])
    assert odd.linear_coefficients == "row" and odd.quadratic_coefficients == [1]
