"""The linear model written as formula text: `LinearModel`, its enumerations and `inf`.

`LinearModel(log_solver=False, **options)`: an empty model over its own
solver. `log_solver` prints the solver's log on the console; `options` are
HiGHS options by name (`time_limit=10.0`, `mip_rel_gap=0.01`), passed on
unchanged.

`get_variables(name, variable_type, lo=-inf, hi=inf, **dims)` declares a
block of variables and returns its `LinearVariable`. `name` is an identifier;
`variable_type` a `VariableType` of this module; `lo` and `hi` bound every
element, in the units of the variable's own values (`-inf` and `inf` leave a
side free). `INTEGER` bounds must be ints within the 32-bit range, so both
must be given; `BINARY` ignores them (0 to 1). Each keyword of `dims` names
a dimension and gives its size, first dimension first.

`add_constraint(expression, lo=None, hi=None, eq=None, **foralls)` adds one
solver row lo <= expression <= hi per combination of the `foralls` values
(keyword = index name, value = a range or a sequence of ints; the first
keyword outermost). A border comes from the expression's comparison
(`x[i] <= 5`) or from `lo`, `hi`, or `eq` for both sides, each side from one
source only; a missing side is free. The expression must be linear.

`add_target(expression, minimization)` makes a linear or quadratic
expression the objective, minimised when `minimization` is true, else
maximised (a quadratic one must be convex to minimise, concave to maximise).
It replaces the earlier target whole; its constant is not part of
`objective_value`.

`set_solution(variable_name, solution)` gives start values for the next
solves: an array shaped like the variable, its values in C order, or one
value for every element.

`solve()` runs the solver on the model as built so far and returns
`SolutionStatus.OPTIMAL`, or `SUBOPTIMAL` for a feasible point found within a
time limit (with a warning). Without a usable solution it logs the solver's
verdict and raises `SolverError`.

`objective_value` (the objective at the last usable solve),
`get_result(variable_name)` (the variable's values at it, shaped like the
variable: int32 for `INTEGER` and `BINARY` variables, float64 for `REAL`) and
`get_tovric_solution()` (the solver's own solution object of the last run)
raise `SolverError` before there is such a solve or run.

`write_model(model_path)` writes the model to a file, LP format for a name
ending in .lp and MPS otherwise, gzip-compressed for a further .gz; missing
directories are created.
"""
from __future__ import annotations

import ast
import enum
import operator
import typing as tp
from functools import reduce
from numbers import Integral, Real
from pathlib import Path

import numpy as np
from scipy.sparse import csc_array

import velmont.corvane_engine.tovric as tovric

from .._exceptions import FormulaError, SolverError, VariableError
from .. import _linear_solve as solving
from .._finite_numbers import require_bound
from .._logged_errors import raise_logged as log_and_raise
from .._text_rules import (TEXT_BUILTINS, is_identifier as _is_identifier, is_nfkc as _is_nfkc,
                           is_reserved_name as _is_reserved, nfkc_message as _nfkc_message)
from ..core.tarvo_logger import *
from .compiled_linear_expressions import CompiledLinearExpression, CompiledSum
from . import _row_reader as row_reader
from ._sum_text import evaluated_sum
from .linear_expression import for_clauses
from .linear_variables import Index, LinearVariable

inf = tovric.kTovricInf


class SolutionStatus(enum.Enum):
    """What `LinearModel.solve` found: the optimum, or a feasible point when a time limit stopped the search."""

    OPTIMAL = enum.auto()
    SUBOPTIMAL = enum.auto()


class VariableType(enum.Enum):
    """The values a variable takes: any real number, integers, or 0 and 1."""

    REAL = enum.auto()
    INTEGER = enum.auto()
    BINARY = enum.auto()


