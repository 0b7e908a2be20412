"""Declarations and what the engine receives: columns, integrality, rows and the objective."""
import enum

import numpy as np
import pytest

import velmont.corvane_engine.tovric as tovric
from tarvo_encoder._exceptions import BuildError, VariableError
from tarvo_encoder.linear_parser2 import LinearModel, VariableType, inf
from tarvo_encoder.linear_parser2.variable import VariableArray


class RecordingSolver(tovric.LinearSolver):
    """The real solver, keeping every model-building call as (name, args)."""

    RECORDED = ("setOptionValue", "addVars", "changeColsIntegrality", "addRow", "addRows",
                "changeObjectiveSense", "changeColsCost", "passHessian")

    def __init__(self):
        super().__init__()
        self.calls = []

    def __getattribute__(self, name):
        attribute = super().__getattribute__(name)
        if name in RecordingSolver.RECORDED:
            def record(*args):
                self.calls.append((name, args))
                return attribute(*args)
            return record
        return attribute

    def called(self, name):
        return [args for called, args in self.calls if called == name]


@pytest.fixture
def model(monkeypatch):
    monkeypatch.setattr(tovric, "LinearSolver", RecordingSolver)
    return LinearModel()


def test_options_go_to_the_engine_in_keyword_order(monkeypatch):
    monkeypatch.setattr(tovric, "LinearSolver", RecordingSolver)
    model = LinearModel(True, time_limit=5.0, mip_rel_gap=0.0)
    assert model._tovric_model.called("setOptionValue") == [("log_to_console", True), ("time_limit", 5.0), ("mip_rel_gap", 0.0)]


def test_blocks_take_consecutive_columns_and_raise_the_class_count(model):
    start = VariableArray._total_created_variables
    real = model.get_variable("r", VariableType.REAL, -1, 2.5, i=2, j=3)
    binary = model.get_variable("b", VariableType.BINARY, lower_bound=5, k=4)
    integer = model.get_variable("n", VariableType.INTEGER, 0, 10, k=2)
    assert real._map().tolist() == list(range(6)) and real.shape == (2, 3) and real.type is np.float64
    assert binary._map().tolist() == list(range(6, 10)) and (binary.lower_bound, binary.upper_bound) == (0, 1)
    assert integer._map().tolist() == [10, 11] and (integer.lower_bound, integer.upper_bound) == (0, 10)
    assert binary.type is np.int32 and integer.type is np.int32
    assert VariableArray._total_created_variables == start + 12 and model._general_shift_variables == 12
    (n_r, lo_r, hi_r), (n_b, lo_b, hi_b), (n_i, lo_i, hi_i) = model._tovric_model.called("addVars")
    assert (n_r, lo_r.dtype, lo_r.tolist(), hi_r.tolist()) == (6, np.float64, [-1] * 6, [2.5] * 6)
    assert (n_b, lo_b.dtype, lo_b.tolist(), hi_b.tolist()) == (4, np.int32, [0] * 4, [1] * 4)
    assert (n_i, lo_i.dtype, lo_i.tolist(), hi_i.tolist()) == (2, np.float64, [0.0] * 2, [10.0] * 2)
    integral = [(n, columns.tolist()) for n, columns, _ in model._tovric_model.called("changeColsIntegrality")]
    assert integral == [(4, [6, 7, 8, 9]), (2, [10, 11])]


def test_zero_sized_block_reserves_the_name_only(model):
    start = VariableArray._total_created_variables
    empty = model.get_variable("e", VariableType.REAL, i=0)
    assert model._tovric_model.called("addVars")[0][0] == 0 and empty._map().size == 0
    assert VariableArray._total_created_variables == start and model._general_shift_variables == 0
    assert model._variables["e"] is empty


@pytest.mark.parametrize("name", ["", None, 5, "1x", "a b", "a-b"])
def test_bad_names_are_refused(raises_logged, model, name):
    with raises_logged(ValueError, "Linear variable must have a non-empty name containing only letters"):
        model.get_variable(name, VariableType.REAL)


def test_names_are_per_model(raises_logged, model):
    model.get_variable("x1", VariableType.REAL)
    model.get_variable("_x", VariableType.REAL)
    with raises_logged(VariableError, "Linear variable named x1 is already in use"):
        model.get_variable("x1", VariableType.REAL)
    assert LinearModel().get_variable("x1", VariableType.REAL)._map().tolist() == [0]


@pytest.mark.parametrize("shape", [dict(i=-2), dict(i=-2, j=-3), dict(i=2.5), dict(i="3")])
def test_sizes_must_be_non_negative_integers(raises_logged, model, shape):
    with raises_logged(ValueError, "The sizes of a linear variable must be non-negative integers"):
        model.get_variable("v", VariableType.REAL, **shape)
    assert model._tovric_model.called("addVars") == []
    assert model.get_variable("v", VariableType.REAL, i=np.int64(2), j=1).shape == (2, 1)


class Foreign(enum.Enum):
    REAL = 1


