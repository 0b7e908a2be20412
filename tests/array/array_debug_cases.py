"""Checks that run only with DEBUG_SOLVER_MODE set; test_array_debug_mode.py runs this file with it set to "0"."""
import numpy as np
import pytest
from scipy.sparse import csc_array, csr_array

from tarvo_encoder._exceptions import BuildError, FormulaError
from tarvo_encoder.linear_parser2 import LinearModel, VariableType, dot
from tarvo_encoder.linear_parser2 import _expression, model as model_module, variable
from tarvo_encoder.linear_parser2._expression import LinearExpression, LinearExpressionsArr


def test_the_flag_is_on():
    assert _expression.DEBUG == "0" and model_module.DEBUG == "0" and variable.DEBUG is True


ROW = csr_array(np.ones(3))
MATRIX = csr_array(np.eye(2, 3))
ROWS = LinearExpressionsArr(linear_coefficients=MATRIX)


@pytest.mark.parametrize(
    "build, error, message",
    [
        (lambda: LinearExpression(linear_coefficients=csc_array(np.ones((1, 3)))), TypeError, "Linear coefficients must be a csr array"),
        (lambda: LinearExpression(linear_coefficients=ROW, constant=np.array(1.0)), TypeError, "Constant must be a float or int number"),
        (lambda: LinearExpression(linear_coefficients=ROW, constant="1"), TypeError, "Constant must be a float or int number"),
        (lambda: LinearExpression(linear_coefficients=ROW, quadratic_coefficients=csr_array(np.eye(3))), TypeError, "Quadratic coefficients must be a csc array"),
        (lambda: LinearExpressionsArr(linear_coefficients=csc_array(np.eye(2, 3))), TypeError, "Linear coefficients must be a csr array with 2 dimensions."),
        (lambda: LinearExpressionsArr(linear_coefficients=ROW), TypeError, "Linear coefficients must be a csr array with 2 dimensions."),
        (lambda: LinearExpressionsArr(linear_coefficients=MATRIX, constants=np.zeros(3)), FormulaError, "constants and linear_coeffients must have the same number of elements."),
        (lambda: LinearExpressionsArr(linear_coefficients=MATRIX, constants=[0.0, 1.0]), TypeError, "Constant must be a float or int number"),
        (lambda: ROWS * np.ones(3), FormulaError, "Expression smust have the same number of elements."),
        (lambda: ROWS * np.ones((2, 1)), FormulaError, "Expression smust have the same number of elements."),
        (lambda: ROWS.dot([1.0, 2.0]), TypeError, "Undefined type <class 'list'>"),
        (lambda: dot(np.ones(2), np.ones(2)), FormulaError, "One of the arguments must be of type 'LinearExpressionsArr', the other 'np.ndarray'"),
        (lambda: dot(ROWS, ROWS), FormulaError, "One of the arguments must be of type 'LinearExpressionsArr', the other 'np.ndarray'"),
    ],
)
def test_expression_checks(raises_logged, build, error, message):
    with raises_logged(error, message):
        build()


def test_valid_expressions_pass():
    LinearExpression(linear_coefficients=ROW, constant=np.float32(2), quadratic_coefficients=csc_array(np.eye(3)), lower_bound="any")
    assert (ROWS * np.array([2.0, 3])).constants.tolist() == [0, 0]
    assert dot(np.array([1.0, 2]), ROWS).constant == 0


@pytest.fixture
def arrays():
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, i=6)
    y = model.get_variable("y", VariableType.REAL, i=2, j=3)
    return model, x, y


@pytest.mark.parametrize(
    "pick, message",
    [
        (lambda x, y: y[0], "Variable can only have one index"),
        (lambda x, y: y[0:1], "Variable can only have one index"),
        (lambda x, y: x[-1], "-1 is not a valid index"),
        (lambda x, y: x[6], "6 is not a valid index"),
        (lambda x, y: x[-10::-1], "slice(-10, None, -1) is not a valid index"),
        (lambda x, y: y[np.array([True, False, True])], "[ True False  True] is not a valid index"),
        (lambda x, y: y[np.array([[0, 1]])], "[[0 1]] is not a valid index"),
        (lambda x, y: y[0, 1, 2], "The dimension of the variable is 2, but 3 dimensions are obtained."),
    ],
)
def test_index_checks(raises_logged, arrays, pick, message):
    _, x, y = arrays
    with raises_logged(IndexError, message):
        pick(x, y)


def test_whole_slices_pass(arrays):
    _, x, y = arrays
    assert x[:].num_constraints == 6 and x[2:].num_constraints == 4 and y[:, 1:].num_constraints == 4


@pytest.mark.parametrize("lower, upper", [(0.5, 3), (0, 2.0), (np.int64(0), 3)])
def test_integer_bounds_must_be_host_integers(raises_logged, lower, upper):
    model = LinearModel()
    with raises_logged(ValueError, "For integer variables, the boundaries must be integers"):
        model.get_variable("n", VariableType.INTEGER, lower, upper)
    model.get_variable("m", VariableType.INTEGER, 0, 3)
    model.get_variable("k", VariableType.INTEGER)


@pytest.mark.parametrize(
    "add, message",
    [
        (lambda m, x: m.add_constraint(x[:]), "To add a constraint of type 'LinearExpressionsArr', the 'add_constraints' function is used."),
        (lambda m, x: m.add_constraint(3), "Unknown type <class 'int'>"),
        (lambda m, x: m.add_constraint(x[0], lower_bound=1, equation_bound=3), "The border is set twice"),
        (lambda m, x: m.add_constraints(x[0]), "To add a constraint of type 'LinearExpression', the 'add_constraint' function is used."),
        (lambda m, x: m.add_constraints(3), "Unknown type <class 'int'>"),
        (lambda m, x: m.add_constraints(x[:], upper_bounds=np.ones(6), equation_bounds=np.ones(6)), "The border is set twice"),
        (lambda m, x: m.add_target(x[:], True), "Unknown type <class 'tarvo_encoder.linear_parser2._expression.LinearExpressionsArr'> for target"),
    ],
)
def test_model_checks(raises_logged, arrays, add, message):
    model, x, _ = arrays
    with raises_logged(BuildError, message):
        add(model, x)


def test_set_border_refuses_two_bounds_unlogged(caplog):
    merge = LinearModel._set_border
    assert (merge(None, None), merge(1, None), merge(None, 2)) == (None, 1, 2)
    with pytest.raises(BuildError, match="^The border is set twice$"):
        merge(1, 2)
    assert not caplog.records