# Formula text is evaluated, so it may hold only what the expression operators
# write: names, numbers, calls of names, +, -, *, lists, tuples and for clauses;
# and / as well, the text of a fraction.
_FORMULA_NODES = (ast.Expression, ast.List, ast.ListComp, ast.comprehension, ast.Tuple, ast.Call, ast.Name,
                  ast.Load, ast.Store, ast.Constant, ast.BinOp, ast.Add, ast.Sub, ast.Mult, ast.Div, ast.UnaryOp,
                  ast.UAdd, ast.USub)


def _is_formula_node(node) -> bool:
    if not isinstance(node, _FORMULA_NODES):
        return False
    if isinstance(node, ast.Constant):
        return isinstance(node.value, (int, float))
    if isinstance(node, ast.Call):
        return isinstance(node.func, ast.Name) and not node.keywords
    if isinstance(node, ast.comprehension):
        return not node.ifs and not node.is_async
    return True


def _is_sum_call(node) -> bool:
    """The call that the sum combinators write: CompiledSum over one list."""
    return (isinstance(node, ast.Call) and isinstance(node.func, ast.Name) and node.func.id == "CompiledSum"
            and len(node.args) == 1 and isinstance(node.args[0], (ast.List, ast.ListComp)))


# INTEGER bounds go to the engine as int32.
_INT32 = np.iinfo(np.int32)


def _is_reserved_name(name: str) -> bool:
    """True for a name that would hide a binding of formula evaluation, or a keyword, which is no name at all."""
    return _is_reserved(name, TEXT_BUILTINS)


def _reserved_name_message(name: str) -> str:
    return (f"Name '{name}' is reserved by the formula evaluation of the linear model (range, __builtins__ and "
            "Python keywords). Change the name to a valid one")


def _refuse_misread_name(kind: str, name: str) -> None:
    """Refuse an identifier that formula text would read as another name, or
    that would hide a binding of formula evaluation."""
    if not _is_nfkc(name):
        log_and_raise(VariableError, _nfkc_message(kind, name))
    if _is_reserved_name(name):
        log_and_raise(VariableError, _reserved_name_message(name))


def _fits_int32(bound) -> bool:
    """True for a bound the int32 arrays hold; other types are left to the integer-bound check."""
    return not isinstance(bound, int) or _INT32.min <= bound <= _INT32.max


