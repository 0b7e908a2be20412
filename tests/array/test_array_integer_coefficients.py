"""Coefficients of rows over integer variables against exact host integers:
int32 where the values fit it, never a wrapped value where they do not."""
import operator
import random

import numpy as np
import pytest
from scipy.sparse import csr_array

from tarvo_encoder.linear_parser2 import LinearModel, SolutionStatus, VariableType, dot, sumexp
from tarvo_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr

INT32 = np.iinfo(np.int32)
BIG = 100000


def stored(values, keys):
    """{key: value} of stored entries, each value as the host number numpy holds."""
    return {key: value.item() for key, value in zip(keys, values)}


def row_of(expression):
    row = expression.linear_coefficients
    return stored(row.data, row.indices.tolist()), row.dtype


def rows_of(rows):
    matrix = rows.linear_coefficients.tocoo()
    return stored(matrix.data, zip(matrix.row.tolist(), matrix.col.tolist())), matrix.dtype


def assert_exact(got, dtype, expected, expected_dtype):
    """Every entry is the exact integer, or the float nearest to it where int64 cannot hold it."""
    assert got.keys() == expected.keys()
    for key, value in expected.items():
        assert got[key] == (value if isinstance(got[key], int) else float(value)), key
    assert dtype == expected_dtype


@pytest.fixture
def y():
    return LinearModel().get_variable("y", VariableType.INTEGER, -10, 10, n=3)


ROWS = {
    "scalar times scalar": (lambda y: y[0] * BIG * BIG, {0: BIG * BIG}, np.int64),
    "both sides of int32": (lambda y: y[0] * INT32.max + y[1] * INT32.min, {0: INT32.max, 1: INT32.min}, np.int32),
    "a repeated column": (lambda y: y[0] * 2 ** 30 + y[0] * 2 ** 30, {0: 2 ** 31}, np.int64),
    "a difference": (lambda y: y[0] * INT32.min - y[0] * 2, {0: INT32.min - 2}, np.int64),
    "negation of the least int32": (lambda y: 0 - y[0] * INT32.min, {0: 2 ** 31}, np.int64),
    "a host integer beyond int32": (lambda y: y[0] * 2 ** 40, {0: 2 ** 40}, np.int64),
    "numpy int64 factors": (lambda y: y[0] * np.int64(2 ** 40) * np.int64(2 ** 40), {0: 2 ** 80}, np.float64),
    "beyond int64 by host integers": (lambda y: y[0] * 2 ** 62 * 4, {0: 2 ** 64}, np.float64),
    # Once beyond int32, a row keeps the wider type, as numpy's promotion would.
    "back within int32": (lambda y: y[0] * BIG * BIG - y[0] * (BIG * BIG - 5), {0: 5}, np.int64),
    "a sum of rows": (lambda y: sumexp(y[[0, 0, 1]] * 2 ** 30), {0: 2 ** 31, 1: 2 ** 30}, np.int64),
    "a sum of weighted rows": (lambda y: sumexp(y[[0, 0]] * np.array([2 ** 30, 2 ** 30], dtype=np.int32)),
                               {0: 2 ** 31}, np.int64),
    "a weighted sum": (lambda y: dot(y[[0, 0, 2]] * 2 ** 30, np.array([2, 1, 1], dtype=np.int32)),
                       {0: 3 * 2 ** 30, 2: 2 ** 30}, np.int64),
    "small values stay int32": (lambda y: y[0] * 7 + y[1] * -3 - y[0] * 2, {0: 5, 1: -3}, np.int32),
    "small sums stay int32": (lambda y: sumexp(y[[0, 0, 1]] * 3), {0: 6, 1: 3}, np.int32),
}


@pytest.mark.parametrize("build, expected, dtype", ROWS.values(), ids=ROWS.keys())
def test_single_rows_hold_exact_coefficients(y, build, expected, dtype):
    assert_exact(*row_of(build(y)), expected, dtype)


ROW_SETS = {
    "scalar times scalar": (lambda y: y[:] * BIG * BIG, {(k, k): BIG * BIG for k in range(3)}, np.int64),
    "a sum of row sets": (lambda y: y[:] * 2 ** 30 + y[:] * 2 ** 30, {(k, k): 2 ** 31 for k in range(3)}, np.int64),
    "a difference of row sets": (lambda y: y[:] * INT32.min - y[:], {(k, k): INT32.min - 1 for k in range(3)},
                                 np.int64),
    "negation of the least int32": (lambda y: 5 - y[:] * INT32.min, {(k, k): 2 ** 31 for k in range(3)}, np.int64),
    "int32 weights": (lambda y: (y[:] * BIG) * np.full(3, BIG, dtype=np.int32), {(k, k): BIG * BIG for k in range(3)},
                      np.int64),
    "weights that fit": (lambda y: y[:] * np.array([3, -2, 1], dtype=np.int32), {(0, 0): 3, (1, 1): -2, (2, 2): 1},
                         np.int32),
    "sums that fit": (lambda y: y[:] * 2 ** 29 + y[:] * 2 ** 29 - y[:] * 5, {(k, k): 2 ** 30 - 5 for k in range(3)},
                      np.int32),
}


