"""Rows built on another model's variables are refused, though their columns exist in this model too.

Every model numbers its columns from 0, so a row of model B names columns that model A
has as well; taken as it is, it would constrain A's variables of the same numbers."""
import copy

import numpy as np
import pytest

from tarvo_encoder._exceptions import BuildError
from tarvo_encoder.linear_parser2 import LinearModel, SolutionStatus, VariableType, dot, sumexp

ROW = "The constraint names columns that this model does not have"
ROWS = "The constraints name columns that this model does not have"
TARGET = "The target names columns that this model does not have"


@pytest.mark.parametrize(
    "add, message",
    [
        pytest.param(lambda m, x, b: m.add_constraint(b[0] <= 0.5), ROW, id="single_row"),
        pytest.param(lambda m, x, b: m.add_constraint(b[1] + 3, upper_bound=3.5), ROW, id="row_plus_constant"),
        pytest.param(lambda m, x, b: m.add_constraint(3 - b[1] >= 2.5), ROW, id="constant_minus_row"),
        pytest.param(lambda m, x, b: m.add_constraint(x[0] + b[1] <= 1), ROW, id="sum_of_both_models"),
        pytest.param(lambda m, x, b: m.add_constraint(b[2] - x[2], equation_bound=0), ROW, id="difference_of_both_models"),
        pytest.param(lambda m, x, b: m.add_constraint(sumexp(b[:]) <= 1), ROW, id="sum_of_a_selection"),
        pytest.param(lambda m, x, b: m.add_constraint(dot(np.ones(3), b[:]) + x[0] <= 1), ROW, id="weighted_sum_plus_own_row"),
        pytest.param(lambda m, x, b: m.add_constraints(b[:] <= 0.5), ROWS, id="row_set"),
        pytest.param(lambda m, x, b: m.add_constraints(2 * b[[0, 1]] + 1, upper_bounds=np.array([1.5, 1.5])), ROWS, id="scaled_row_set_plus_constant"),
        pytest.param(lambda m, x, b: m.add_constraints(b[:] * np.array([1.0, 2, 3]) <= 1), ROWS, id="weighted_row_set"),
        pytest.param(lambda m, x, b: m.add_constraints(x[:] + b[:] <= 1), ROWS, id="row_sets_of_both_models"),
        pytest.param(lambda m, x, b: m.add_constraints(x[:] - (b[:] + 1) <= 0), ROWS, id="own_row_set_minus_shifted_foreign"),
        pytest.param(lambda m, x, b: m.add_target(b[0] * 1.0, False), TARGET, id="target_row"),
        pytest.param(lambda m, x, b: m.add_target(sumexp(b[:]) + 4, True), TARGET, id="target_sum_plus_constant"),
        pytest.param(lambda m, x, b: m.add_target(x[0] + x[1] + x[2] - b[0], False), TARGET, id="target_mixing_both_models"),
        pytest.param(lambda m, x, b: m.add_target(x[0] * b[1], True), TARGET, id="target_product_of_both_models"),
        pytest.param(lambda m, x, b: m.add_target(b[0] * b[1] + sumexp(x[:]), False), TARGET, id="target_foreign_product_plus_own_sum"),
    ],
)
def test_rows_of_another_model_are_refused_and_leave_the_model_whole(raises_logged, add, message):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 10, i=3)
    other = LinearModel()
    b = other.get_variable("b", VariableType.REAL, 0, 10, n=3)  # columns 0 to 2, as x's
    model.add_constraints(x[:] <= np.array([1.0, 2, 3]))
    model.add_target(sumexp(x[:]), False)
    with raises_logged(BuildError, message):
        add(model, x, b)
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(6)
    assert model.get_result("x").tolist() == pytest.approx([1, 2, 3])


def test_copied_rows_stay_with_their_model():
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 10, i=2)
    model.add_constraint(copy.deepcopy(x[0] + x[1] <= 3))
    model.add_constraints(copy.copy(x[:] <= 2))
    model.add_target(copy.deepcopy(sumexp(x[:])), False)
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(3)