@pytest.mark.parametrize("variable_type", [2, Foreign.REAL, "REAL"])
def test_unknown_type_is_refused_and_keeps_the_name(raises_logged, model, variable_type):
    with raises_logged(ValueError, "Invalid variable format"):
        model.get_variable("v", variable_type, k=3)
    assert model._tovric_model.called("addVars") == []
    with raises_logged(VariableError, "Linear variable named v is already in use"):
        model.get_variable("v", VariableType.REAL)


def test_constraint_rows_move_the_constant_into_the_bounds(model):
    x = model.get_variable("x", VariableType.REAL, i=3)
    expr = x[0] + 2 * x[2] + 2
    model.add_constraint(expr, lower_bound=1, upper_bound=5)
    model.add_constraint(expr)
    model.add_constraints(x[:] * 1.0 + 1)
    (lo1, hi1, nnz, columns, values), (lo2, hi2, *_) = model._tovric_model.called("addRow")
    assert (lo1, hi1, nnz, columns.tolist(), values.tolist()) == (-1, 3, 2, [0, 2], [1.0, 2.0])
    assert (lo2, hi2) == (-inf, inf)
    [(m, lower, upper, nnz, starts, columns, values)] = model._tovric_model.called("addRows")
    assert (m, nnz, starts.tolist(), columns.tolist()) == (3, 3, [0, 1, 2, 3], [0, 1, 2])
    assert lower.dtype == np.float64 and lower.tolist() == [-inf] * 3 and upper.tolist() == [inf] * 3


def test_target_costs_and_hessian(model):
    x = model.get_variable("x", VariableType.REAL, i=3)
    model.add_target(x[0] * x[1] + 3 * x[2] + 5, True)
    model.add_target(x[2] * 1.0, False)
    senses = [args[0] for args in model._tovric_model.called("changeObjectiveSense")]
    assert senses == [tovric.ObjSense.kMinimize, tovric.ObjSense.kMaximize]
    # Every column gets a cost, so no cost of an earlier target survives.
    costs = [(n, c.tolist(), v.tolist()) for n, c, v in model._tovric_model.called("changeColsCost")]
    assert costs == [(3, [0, 1, 2], [0, 0, 3]), (3, [0, 1, 2], [0, 0, 1.0])]
    quadratic, linear = model._tovric_model.called("passHessian")
    (dim, nnz, form, starts, rows, values) = quadratic
    assert (dim, nnz, form) == (3, 2, tovric.HessianFormat.kTriangular)
    # xᵀQx = x0·x1 with Q symmetric; the solver's ½·xᵀHx needs H = 2Q.
    assert (starts.tolist(), rows.tolist(), values.tolist()) == ([0, 1, 2, 2], [1, 0], [1.0, 1.0])
    # A linear target clears the earlier quadratic part.
    assert (linear[0], linear[1], linear[3].tolist()) == (3, 0, [0, 0, 0, 0])


def test_target_columns_are_fitted_to_the_models_columns(raises_logged, model):
    x = model.get_variable("x", VariableType.REAL, i=2)
    target = x[0] * x[1]
    LinearModel().get_variable("elsewhere", VariableType.REAL, n=3)  # widens every later row
    model.get_variable("y", VariableType.REAL)
    model.add_target(target, True)
    [(dim, nnz, _, starts, rows, values)] = model._tovric_model.called("passHessian")
    assert (dim, nnz, starts.tolist(), rows.tolist()) == (3, 2, [0, 1, 2, 2], [1, 0])
    foreign = LinearModel().get_variable("f", VariableType.REAL, n=4)
    for outside in (foreign[3] * foreign[3], foreign[3] + x[0]):
        with raises_logged(BuildError, "The target names columns that this model does not have"):
            model.add_target(outside, True)
    assert len(model._tovric_model.called("changeColsCost")) == 1


@pytest.mark.parametrize(
    "add, message",
    [
        (lambda m, x, f: m.add_constraint(f[3] <= 1), "The constraint names columns that this model does not have"),
        (lambda m, x, f: m.add_constraint(f[3] + x[0], equation_bound=1), "The constraint names columns that this model does not have"),
        (lambda m, x, f: m.add_constraints(f[1:] <= 1), "The constraints name columns that this model does not have"),
        (lambda m, x, f: m.add_constraints(f[np.array([0, 3])] + x[:]), "The constraints name columns that this model does not have"),
    ],
)
def test_rows_naming_columns_beyond_the_model_are_refused(raises_logged, model, add, message):
    x = model.get_variable("x", VariableType.REAL, i=2)
    foreign = LinearModel().get_variable("f", VariableType.REAL, n=4)
    with raises_logged(BuildError, message):
        add(model, x, foreign)
    assert model._tovric_model.called("addRow") == model._tovric_model.called("addRows") == []


def test_set_border_prefers_the_argument_without_the_debug_flag():
    merge = LinearModel._set_border
    assert (merge(None, None), merge(1, None), merge(None, 2), merge(1, 2)) == (None, 1, 2, 1)
