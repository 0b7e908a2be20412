"""What both linear models do with their solver: create it with the caller's
options, mark columns integral, keep start values, run it and judge the run,
read a variable's values from the solution, and write the model to a file."""
import typing as tp
from pathlib import Path

import numpy as np

import velmont.corvane_engine.tovric as tovric

from ._exceptions import SolverError
from ._logged_errors import raise_logged
from ._solver_verdict import Verdict, refusal_message, unsolved_verdict
from .core.tarvo_logger import log_w

NO_SOLUTION = "There is no solution to the problem. Run 'solve' to find it"
NOT_SOLVED = "The model was not solved correctly"


def new_solver(log_solver: bool, options: tp.Mapping[str, tp.Any]) -> tovric.LinearSolver:
    """A solver with the options by name, its log on the console when `log_solver` is true."""
    solver = tovric.LinearSolver()
    # The solver takes a bool only; 1 and 0 are refused, with an error line on the console.
    solver.setOptionValue("log_to_console", bool(log_solver))
    for option_name, value in options.items():
        solver.setOptionValue(option_name, value)
    return solver


def make_integral(solver: tovric.LinearSolver, first: int, count: int) -> None:
    """Mark the `count` columns from `first` on as integer columns."""
    solver.changeColsIntegrality(count, np.arange(first, first + count), np.full(count, tovric.TovricVarType.kInteger))


def with_start_values(start: tp.Optional[np.ndarray], column_count: int, columns, values,
                      variable_name: str) -> np.ndarray:
    """The start vector `start` (None before the first start values) with
    `values` at `columns`. It grows with the model, so that variables
    declared after the first call can be given start values too. Values that
    are not finite numbers are refused: the solver would refuse every later run."""
    values = np.asarray(values, dtype=np.float64)
    if not np.isfinite(values).all():
        raise_logged(ValueError, f"The start values of '{variable_name}' must be finite numbers, not "
                                 f"{values.flat[np.flatnonzero(~np.isfinite(values))[0]].item()!r}")
    missing = column_count - (0 if start is None else start.size)
    if start is None or missing > 0:
        start = np.concatenate([np.zeros((0,)) if start is None else start, np.zeros((missing,))])
    start[columns] = np.ravel(values)
    return start


class Run(tp.NamedTuple):
    """A run of the solver: its own solution object, and either a usable
    solution (its column values and objective) or the solver's verdict."""

    solution: tovric.TovricSolution
    values: tp.Optional[np.ndarray]
    objective: tp.Optional[float]
    optimal: bool
    verdict: tp.Optional[Verdict]


def run(solver: tovric.LinearSolver, start: tp.Optional[np.ndarray]) -> Run:
    """Run the solver on the model as built, from the start values if any.
    A feasible point within a time limit is usable, with a warning; without
    a usable solution, the verdict is logged as a warning."""
    if start is not None:
        start_solution = tovric.TovricSolution()
        start_solution.col_value = start
        solver.setSolution(start_solution)
    solver.run()
    solution = solver.getSolution()
    info = solver.getInfo()
    status = solver.getModelStatus()
    if not _is_usable(status, solution, info):
        verdict = unsolved_verdict(solver, status)
        log_w(verdict.warning)
        return Run(solution, None, None, False, verdict)
    optimal = status == tovric.TovricModelStatus.kOptimal
    if not optimal:
        log_w("Solution is suboptimal due to a time limit, but a primal solution is available")
    return Run(solution, np.array(solution.col_value), info.objective_function_value, optimal, None)


def _is_usable(status, solution, info) -> bool:
    # A run stopped by the time limit may hold values that break rows (a simplex
    # phase unfinished); only a feasible point is a solution.
    return status == tovric.TovricModelStatus.kOptimal or (
        status == tovric.TovricModelStatus.kTimeLimit and solution.value_valid
        and info.primal_solution_status == tovric.TovricSolutionStatus.kSolutionStatusFeasible)


NOT_FINITE_TARGET = "The coefficients of a target must be finite numbers"


