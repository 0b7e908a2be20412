"""Row sets: every operator checked by evaluating A·x + c row by row at points."""
import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.linear_parser2 import dot, sumexp
from tarvo_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr

WIDTH = 4
POINTS = np.random.default_rng(3).uniform(-2, 2, size=(5, WIDTH))


def selection(columns, dtype=np.float64):
    """Rows as indexing makes them: one 1 per row, at the given column."""
    n = len(columns)
    matrix = csr_array((np.ones(n, dtype=dtype), (np.arange(n), np.array(columns))), shape=(n, WIDTH))
    return LinearExpressionsArr(linear_coefficients=matrix, is_init=True)


def values(rows, x):
    return rows.linear_coefficients.toarray() @ x + rows.constants


def row_value(expr, x):
    return expr.constant + expr.linear_coefficients.toarray() @ x


R = selection([0, 2, 2])
S = LinearExpressionsArr(
    linear_coefficients=csr_array(np.array([[1.0, -1, 0, 0], [0, 0, 2, 1], [0.5, 0, 0, 0]])),
    constants=np.array([1.0, 0, -2]),
)
W = np.array([2.0, -1, 0.5])


@pytest.mark.parametrize(
    "build, expected",
    [
        (lambda: R + 5, lambda x: values(R, x) + 5),
        (lambda: 5 + R, lambda x: values(R, x) + 5),
        (lambda: R - 5, lambda x: values(R, x) - 5),
        (lambda: 5 - R, lambda x: 5 - values(R, x)),
        (lambda: R * 2, lambda x: 2 * values(R, x)),
        (lambda: 0.5 * S, lambda x: 0.5 * values(S, x)),
        (lambda: R + S, lambda x: values(R, x) + values(S, x)),
        (lambda: R - S, lambda x: values(R, x) - values(S, x)),
        (lambda: S * W, lambda x: values(S, x) * W),
        (lambda: W * S, lambda x: values(S, x) * W),
        (lambda: True + S, lambda x: values(S, x) + 1),
    ],
)
def test_row_set_operators(build, expected):
    result = build()
    assert isinstance(result, LinearExpressionsArr)
    assert result.lower_bounds is None and result.upper_bounds is None
    assert isinstance(result.linear_coefficients, csr_array)
    for x in POINTS:
        np.testing.assert_allclose(values(result, x), expected(x))


@pytest.mark.parametrize(
    "build, expected",
    [
        (lambda: R.sum(), lambda x: values(R, x).sum()),
        (lambda: (R + 5).sum(), lambda x: values(R, x).sum() + 15),
        (lambda: (5 - R).sum(), lambda x: 15 - values(R, x).sum()),
        (lambda: (R * 2).sum(), lambda x: 2 * values(R, x).sum()),
        (lambda: S.sum(), lambda x: values(S, x).sum()),
        (lambda: (R + S).sum(), lambda x: values(R, x).sum() + values(S, x).sum()),
        (lambda: sumexp(S * W), lambda x: values(S, x) @ W),
        (lambda: (W * S).sum(), lambda x: values(S, x) @ W),
        (lambda: S.dot(W), lambda x: values(S, x) @ W),
        (lambda: dot(S, W), lambda x: values(S, x) @ W),
        (lambda: dot(W, R), lambda x: values(R, x) @ W),
    ],
)
def test_folding_rows_into_one(build, expected):
    folded = build()
    assert isinstance(folded, LinearExpression)
    assert isinstance(folded.linear_coefficients, csr_array) and folded.linear_coefficients.shape == (WIDTH,)
    assert folded.quadratic_coefficients is None and folded.lower_bound is None and folded.upper_bound is None
    for x in POINTS:
        assert row_value(folded, x) == pytest.approx(expected(x))


def test_selection_sum_adds_repeated_columns_and_keeps_the_element_type():
    ints = selection([1, 3, 1], dtype=np.int32)
    total = ints.sum()
    assert total.linear_coefficients.dtype == np.int32
    assert total.linear_coefficients.toarray().tolist() == [0, 2, 0, 1]
    assert total.constant == 0


def test_sum_leaves_the_row_set_unchanged():
    before = R.linear_coefficients.toarray()
    R.sum()
    (R * 2).sum()
    np.testing.assert_array_equal(R.linear_coefficients.toarray(), before)


def test_row_set_without_rows():
    empty = selection([])
    assert empty.num_constraints == 0
    total = empty.sum()
    assert total.linear_coefficients.nnz == 0 and total.constant == 0


