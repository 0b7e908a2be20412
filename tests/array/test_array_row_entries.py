"""Single rows held as entries: sums that grow in place, merged rows, and
long chains of operators against dense arithmetic."""
import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

from tarvo_encoder.linear_parser2._expression import LinearExpression

WIDTH = 6


def unit(column, value=1.0):
    return LinearExpression(linear_coefficients=csr_array(([value], ([column],)), shape=(WIDTH,)))


def dense(expression):
    """(constant, row, Q) as dense arrays, read through the public properties."""
    row = expression.linear_coefficients
    assert isinstance(row, csr_array) and row.shape == (WIDTH,)
    columns = row.indices
    assert np.all(columns[1:] > columns[:-1]), "a row's columns are ascending and each stored once"
    q = expression.quadratic_coefficients
    assert q is None or (isinstance(q, csc_array) and q.shape == (WIDTH, WIDTH))
    return expression.constant, row.toarray(), None if q is None else q.toarray()


def test_branches_from_one_sum_keep_their_own_terms():
    base = unit(0) + unit(1)
    left = base + unit(2)  # writes into the room behind base's entries
    right = base + unit(3, 5.0)  # must not see left's entry, nor overwrite it
    twice = base + base
    np.testing.assert_array_equal(dense(base)[1], [1, 1, 0, 0, 0, 0])
    np.testing.assert_array_equal(dense(left)[1], [1, 1, 1, 0, 0, 0])
    np.testing.assert_array_equal(dense(right)[1], [1, 1, 0, 5, 0, 0])
    np.testing.assert_array_equal(dense(twice)[1], [2, 2, 0, 0, 0, 0])
    np.testing.assert_array_equal(dense(left + unit(4))[1], [1, 1, 1, 0, 1, 0])
    np.testing.assert_array_equal(dense(left)[1], [1, 1, 1, 0, 0, 0])


def test_a_sum_built_term_by_term_merges_repeated_columns():
    total = 0
    for k in range(200):
        total = total + unit(k % WIDTH, float(k)) * unit(k % 3) + 0.5 * unit((k * 5) % WIDTH)
    constant, row, q = dense(total)
    expected_row, expected_q = np.zeros(WIDTH), np.zeros((WIDTH, WIDTH))
    for k in range(200):
        expected_row[(k * 5) % WIDTH] += 0.5
        a, b = np.zeros(WIDTH), np.zeros(WIDTH)
        a[k % WIDTH], b[k % 3] = k, 1
        expected_q += 0.5 * (np.outer(a, b) + np.outer(b, a))
    assert constant == 0
    np.testing.assert_allclose(row, expected_row)
    np.testing.assert_allclose(q, expected_q)


def test_integer_rows_widen_to_float_when_a_float_row_is_added():
    ints = LinearExpression(linear_coefficients=csr_array((np.array([1], dtype=np.int32), ([2],)), shape=(WIDTH,)))
    chained = ints + ints  # grows its store as int32
    mixed = chained + unit(2, 0.5)
    assert chained.linear_coefficients.dtype == np.int32
    assert mixed.linear_coefficients.dtype == np.float64 and mixed.linear_coefficients.toarray()[2] == 2.5


def _random_operations(rng, steps):
    """A random chain of operators, applied to an expression and to its dense (c, a, Q) at once."""
    expression, reference = unit(0), (0.0, np.eye(WIDTH)[0], None)
    for _ in range(steps):
        column, factor = int(rng.integers(WIDTH)), float(rng.integers(-3, 4))
        other = unit(column, factor) + factor
        c2, a2 = factor, np.eye(WIDTH)[column] * factor
        c, a, q = reference
        choice = rng.integers(6 if q is None else 5)
        if choice == 0:
            expression, reference = expression + other, (c + c2, a + a2, q)
        elif choice == 1:
            expression, reference = expression - other, (c - c2, a - a2, q)
        elif choice == 2:
            expression, reference = factor * expression, (factor * c, factor * a, None if q is None else factor * q)
        elif choice == 3:
            expression, reference = factor - expression, (factor - c, -a, None if q is None else -q)
        elif choice == 4:
            expression, reference = expression + 2.5, (c + 2.5, a, q)
        else:
            square = 0.5 * (np.outer(a, a2) + np.outer(a2, a))
            expression, reference = expression * other, (c * c2, a * c2 + a2 * c, square)
    return expression, reference


@pytest.mark.parametrize("seed", range(8))
def test_operator_chains_match_dense_arithmetic(seed):
    expression, (c, a, q) = _random_operations(np.random.default_rng(seed), 40)
    constant, row, quadratic = dense(expression)
    assert constant == pytest.approx(c)
    np.testing.assert_allclose(row, a)
    if q is None:
        assert quadratic is None
    else:
        np.testing.assert_allclose(quadratic, q)


def test_rows_of_different_widths_do_not_combine():
    narrow = LinearExpression(linear_coefficients=csr_array(([1.0], ([0],)), shape=(WIDTH - 1,)))
    for combine in (lambda: unit(0) + narrow, lambda: unit(0) - narrow, lambda: unit(0) * narrow):
        with pytest.raises(ValueError, match="inconsistent shapes"):
            combine()


def test_writing_into_a_read_row_changes_no_other_expression():
    base = unit(0) + unit(1)
    longer = base + unit(2)
    base.linear_coefficients.data[:] = 9
    np.testing.assert_array_equal(dense(longer)[1], [1, 1, 1, 0, 0, 0])
    np.testing.assert_array_equal(dense(base + unit(3))[1], [1, 1, 0, 1, 0, 0])
