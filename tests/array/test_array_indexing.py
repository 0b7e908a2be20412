"""Variable arrays: which solver columns each kind of index selects, and the row widths."""
import numpy as np
import pytest

from tarvo_encoder.linear_parser2 import LinearModel, VariableType
from tarvo_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr
from tarvo_encoder.linear_parser2.variable import VariableArray


def total():
    return VariableArray._total_created_variables


@pytest.fixture
def arrays():
    """x of shape (6,) on columns 2..7 and y of shape (2, 3) on columns 10..15 of one model."""
    model = LinearModel()
    model.get_variable("a", VariableType.REAL, k=2)
    x = model.get_variable("x", VariableType.REAL, i=6)
    model.get_variable("b", VariableType.BINARY, k=2)
    y = model.get_variable("y", VariableType.INTEGER, 0, 9, i=2, j=3)
    return x, y


def selected_columns(rows):
    """The column of each row's single entry, in row order; checks that every entry is a 1."""
    assert isinstance(rows, LinearExpressionsArr)
    matrix = rows.linear_coefficients
    assert matrix.shape == (rows.num_constraints, total())
    assert np.diff(matrix.indptr).tolist() == [1] * rows.num_constraints
    assert (matrix.data == 1).all()
    assert not rows.constants.any() and rows.lower_bounds is None and rows.upper_bounds is None
    return matrix.indices.tolist()


def single_column(expr):
    assert isinstance(expr, LinearExpression)
    row = expr.linear_coefficients
    assert row.shape == (total(),) and row.nnz == 1 and row.data[0] == 1
    assert expr.constant == 0.0 and expr.quadratic_coefficients is None
    assert expr.lower_bound is None and expr.upper_bound is None
    return int(row.indices[0])


@pytest.mark.parametrize("index, column", [(0, 2), (3, 5), (5, 7), (np.int64(4), 6), (True, 3)])
def test_integer_selects_one_column(arrays, index, column):
    x, _ = arrays
    assert single_column(x[index]) == column


@pytest.mark.parametrize(
    "index, columns",
    [
        (slice(1, 4), [3, 4, 5]),
        (slice(None, None, 4), [2, 6]),
        (slice(None, None, -1), [7, 6, 5, 4, 3, 2]),
        (slice(-2, None), [6, 7]),
        (slice(4, 1), []),
        (slice(None), [2, 3, 4, 5, 6, 7]),
        (slice(2, 100), [4, 5, 6, 7]),
        ([5, 0, 5], [7, 2, 7]),
        ([], []),
        ([1.7, True], [3, 3]),
        (np.array([1, 3]), [3, 5]),
        (np.array([True, False, True, False, False, True]), [2, 4, 7]),
    ],
)
def test_one_dimensional_selections(arrays, index, columns):
    x, _ = arrays
    assert selected_columns(x[index]) == columns


@pytest.mark.parametrize(
    "index, columns",
    [
        (np.array([[False, False, True], [True, False, False]]), [12, 13]),
        (np.array([5, 0]), [15, 10]),
        (np.array([], dtype=np.int64), []),
        ([1, 1], [11, 11]),
        ([True, False], [11, 10]),
        ((0, slice(None)), [10, 11, 12]),
        ((slice(None), 1), [11, 14]),
        ((slice(None, None, -1), slice(0, 2)), [13, 14, 10, 11]),
        ((slice(1, 1), slice(None)), []),
    ],
)
def test_selections_of_a_matrix(arrays, index, columns):
    _, y = arrays
    assert selected_columns(y[index]) == columns


@pytest.mark.parametrize("index, column", [((1, 2), 15), ((0, 0), 10), ((np.int32(1), 0), 13)])
def test_tuple_of_integers_selects_one_element(arrays, index, column):
    _, y = arrays
    assert single_column(y[index]) == column


@pytest.mark.parametrize("index", [0, 4, np.int64(1), slice(None), slice(0, 2), slice(-1, None)])
@pytest.mark.parametrize("which", ["matrix", "scalar"])
def test_one_integer_or_slice_needs_a_one_dimensional_array(raises_logged, arrays, which, index):
    # Without the check, y[:] selected the flat positions 0 and 1 only, and y[1] the element (0, 1).
    array = arrays[1] if which == "matrix" else LinearModel().get_variable("s", VariableType.REAL)
    with raises_logged(IndexError, "Variable can only have one index"):
        array[index]