def test_sharing_and_defaults():
    assert R.num_constraints == 3 and R.constants.dtype == np.float64 and not R.constants.any()
    assert (R + 1).linear_coefficients is R.linear_coefficients
    equal = R == 2.5
    assert equal.lower_bounds is equal.upper_bounds and equal.lower_bounds.tolist() == [2.5] * 3
    assert equal.linear_coefficients is R.linear_coefficients and equal.constants is R.constants
    bound = np.array([1.0, 2, 3])
    assert (R >= bound).lower_bounds is bound
    csc = LinearExpressionsArr(linear_coefficients=csc_array(np.eye(2, WIDTH)))
    assert isinstance(csc.linear_coefficients, csr_array)


@pytest.mark.parametrize(
    "build, lower, upper",
    [
        (lambda: R >= 1, [1, 1, 1], None),
        (lambda: R <= np.array([1, 2, 3]), None, [1, 2, 3]),
        (lambda: (R <= 4) >= 1, [1, 1, 1], [4, 4, 4]),
        (lambda: (R >= 1) <= 4, [1, 1, 1], [4, 4, 4]),
        (lambda: np.array([1, 2, 3]) <= R, [1, 2, 3], None),
        (lambda: np.array([1, 2, 3]) == R, [1, 2, 3], [1, 2, 3]),
    ],
)
def test_row_set_comparisons(build, lower, upper):
    bounded = build()
    assert (None if bounded.lower_bounds is None else bounded.lower_bounds.tolist()) == lower
    assert (None if bounded.upper_bounds is None else bounded.upper_bounds.tolist()) == upper


def test_scalar_bound_on_integer_constants_is_not_truncated():
    rows = LinearExpressionsArr(linear_coefficients=csr_array(np.eye(2, WIDTH)), constants=np.array([1, 2], dtype=np.int32))
    assert (rows <= 2.5).upper_bounds.tolist() == [2.5, 2.5]


BOUND_SET = "The expression already has one of the boundaries set."
LENGTHS = "Expression smust have the same number of elements."
ADD_TYPE = "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression"
ROW = LinearExpression(linear_coefficients=csr_array(np.ones(WIDTH)))


@pytest.mark.parametrize(
    "operation, error, message",
    [
        (lambda: (R >= 0) + 1, FormulaError, BOUND_SET),
        (lambda: (R >= 0) * 2, FormulaError, BOUND_SET),
        (lambda: 2 - (R <= 0), FormulaError, BOUND_SET),
        (lambda: (R >= 0).sum(), FormulaError, BOUND_SET),
        (lambda: sumexp(R == 0), FormulaError, BOUND_SET),
        (lambda: (R >= 0) == 1, FormulaError, BOUND_SET),
        (lambda: R + (S >= 0), FormulaError, BOUND_SET),
        (lambda: (R >= 0).dot(W), FormulaError, BOUND_SET),
        (lambda: (R >= 0) >= 1, FormulaError, "The expression already has a lower bounds set."),
        (lambda: (R == 1) <= 2, FormulaError, "The expression already has a upper bounds set."),
        (lambda: R >= np.ones(2), FormulaError, "The size of the border must match the number of constraints."),
        (lambda: R >= np.ones((3, 1)), FormulaError, "The size of the border must match the number of constraints."),
        (lambda: R + selection([1]), FormulaError, LENGTHS),
        (lambda: R - selection([1]), FormulaError, LENGTHS),
        (lambda: R + ROW, TypeError, ADD_TYPE),
        (lambda: R - "a", TypeError, ADD_TYPE),
        (lambda: "a" - R, TypeError, ADD_TYPE),
        (lambda: W + R, TypeError, ADD_TYPE),
        (lambda: W - R, TypeError, ADD_TYPE),
        (lambda: R * S, TypeError, "Type 'float' or 'int' is expected for left side of expression"),
        (lambda: R * [1, 2, 3], TypeError, "Type 'float' or 'int' is expected for left side of expression"),
    ],
)
def test_row_set_refusals(raises_logged, operation, error, message):
    with raises_logged(error, message):
        operation()


def test_list_bound_has_no_shape():
    with pytest.raises(AttributeError):
        R >= [1, 2, 3]


def test_rows_of_different_widths_do_not_combine():
    wider = LinearExpressionsArr(linear_coefficients=csr_array((3, WIDTH + 2)))
    with pytest.raises(ValueError):
        R + wider