class LinearModel:
    def __init__(self, log_solver: bool = False, **options) -> None:
        self._tovric_model = solving.new_solver(log_solver, options)
        self._used_vars = set()
        self._general_shift_variable = 0
        self._variables = {}
        # Each variable's (first column, sizes, strides), for the row reader.
        self._blocks = {}
        self._formulas_dir = {"CompiledSum": CompiledSum}
        self._prev_solution = None
        self._solution = None
        self._solution_values = None
        self._objective_value = None

    def get_variables(self, name: str, variable_type: VariableType, lo: tp.Union[int, float] = -inf,
                      hi: tp.Union[int, float] = inf, **dims: int) -> LinearVariable:
        if not _is_identifier(name):
            log_and_raise(ValueError, "Linear variable must have a non-empty name containing only letters")
        _refuse_misread_name("Linear variable", name)
        if name in self._used_vars:
            log_and_raise(VariableError, f"Linear variable named {name} is already in use")
        if not all(isinstance(size, Integral) and size >= 0 for size in dims.values()):
            log_and_raise(ValueError, "The sizes of a linear variable must be non-negative integers")
        if variable_type == VariableType.INTEGER and not all(_fits_int32(bound) for bound in (lo, hi)):
            log_and_raise(ValueError, "The boundaries of integer variables must lie in the 32-bit range "
                                      f"{_INT32.min} .. {_INT32.max}")
        self._used_vars.add(name)
        n = reduce(operator.mul, dims.values(), 1)
        first = self._general_shift_variable
        if variable_type == VariableType.INTEGER:
            if not isinstance(lo, int) or not isinstance(hi, int):
                log_and_raise(ValueError, "For integer variables, the boundaries must be integers")
            self._tovric_model.addVars(n, np.full(n, lo, dtype=np.int32), np.full(n, hi, dtype=np.int32))
            solving.make_integral(self._tovric_model, first, n)
            type_var = "int32"
        elif variable_type == VariableType.REAL:
            self._tovric_model.addVars(n, np.full(n, lo, dtype=np.float64), np.full(n, hi, dtype=np.float64))
            type_var = "float64"
        elif variable_type == VariableType.BINARY:
            self._tovric_model.addVars(n, np.zeros(n, dtype=np.int32), np.ones(n, dtype=np.int32))
            solving.make_integral(self._tovric_model, first, n)
            type_var = "int32"
        else:
            log_and_raise(ValueError, "Invalid variable format")
        variable = LinearVariable(name, lo, hi, dims, first, type_var=type_var)
        self._variables[name] = variable
        self._blocks[name] = (first, tuple(dims.values()), tuple(variable._shifts))
        self._general_shift_variable += n
        return variable

    def get_indexes(self, indexes: tp.Sequence[str]) -> tp.Union[Index, tp.List[Index]]:
        """Provides indexes for writing expressions.
        :param indexes: sequence of index names.
        :return: sequence of indexes or single index.
        """
        if len(indexes) == 0:
            log_and_raise(ValueError, "The indexes parameter must contain a non-empty sequence of index names")
        result = [self.__new_index(index_name) for index_name in indexes]
        return result if len(result) > 1 else result[0]

    def __new_index(self, name) -> Index:
        """An index of that name, unless formula text would misread the name or a variable has it."""
        if not _is_identifier(name):
            log_and_raise(VariableError, f"Index name {name!r} is not a valid identifier")
        _refuse_misread_name("Index", name)
        if name in self._used_vars:
            log_and_raise(VariableError, f"Index named {name} is already in use")
        return Index(name)

    def __evaluate(self, text: str, fors: tp.Optional[str] = None):
        """The value of formula text, or with `fors` the list of its values over those for clauses."""
        # eval ignores leading blanks and tabs; the parser does not.
        text = text.lstrip(" \t")
        if fors is None and "CompiledSum" not in self._variables:
            value = row_reader.read_expression(text, self._blocks)
            if value is None:
                value = evaluated_sum(text, self._variables)
            if value is not None:
                return value
        tree = ast.parse(text, mode="eval")
        if fors is not None:
            # Parsed alone first, the text cannot close the list around it and add rows of its own.
            tree = ast.parse(f"[{text} {fors}]", mode="eval")
        nodes = list(ast.walk(tree))
        if not all(_is_formula_node(node) for node in nodes):
            log_and_raise(FormulaError, "Formula text may hold only names, numbers, calls, +, -, *, / and for clauses")
        if "CompiledSum" in self._variables and any(_is_sum_call(node) for node in nodes):
            log_and_raise(FormulaError, "A linear variable named CompiledSum hides the sums of formula text")
        namespace = {**self._formulas_dir, **self._variables, "__builtins__": {"range": range}}
        return eval(compile(tree, "<formula>", "eval"), namespace)

    def __rows(self, text: str, fors: str) -> tp.List[row_reader.Row]:
        """(constant, columns, coefficients) of each row of formula text over the for clauses."""
        if "CompiledSum" not in self._variables:
            rows = row_reader.read_rows(text.lstrip(" \t"), fors, self._blocks)
            if rows is not None:
                return rows
        rows = [LinearModel.__compiled(row) for row in self.__evaluate(text, fors)]
        if any(row._quadratic is not None and row._quadratic_coefficients.count_nonzero() for row in rows):
            # A row holds only linear terms; dropping the quadratic part would change the constraint.
            log_and_raise(FormulaError, "A constraint must be linear: its quadratic part cannot be a solver row")
        return [(row.constant, row.linear_coefficients_indexes, row.linear_coefficients) for row in rows]

    @staticmethod
    def __compiled(value) -> CompiledLinearExpression:
        if not isinstance(value, CompiledLinearExpression):
            log_and_raise(FormulaError, "The formula does not evaluate to an expression over linear variables")
        return value

    def add_constraint(self, expression, lo: tp.Optional[Integral] = None, hi: tp.Optional[Integral] = None,
                       eq: tp.Optional[Integral] = None, **foralls) -> None:
        lo = LinearModel.__set_border(lo, expression.lo)
        hi = LinearModel.__set_border(hi, expression.hi)
        if eq is not None:
            if lo is not None or hi is not None:
                raise ValueError("The borders is set twice")
            require_bound(eq, "equation")
            lo = hi = eq
        require_bound(lo, "lower")
        require_bound(hi, "upper")
        lo = -inf if lo is None else lo
        hi = inf if hi is None else hi
        if not isinstance(lo, Real) or not isinstance(hi, Real):
            log_and_raise(TypeError, "The borders of a constraint must be numbers")
        rows = self.__rows(f"{expression}", for_clauses(foralls))
        coefficients = [row[2] for row in rows]
        solving.require_usable_rows(self._tovric_model, np.array([row[0] for row in rows], dtype=np.float64),
                                    coefficients[0] if len(rows) == 1 else np.concatenate([np.zeros(0)] + coefficients))
        for c, columns, coefficients in rows:
            self._tovric_model.addRow(lo - c, hi - c, len(columns), columns, coefficients)

    def add_target(self, expression, minimization: bool) -> None:
        target = LinearModel.__compiled(self.__evaluate(f"{expression}"))
        n = self._general_shift_variable
        costs = target.linear_coefficients
        hessian = target.quadratic_coefficients
        if hessian is None:
            hessian = csc_array((n, n))
        hessian.resize((n, n))
        solving.require_usable_target(self._tovric_model, target.linear_coefficients_indexes, costs, hessian.data)
        # Everything is checked before the sense changes, so a refused target leaves the old objective whole.
        sense = tovric.ObjSense.kMinimize if minimization else tovric.ObjSense.kMaximize
        self._tovric_model.changeObjectiveSense(sense)
        # A new target replaces the earlier one: its costs are cleared first, and a
        # linear target passes an empty Hessian.
        self._tovric_model.changeColsCost(n, np.arange(n), np.zeros(n))
        for column, cost in zip(target.linear_coefficients_indexes.tolist(), costs.tolist()):
            self._tovric_model.changeColCost(column, cost)
        self._tovric_model.passHessian(n, hessian.size, tovric.HessianFormat.kTriangular, hessian.indptr,
                                       hessian.indices, hessian.data)

    def set_solution(self, variable_name: str, solution: np.ndarray) -> None:
        variable = self._variables[variable_name]
        self._prev_solution = solving.with_start_values(self._prev_solution, self._general_shift_variable,
                                                        list(variable.map), solution, variable_name)

    def solve(self) -> SolutionStatus:
        run = solving.run(self._tovric_model, self._prev_solution)
        self._solution = run.solution
        if run.verdict is not None:
            log_and_raise(SolverError, solving.refused_message(run.verdict) or solving.NOT_SOLVED)
        self._solution_values, self._objective_value = run.values, run.objective
        return SolutionStatus.OPTIMAL if run.optimal else SolutionStatus.SUBOPTIMAL

    objective_value = property(solving.objective_value)
    get_tovric_solution = solving.tovric_solution

    def get_result(self, variable_name: str) -> np.ndarray:
        values = solving.require_solution(self._solution_values)
        variable = self._variables[variable_name]
        return solving.variable_values(values, list(variable.map), variable.type, variable.shape)

    def write_model(self, model_path: tp.Union[Path, str]) -> None:
        solving.write_model(self._tovric_model, model_path)

    @staticmethod
    def __set_border(first_border, second_border):
        if first_border is not None and second_border is not None:
            raise ValueError("The border is set twice")
        return first_border if first_border is not None else second_border