@pytest.mark.parametrize("build, expected, dtype", ROW_SETS.values(), ids=ROW_SETS.keys())
def test_row_sets_hold_exact_coefficients(y, build, expected, dtype):
    assert_exact(*rows_of(build(y)), expected, dtype)


def test_products_of_integer_rows_hold_exact_quadratic_parts(y):
    product = (y[0] * 50000) * (y[1] * 50000)
    q = product.quadratic_coefficients.tocoo()
    assert stored(q.data, zip(q.row.tolist(), q.col.tolist())) == {(0, 1): 1.25e9, (1, 0): 1.25e9}


def test_integer_constants_hold_exact_values():
    row = csr_array((np.array([1], dtype=np.int32), ([0],)), shape=(1,))
    single = LinearExpression(row, constant=np.int32(2 ** 30))
    assert (single * 4).constant == 2 ** 32 and (single + single + single).constant == 3 * 2 ** 30
    assert (0 - LinearExpression(row, constant=np.int32(INT32.min))).constant == 2 ** 31
    rows = LinearExpressionsArr(csr_array(np.ones((2, 1), dtype=np.int32)), constants=np.full(2, 2 ** 30, dtype=np.int32))
    assert (rows * 4).constants.tolist() == [2 ** 32] * 2
    assert (rows + rows).constants.tolist() == [2 ** 31] * 2
    assert rows.dot(np.array([4, 4], dtype=np.int32)).constant == 2 ** 33
    assert ((rows >= 2 ** 40).lower_bounds == 2 ** 40).all()


class Reference:
    """A row as exact host integers: {column: coefficient}."""

    def __init__(self, coefficients):
        self.coefficients = {column: value for column, value in coefficients.items() if value}

    def combined(self, other, sign):
        columns = self.coefficients.keys() | other.coefficients.keys()
        return Reference({c: self.coefficients.get(c, 0) + sign * other.coefficients.get(c, 0) for c in columns})

    def scaled(self, factor):
        return Reference({c: factor * value for c, value in self.coefficients.items()})


# Terms of any size in int64; scalings small enough that the chain stays within int64, where it must be exact.
TERM_FACTORS = [-1, 2, BIG, -BIG, 2 ** 16, INT32.max, INT32.min, np.int32(-7), np.int64(2 ** 33)]
SCALINGS = [-1, 2, 3, np.int32(-3)]


@pytest.mark.parametrize("seed", range(40))
def test_random_chains_match_exact_integers(y, seed):
    rng = random.Random(seed)
    expression, reference = y[0], Reference({0: 1})
    for _ in range(12):
        step = rng.randrange(4)
        if step == 0:
            factor = rng.choice(SCALINGS)
            expression, reference = expression * factor, reference.scaled(int(factor))
        else:
            column, factor = rng.randrange(3), rng.choice(TERM_FACTORS)
            term, term_reference = y[column] * factor, Reference({column: int(factor)})
            if step == 1:
                expression, reference = expression + term, reference.combined(term_reference, 1)
            elif step == 2:
                expression, reference = expression - term, reference.combined(term_reference, -1)
            else:
                expression, reference = term - expression, term_reference.combined(reference, -1)
    got, dtype = row_of(expression)
    assert {column: value for column, value in got.items() if value} == reference.coefficients
    assert np.issubdtype(dtype, np.integer)


def test_a_constraint_with_a_large_integer_coefficient_solves_as_written():
    model = LinearModel()
    y = model.get_variable("y", VariableType.INTEGER, 0, 10, n=1)
    # Wrapped to 1410065408, the coefficient would let y reach its bound 10.
    model.add_constraint(y[0] * BIG * BIG <= 3 * BIG * BIG)
    model.add_target(y[0] * 1, False)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.get_result("y").tolist() == [3]


@pytest.mark.parametrize("single", [True, False], ids=["a single row", "a row set"])
def test_integer_bounds_less_integer_constants_do_not_wrap(single):
    model = LinearModel()
    y = model.get_variable("y", VariableType.INTEGER, 0, 10, n=1)
    # y - 5 <= INT32.max, which int32 arithmetic would turn into y <= a negative number.
    if single:
        model.add_constraint(LinearExpression(y[0].linear_coefficients, constant=np.int32(-5)) <= np.int32(INT32.max))
    else:
        rows = LinearExpressionsArr(y[[0]].linear_coefficients, constants=np.array([-5], dtype=np.int32))
        model.add_constraints(rows <= np.array([INT32.max], dtype=np.int32))
    model.add_target(y[0] * 1, False)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.get_result("y").tolist() == [10]