@pytest.mark.parametrize("iterate", [list, sum, iter, lambda v: [e for e in v], lambda v: 0 in v])
@pytest.mark.parametrize("which, every_element", [(0, ":"), (1, ":, :")])
def test_arrays_cannot_be_iterated(raises_logged, arrays, iterate, which, every_element):
    array = arrays[which]
    message = f"Variable '{array.name}' cannot be iterated; select its elements by indexing, as in {array.name}[{every_element}]"
    with raises_logged(TypeError, message):
        iterate(array)


def test_coefficients_carry_the_element_type(arrays):
    x, y = arrays
    assert x[0].linear_coefficients.dtype == np.float64 and x[:].linear_coefficients.dtype == np.float64
    assert y[0, 0].linear_coefficients.dtype == np.int32 and y[[0]].linear_coefficients.dtype == np.int32


def test_map_shape_and_properties(arrays):
    x, y = arrays
    assert y._map().dtype == np.int32 and y._map().tolist() == list(range(10, 16))
    assert y.shape == (2, 3) and isinstance(y.shape, tuple)
    assert (y.name, y.type, y.lower_bound, y.upper_bound) == ("y", np.int32, 0, 9)
    scalar = LinearModel().get_variable("s", VariableType.REAL)
    assert scalar.shape == () and scalar._map().tolist() == [0]
    assert single_column(scalar[()]) == 0
    assert selected_columns(scalar[[0]]) == [0]


def test_rows_take_the_process_wide_width_of_their_moment(arrays):
    x, _ = arrays
    before = x[3]
    width = total()
    other = LinearModel()
    other.get_variable("z", VariableType.REAL, n=4)  # another model's columns widen every later row
    assert total() == width + 4
    after = x[3]
    assert before.linear_coefficients.shape == (width,) and after.linear_coefficients.shape == (width + 4,)
    assert single_column(after) == 5
    with pytest.raises(ValueError):
        before + after



@pytest.mark.parametrize(
    "index, error, message",
    [
        (1.5, IndexError, "Undefined type <class 'float'> for indexing"),
        (range(2), IndexError, "Undefined type <class 'range'> for indexing"),
        (None, IndexError, "Undefined type <class 'NoneType'> for indexing"),
        (6, IndexError, "6 is not a valid index"),
        (-1, IndexError, "-1 is not a valid index"),
        ([0, 6], IndexError, "[0, 6] is not a valid index"),
        ([[0, 1]], IndexError, "[[0, 1]] is not a valid index"),
        ([2 ** 40], IndexError, "[1099511627776] is not a valid index"),
        ([0, -2 ** 40], IndexError, "[0, -1099511627776] is not a valid index"),
        (np.array([0, -1]), IndexError, "[ 0 -1] is not a valid index"),
        (np.array([0.0]), IndexError, "[0.] is not a valid index"),
        (np.array([True, False]), IndexError, "[ True False] is not a valid index"),
    ],
)
def test_index_refusals_run_without_the_debug_flag(raises_logged, arrays, index, error, message):
    x, _ = arrays
    with raises_logged(error, message):
        x[index]


@pytest.mark.parametrize(
    "index, message",
    [
        ((0, 1, 2), "The dimension of the variable is 2, but 3 dimensions are obtained."),
        ((0,), "The dimension of the variable is 2, but 1 dimensions are obtained."),
        ((2, 0), "2 is not a valid index"),
        ((0, -1), "-1 is not a valid index"),
        (np.array([0, 6]), "[0 6] is not a valid index"),
    ],
)
def test_matrix_index_refusals(raises_logged, arrays, index, message):
    _, y = arrays
    with raises_logged(IndexError, message):
        y[index]


def test_unsupported_tuple_entry_is_refused_unlogged(caplog, arrays):
    _, y = arrays
    with pytest.raises(ValueError, match=r"^Unsupported index type for multiindex: <class 'list'>$"):
        y[0, [1]]
    assert not caplog.records