def require_usable_target(solver: tovric.LinearSolver, columns: np.ndarray, costs: np.ndarray,
                          hessian_values: np.ndarray) -> None:
    """Refuse a target with a coefficient that is not a finite number, a cost
    (`costs[k]` that of column `columns[k]`) that the solver would take for an
    infinite one, or a Hessian entry it would refuse, logged: the solver is
    given the target in three steps, and a refusal at the last would leave the
    earlier target half replaced."""
    if not (np.isfinite(costs).all() and np.isfinite(hessian_values).all()):
        raise_logged(ValueError, NOT_FINITE_TARGET)
    infinite_cost = solver.getOptionValue("infinite_cost")
    too_large = np.flatnonzero(np.abs(costs) >= infinite_cost)
    if too_large.size:
        raise_logged(ValueError, f"The cost {costs[too_large[0]].item()!r} of column {columns[too_large[0]]} in the target is "
                                 f"not below the solver's infinite cost {infinite_cost:g} in magnitude")
    large = solver.getOptionValue("large_matrix_value")
    too_large = np.flatnonzero(np.abs(hessian_values) >= large)
    if too_large.size:
        raise_logged(ValueError, f"The quadratic part of the target makes the Hessian entry "
                                 f"{hessian_values[too_large[0]].item()!r}, not below the solver's large matrix value "
                                 f"{large:g} in magnitude")


NOT_FINITE_ROW = "A {} of the constraint is {} once its terms are added up; the solver holds finite numbers only"


def require_usable_rows(solver: tovric.LinearSolver, constants: np.ndarray, values: np.ndarray) -> None:
    """Refuse rows, logged and before any is added, that the solver would refuse: a constant
    (`constants`, one a row) or coefficient (`values`, those of every row) that overflowed
    to an infinity when terms were added up, or a coefficient at the solver's large matrix
    value or beyond."""
    if constants.size and not np.isfinite(constants).all():
        raise_logged(ValueError, NOT_FINITE_ROW.format("constant", _first_not_finite(constants)))
    if not values.size:
        return
    large = solver.getOptionValue("large_matrix_value")
    # In floats: abs() of the least integer of a type wraps to itself.
    magnitudes = np.abs(values.astype(np.float64, copy=False))
    if magnitudes.max() < large:  # one pass for the rows that pass; a NaN fails it too
        return
    if not np.isfinite(magnitudes).all():
        raise_logged(ValueError, NOT_FINITE_ROW.format("coefficient", _first_not_finite(values)))
    first = values[np.flatnonzero(magnitudes >= large)[0]].item()
    raise_logged(ValueError, f"The coefficient {first!r} of a constraint is not below the solver's large matrix "
                             f"value {large:g} in magnitude")


def _first_not_finite(values: np.ndarray) -> str:
    return repr(values.flat[np.flatnonzero(~np.isfinite(values))[0]].item())


def refused_message(verdict: Verdict) -> tp.Optional[str]:
    """The error text of a model that the solver refused to judge, else None."""
    return None if verdict.refusal is None else refusal_message(NOT_SOLVED, verdict.refusal)


def require_solution(part):
    """`part` of the last usable solution; before there is one, the logged SolverError."""
    if part is None:
        raise_logged(SolverError, NO_SOLUTION)
    return part


# The two readings that are the same in both models, taken by each class as
# its own `objective_value` property and `get_tovric_solution` method.
def objective_value(model) -> float:
    """The objective at the last usable solve."""
    require_solution(model._solution_values)
    return model._objective_value


def tovric_solution(model) -> tovric.TovricSolution:
    """The solver's own solution object of the last run."""
    return require_solution(model._solution)


def variable_values(values: np.ndarray, columns, dtype, shape) -> np.ndarray:
    """A variable's values, shaped like it, from the column values of a solution."""
    values = values[columns]
    if np.issubdtype(dtype, np.integer):
        # Integral columns come back within the solver's tolerance (2.9999999 for 3): round, never truncate.
        values = np.rint(values)
    return values.astype(dtype).reshape(shape)


def write_model(solver: tovric.LinearSolver, model_path: tp.Union[Path, str]) -> None:
    """Write the model to the file, in the format its name ends with; missing directories are created."""
    path = model_path if isinstance(model_path, Path) else Path(model_path)
    path.parent.mkdir(parents=True, exist_ok=True)
    solver.writeModel(path.as_posix())
