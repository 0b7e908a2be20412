"""The array linear model: `LinearModel`, its enumerations and `inf`.

`LinearModel(log_solver=False, **options)`: an empty model over its own
solver. `log_solver` prints the solver's log on the console; `options` are
HiGHS options by name (`time_limit=10.0`, `mip_rel_gap=0.01`), passed on
unchanged.

`get_variable(name, variable_type, lower_bound=-inf, upper_bound=inf, **shape)`
declares an array of variables and returns its `VariableArray`. `name` is an
identifier; `variable_type` a `VariableType` of this module; the two bounds
apply to every element, in the units of the variable's own values (`-inf` and
`inf` leave a side free); `BINARY` ignores them (0 to 1). Each keyword of
`shape` names a dimension and gives its size, first dimension first.

`add_constraint(constraint, lower_bound=None, upper_bound=None,
equation_bound=None)` adds one solver row lower_bound <= constraint <=
upper_bound from a single-row expression (`x[0, 1] + 2 * x[1, 1] <= 4`);
`add_constraints(constraints, lower_bounds=None, upper_bounds=None,
equation_bounds=None)` adds a whole row set in one call, the bounds as numpy
vectors of one entry per row (a comparison also takes one number for all:
`x[0, :] <= 5`). A bound comes from the expression's comparison or from an
argument, each side from one source only; a missing side is free. The
expression's constant moves to the bounds. Constraints must be linear.
Rows, row sets and targets are built on this model's own variables: one
that uses another model's variables is refused (`BuildError`).

`add_target(target, minimization)` makes a linear or quadratic single-row
expression the objective, minimised when `minimization` is true, else
maximised (a quadratic one must be convex to minimise, concave to maximise).
It replaces the earlier target whole; its constant is not part of
`objective_value`.

`solve(is_feasible=False)` runs the solver on the model as built so far and
returns `SolutionStatus.OPTIMAL`, or `SUBOPTIMAL` for a feasible point found
within a time limit (with a warning). Without a usable solution it logs the
solver's verdict and returns `INFEASIBLE`, or raises `SolverError` when
`is_feasible` is true or the solver refused the model.

`set_solution(variable_name, solution)` (start values for the next solves),
`objective_value`, `get_result(variable_name)` (a variable's values, shaped
like it), `get_tovric_solution()` and `write_model(model_path)` take and give
what they do in the text model, `tarvo_encoder.linear_parser.linear_model`.

With `DEBUG_SOLVER_MODE` set in the environment (any non-empty value),
argument types and shapes are checked as well.
"""
from __future__ import annotations

import operator
import os
from enum import Enum, auto
from functools import reduce
from numbers import Integral
from operator import mul
from pathlib import Path
import typing as tp

import numpy as np
from scipy.sparse import csc_array

import velmont.corvane_engine.tovric as tovric
from tarvo_encoder import _linear_solve as solving
from tarvo_encoder._exceptions import BuildError, SolverError, VariableError
from tarvo_encoder._finite_numbers import require_bound, require_bounds
from tarvo_encoder._logged_errors import raise_logged as _raise_logged
from tarvo_encoder._text_rules import is_identifier as _is_identifier
from tarvo_encoder.core.tarvo_logger import log_w
from tarvo_encoder.linear_parser2 import _exact_integers as exact
from tarvo_encoder.linear_parser2._expression import (
    _CoefType,
    ColumnsOwner,
    LinearExpression,
    LinearExpressionsArr,
)
from tarvo_encoder.linear_parser2.variable import VariableArray

DEBUG = os.environ.get("DEBUG_SOLVER_MODE", False)

_BORDER_TWICE = "The border is set twice"
_FOREIGN_ROW = "The constraint names columns that this model does not have"
_FOREIGN_ROWS = "The constraints name columns that this model does not have"
_FOREIGN_TARGET = "The target names columns that this model does not have"


class SolutionStatus(Enum):
    """What `LinearModel.solve` found: the optimum, a feasible point when a time limit stopped the search, or no solution."""

    OPTIMAL = auto()
    SUBOPTIMAL = auto()
    INFEASIBLE = auto()


class VariableType(Enum):
    """The values a variable takes: any real number, integers, or 0 and 1."""

    REAL = auto()
    INTEGER = auto()
    BINARY = auto()


inf = tovric.kTovricInf


