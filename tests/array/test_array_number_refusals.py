"""Numbers that neither model may take: each is refused, logged, at the call
that brings it in, and the model stays usable."""
import numpy as np
import pytest

from tarvo_encoder import linear_parser as text_model
from tarvo_encoder import linear_parser2 as array_model
from tarvo_encoder.linear_parser2 import LinearModel, VariableType, dot

NAN, INF = float("nan"), float("inf")
NOT_FINITE = "The coefficients and constants of an expression must be finite numbers, not {}"
NOT_FINITE_WEIGHT = "The weights of a row set must be finite numbers, not {} (row {})"


@pytest.fixture
def x():
    return LinearModel().get_variable("x", VariableType.INTEGER, 0, 5, i=3)


OPERATIONS = {
    "row times NaN": (lambda x: x[0] * NAN, NOT_FINITE.format("nan")),
    "NaN times row": (lambda x: np.float64("nan") * x[0], NOT_FINITE.format("nan")),
    "row plus infinity": (lambda x: x[0] + INF, NOT_FINITE.format("inf")),
    "infinity minus row": (lambda x: -INF - x[0], NOT_FINITE.format("-inf")),
    "row minus row and NaN": (lambda x: x[0] - x[1] * NAN, NOT_FINITE.format("nan")),
    "row beyond every float": (lambda x: x[0] * 10 ** 400, NOT_FINITE.format("an integer of 1329 bits")),
    "row set times NaN": (lambda x: x[:] * NAN, NOT_FINITE.format("nan")),
    "row set plus infinity": (lambda x: x[:] + INF, NOT_FINITE.format("inf")),
    "infinity minus row set": (lambda x: INF - x[:], NOT_FINITE.format("inf")),
    "a NaN weight": (lambda x: x[:] * np.array([1.0, NAN, 2.0]), NOT_FINITE_WEIGHT.format("nan", 1)),
    "a NaN weight on the left": (lambda x: np.array([NAN, 1.0, 2.0]) * x[:], NOT_FINITE_WEIGHT.format("nan", 0)),
    "an infinite weight of dot": (lambda x: dot(x[:], np.array([1.0, 2.0, -INF])), NOT_FINITE_WEIGHT.format("-inf", 2)),
}


@pytest.mark.parametrize("operation, message", OPERATIONS.values(), ids=OPERATIONS.keys())
def test_operators_refuse_numbers_that_are_not_finite(raises_logged, x, operation, message):
    with raises_logged(ValueError, message):
        operation(x)


def array_setup():
    model = array_model.LinearModel()
    x = model.get_variable("x", array_model.VariableType.REAL, 0, 4, i=2)
    model.add_constraint(x[0] + x[1] <= 5)
    return model, lambda cost0, cost1: x[0] * cost0 + x[1] * cost1


def text_setup():
    model = text_model.LinearModel()
    x = model.get_variables("x", text_model.VariableType.REAL, 0, 4, i=2)
    model.add_constraint(x[0] + x[1] <= 5)
    return model, lambda cost0, cost1: x[0] * cost0 + x[1] * cost1


REFUSED_CALLS = {
    "a NaN start value": (lambda model, target: model.set_solution("x", np.array([1.0, NAN])),
                          "The start values of 'x' must be finite numbers, not nan"),
    "an infinite start value": (lambda model, target: model.set_solution("x", [INF, 0]),
                                "The start values of 'x' must be finite numbers, not inf"),
    "a cost the solver takes for infinite": (
        lambda model, target: model.add_target(target(1, 1e20), False),
        "The cost 1e+20 of column 1 in the target is not below the solver's infinite cost 1e+20 in magnitude"),
    "a negative one": (
        lambda model, target: model.add_target(target(-3e21, 1), False),
        "The cost -3e+21 of column 0 in the target is not below the solver's infinite cost 1e+20 in magnitude"),
    # The bounds in the order both models take them: lower, upper, equation.
    "a NaN lower bound": (lambda model, target: model.add_constraint(target(1, 1), NAN),
                          "The lower bound of a constraint must not be nan"),
    "a NaN upper bound": (lambda model, target: model.add_constraint(target(1, 1), None, NAN),
                          "The upper bound of a constraint must not be nan"),
    "a NaN equation bound": (lambda model, target: model.add_constraint(target(1, 1), None, None, NAN),
                             "The equation bound of a constraint must not be nan"),
    "a NaN bound of a comparison": (lambda model, target: model.add_constraint(target(1, 1) <= NAN),
                                    "The upper bound of a constraint must not be nan"),
    "a bound beyond every float": (lambda model, target: model.add_constraint(target(1, 1), 10 ** 400),
                                   "The lower bound of a constraint must not be an integer of 1329 bits"),
    # Numbers that are finite as written, but not once added up, or not for the solver.
    "a coefficient that adds up to infinity": (
        lambda model, target: model.add_constraint(target(1e308, 1) + target(1e308, 1) <= 1),
        "A coefficient of the constraint is inf once its terms are added up; the solver holds finite numbers only"),
    "a constant that adds up to infinity": (
        lambda model, target: model.add_constraint(target(1, 1) - 1e308 - 1e308 <= 1),
        "A constant of the constraint is -inf once its terms are added up; the solver holds finite numbers only"),
    "a coefficient the solver cannot hold": (
        lambda model, target: model.add_constraint(target(1, -1e15) <= 1),
        "The coefficient -1000000000000000.0 of a constraint is not below the solver's large matrix value 1e+15 "
        "in magnitude"),
    "a Hessian entry the solver cannot hold": (
        lambda model, target: model.add_target(target(1, 0) * target(5e14, 0), True),
        "The quadratic part of the target makes the Hessian entry 1000000000000000.0, not below the solver's large "
        "matrix value 1e+15 in magnitude"),
}

# Row sets of the array model, over its variable 'x' of two elements.
ROW_SET_CALLS = {
    "a NaN lower bound of a row set": (
        lambda model, x: model.add_constraints(x[:] * 1.0, np.array([0.0, NAN])),
        "The lower bounds of a row set must not be nan (row 1)"),
    "a NaN upper bound of a row set": (
        lambda model, x: model.add_constraints(x[:] * 1.0, None, [NAN, 1.0]),
        "The upper bounds of a row set must not be nan (row 0)"),
    "a NaN equation bound of a row set": (
        lambda model, x: model.add_constraints(x[:] * 1.0, None, None, np.array([1.0, NAN])),
        "The equation bounds of a row set must not be nan (row 1)"),
    "a NaN bound of a row set's comparison": (
        lambda model, x: model.add_constraints(x[:] >= np.array([0.0, NAN])),
        "The lower bounds of a row set must not be nan (row 1)"),
    "a coefficient of a row set the solver cannot hold": (
        lambda model, x: model.add_constraints(x[:] * np.array([1.0, 2e15]) <= 1),
        "The coefficient 2000000000000000.0 of a constraint is not below the solver's large matrix value 1e+15 "
        "in magnitude"),
    "a constant of a row set that adds up to infinity": (
        lambda model, x: model.add_constraints(x[:] + 1e308 + 1e308 <= 1),
        "A constant of the constraint is inf once its terms are added up; the solver holds finite numbers only"),
}


def _row_set_call(call):
    # The array model's own variable 'x', found by the name the setup gave it.
    return lambda model, target: call(model, model._variables["x"])


SOLVER_REFUSALS = [pytest.param(setup, call, message, id=f"{name}-{model_name}")
                   for name, (call, message) in REFUSED_CALLS.items()
                   for setup, model_name in ((array_setup, "array model"), (text_setup, "text model"))]
SOLVER_REFUSALS += [pytest.param(array_setup, _row_set_call(call), message, id=f"{name}-array model")
                    for name, (call, message) in ROW_SET_CALLS.items()]


@pytest.mark.parametrize("setup, call, message", SOLVER_REFUSALS)
def test_models_refuse_numbers_the_solver_cannot_take(raises_logged, setup, call, message):
    model, target = setup()
    model.add_target(target(1, 2), False)
    with raises_logged(ValueError, message):
        call(model, target)
    # The earlier target is whole, and neither a start value nor a row was kept.
    model.solve()
    assert model.objective_value == pytest.approx(9)
    assert model._prev_solution is None