class LinearModel:
    """An interface for initializing and solving a MILP problem with a quadratic objective function"""

    def __init__(self, log_solver: bool = False, **options) -> None:
        self._tovric_model = solving.new_solver(log_solver, options)
        self._used_vars: set[str] = set()
        self._general_shift_variables = 0
        self._variables: dict[str, VariableArray] = {}
        self._prev_solution: tp.Optional[np.ndarray] = None
        self._solution = None
        self._solution_values: tp.Optional[np.ndarray] = None
        self._objective_value: tp.Optional[float] = None
        # Carried by every expression built on this model's variables.
        self._columns_owner = ColumnsOwner()

    def get_variable(
        self,
        name: str,
        variable_type: VariableType,
        lower_bound: int | float = -inf,
        upper_bound: int | float = inf,
        **shape: int,
    ) -> VariableArray:
        if not _is_identifier(name):
            _raise_logged(ValueError, "Linear variable must have a non-empty name containing only letters")
        if name in self._used_vars:
            _raise_logged(VariableError, "Linear variable named " + name + " is already in use")
        # Two negative sizes would multiply to a positive column count under a shape no result fits.
        if not all(isinstance(size, Integral) and size >= 0 for size in shape.values()):
            _raise_logged(ValueError, "The sizes of a linear variable must be non-negative integers")
        self._used_vars.add(name)
        count = reduce(mul, shape.values(), 1)
        first = self._general_shift_variables
        if variable_type == VariableType.INTEGER:
            if DEBUG and (
                (lower_bound != -inf and not isinstance(lower_bound, int))
                or (upper_bound != inf and not isinstance(upper_bound, int))
            ):
                _raise_logged(ValueError, "For integer variables, the boundaries must be integers")
            self._tovric_model.addVars(count, np.full(count, lower_bound, dtype=np.float64), np.full(count, upper_bound, dtype=np.float64))
            solving.make_integral(self._tovric_model, first, count)
            type_var = np.int32
        elif variable_type == VariableType.REAL:
            self._tovric_model.addVars(count, np.full(count, lower_bound, dtype=np.float64), np.full(count, upper_bound, dtype=np.float64))
            type_var = np.float64
        elif variable_type == VariableType.BINARY:
            self._tovric_model.addVars(count, np.full(count, 0, dtype=np.int32), np.full(count, 1, dtype=np.int32))
            solving.make_integral(self._tovric_model, first, count)
            lower_bound, upper_bound = 0, 1
            type_var = np.int32
        else:
            _raise_logged(ValueError, "Invalid variable format")
        var = VariableArray(
            name, tuple(shape.values()), lower_bound, upper_bound, type_var, first, owner=self._columns_owner
        )
        self._variables[name] = var
        self._general_shift_variables += count
        VariableArray._total_created_variables += count
        return var

    def add_constraint(
        self,
        constraint: LinearExpression,
        lower_bound: tp.Optional[_CoefType] = None,
        upper_bound: tp.Optional[_CoefType] = None,
        equation_bound: tp.Optional[_CoefType] = None,
    ) -> None:
        if DEBUG and not isinstance(constraint, LinearExpression):
            if isinstance(constraint, LinearExpressionsArr):
                _raise_logged(BuildError, "To add a constraint of type 'LinearExpressionsArr', the 'add_constraints' function is used.")
            _raise_logged(BuildError, "Unknown type " + str(type(constraint)))
        if equation_bound is not None:
            if DEBUG and (lower_bound is not None or upper_bound is not None):
                _raise_logged(BuildError, _BORDER_TWICE)
            require_bound(equation_bound, "equation")
            lower_bound = upper_bound = equation_bound
        lower_bound = LinearModel.__set_border(lower_bound, constraint.lower_bound)
        upper_bound = LinearModel.__set_border(upper_bound, constraint.upper_bound)
        require_bound(lower_bound, "lower")
        require_bound(upper_bound, "upper")
        # A row holds the linear part only; dropping a quadratic part would solve another model.
        if constraint.quadratic_coefficients is not None:
            _raise_logged(BuildError, "A constraint with a quadratic part cannot be added")
        row = constraint.linear_coefficients
        self.__require_own_columns(_FOREIGN_ROW, constraint._owner, row.indices)
        if lower_bound is None:
            lower_bound = -inf
        if upper_bound is None:
            upper_bound = inf
        solving.require_usable_rows(self._tovric_model, np.array([constraint.constant], dtype=np.float64), row.data)
        self._tovric_model.addRow(
            exact.scalar_result(operator.sub, lower_bound, constraint.constant),
            exact.scalar_result(operator.sub, upper_bound, constraint.constant),
            row.nnz,
            row.indices,
            row.data,
        )

    def add_constraints(
        self,
        constraints: LinearExpressionsArr,
        lower_bounds: tp.Optional[np.ndarray] = None,
        upper_bounds: tp.Optional[np.ndarray] = None,
        equation_bounds: tp.Optional[np.ndarray] = None,
    ) -> None:
        if DEBUG and not isinstance(constraints, LinearExpressionsArr):
            if isinstance(constraints, LinearExpression):
                _raise_logged(BuildError, "To add a constraint of type 'LinearExpression', the 'add_constraint' function is used.")
            _raise_logged(BuildError, f"Unknown type {type(constraints)}")
        if equation_bounds is not None:
            if DEBUG and (lower_bounds is not None or upper_bounds is not None):
                _raise_logged(BuildError, _BORDER_TWICE)
            require_bounds(equation_bounds, "equation")
            lower_bounds, upper_bounds = equation_bounds.copy(), equation_bounds.copy()
        lower_bounds = LinearModel.__set_border(lower_bounds, constraints.lower_bounds)
        upper_bounds = LinearModel.__set_border(upper_bounds, constraints.upper_bounds)
        require_bounds(lower_bounds, "lower")
        require_bounds(upper_bounds, "upper")
        constants = constraints.constants
        if lower_bounds is None:
            lower_bounds = np.full(constants.shape, -inf, dtype=np.float64)
        if upper_bounds is None:
            upper_bounds = np.full(constants.shape, inf, dtype=np.float64)
        matrix = constraints.linear_coefficients
        self.__require_own_columns(_FOREIGN_ROWS, constraints._owner, matrix.indices)
        solving.require_usable_rows(self._tovric_model, np.asarray(constants, dtype=np.float64), matrix.data)
        self._tovric_model.addRows(
            constraints.num_constraints,
            exact.total(np.asarray(lower_bounds), constants, -1),
            exact.total(np.asarray(upper_bounds), constants, -1),
            matrix.nnz,
            matrix.indptr,
            matrix.indices,
            matrix.data,
        )

    def add_target(self, target: LinearExpression, minimization: bool) -> None:
        if DEBUG and not isinstance(target, LinearExpression):
            _raise_logged(BuildError, f"Unknown type {type(target)} for target")
        row = target.linear_coefficients
        quadratic = target.quadratic_coefficients
        # A copy: building the Hessian may sort these arrays in place, and they would be the target's.
        entries = None if quadratic is None else quadratic.tocoo(copy=True)
        quadratic_columns = () if entries is None else (entries.row, entries.col)
        self.__require_own_columns(_FOREIGN_TARGET, target._owner, row.indices, *quadratic_columns)
        # The new target replaces the earlier one whole: every column gets a cost, 0 where
        # the row names none, and a linear target passes an empty Hessian.
        dim = self._general_shift_variables
        costs = np.zeros(dim)
        np.add.at(costs, row.indices, row.data)
        hessian = csc_array((dim, dim)) if entries is None else self.__hessian(entries)
        solving.require_usable_target(self._tovric_model, np.arange(dim), costs, hessian.data)
        # Everything is checked before the sense changes, so a refused target leaves the old objective whole.
        sense = tovric.ObjSense.kMinimize if minimization else tovric.ObjSense.kMaximize
        self._tovric_model.changeObjectiveSense(sense)
        self._tovric_model.changeColsCost(dim, np.arange(dim), costs)
        self._tovric_model.passHessian(
            dim, hessian.size, tovric.HessianFormat.kTriangular, hessian.indptr, hessian.indices, hessian.data
        )

    # An expression built on another model's variables names columns of the same
    # numbers here, as every model counts from 0: its owner tells them apart. Rows
    # and targets are as wide as the process's column count when they were built,
    # which differs from this model's count once other variables exist; only their
    # entries must lie in this model's columns.
    def __require_own_columns(self, message: str, owner, *columns: np.ndarray) -> None:
        if owner is not None and owner is not self._columns_owner:
            _raise_logged(BuildError, message)
        if max((part.max() for part in columns if part.size), default=-1) >= self._general_shift_variables:
            _raise_logged(BuildError, message)

    # The solver minimises ½·xᵀHx; xᵀQx = ½·xᵀ(Q + Qᵀ)x, so H = Q + Qᵀ, which is 2Q
    # for the symmetric Q that products build.
    def __hessian(self, entries) -> csc_array:
        dim = self._general_shift_variables
        quadratic = csc_array((entries.data, (entries.row, entries.col)), shape=(dim, dim))
        return (quadratic + quadratic.T).tocsc()

    @staticmethod
    def _set_border(first_border: _CoefType, second_border: _CoefType) -> _CoefType:
        if DEBUG and first_border is not None and second_border is not None:
            raise BuildError(_BORDER_TWICE)
        return first_border if first_border is not None else second_border

    def set_solution(self, variable_name: str, solution: np.ndarray) -> None:
        var = self._variables[variable_name]
        self._prev_solution = solving.with_start_values(self._prev_solution, self._general_shift_variables,
                                                        var._map(), solution, variable_name)

    def solve(self, is_feasible: bool = False) -> SolutionStatus:
        run = solving.run(self._tovric_model, self._prev_solution)
        self._solution = run.solution
        if run.verdict is None:
            self._solution_values, self._objective_value = run.values, run.objective
            return SolutionStatus.OPTIMAL if run.optimal else SolutionStatus.SUBOPTIMAL
        # A model the solver would not take has no verdict of infeasibility.
        refused = solving.refused_message(run.verdict)
        if refused is not None:
            _raise_logged(SolverError, refused)
        if is_feasible:
            _raise_logged(SolverError, solving.NOT_SOLVED)
        log_w(solving.NOT_SOLVED)
        return SolutionStatus.INFEASIBLE

    objective_value = property(solving.objective_value)
    get_tovric_solution = solving.tovric_solution

    def get_result(self, variable_name: str) -> np.ndarray:
        values = solving.require_solution(self._solution_values)
        var = self._variables[variable_name]
        return solving.variable_values(values, var._map(), var.type, var.shape)

    def write_model(self, model_path: Path | str) -> None:
        solving.write_model(self._tovric_model, model_path)

    @staticmethod
    def __set_border(first_border, second_border):
        if first_border is not None and second_border is not None:
            raise ValueError(_BORDER_TWICE)
        return first_border if first_border is not None else second_border
