"""The engine's linear solver: a thin layer over HiGHS.

Method and enumerator names are those of the HiGHS interface. Every call that
builds the model checks its arguments (lengths, column numbers, finite
values) before they reach HiGHS, whose native side reads raw buffers by the
counts it is given, and turns a status of kError into an exception instead
of leaving the model silently unchanged. `run` reports its outcome through
`getModelStatus` and never raises.
"""
import contextlib
import functools
import gzip
import importlib.metadata
import math
import os
import secrets
import shutil
import stat

import numpy as np

# This layer reaches into highspy's core module, whose names are not part of
# its public interface: only the releases it was tested with are taken.
_TESTED_HIGHSPY = "1.16"
if not importlib.metadata.version("highspy").startswith(_TESTED_HIGHSPY + "."):
    raise ImportError(f"velmont.corvane_engine.tovric needs highspy {_TESTED_HIGHSPY}.x, found highspy "
                      f"{importlib.metadata.version('highspy')}: install the version that pyproject.toml names")

from highspy import (HessianFormat, HighsLogType, HighsModelStatus, HighsSolution, HighsStatus, HighsVarType, ObjSense,
                     SolutionStatus, kHighsInf)
# The core class, not the `highspy.Highs` wrapper: the wrapper prints a
# banner at construction, before "log_to_console" can be set, and installs
# callback machinery that this solver does not use.
from highspy._core import _Highs, cb
from scipy.sparse import csc_array, tril, triu

from ._tovric_pending import PendingCosts, PendingRows

kTovricInf = kHighsInf
TovricSolution = HighsSolution
TovricVarType = HighsVarType
TovricModelStatus = HighsModelStatus
# What `getInfo().primal_solution_status` reports of the values in `getSolution()`.
TovricSolutionStatus = SolutionStatus

__all__ = [
    "kTovricInf",
    "LinearSolver",
    "TovricSolution",
    "TovricVarType",
    "TovricModelStatus",
    "TovricSolutionStatus",
    "ObjSense",
    "HessianFormat",
]

_INTEGRALITY_CODES = np.array(sorted(int(v) for v in HighsVarType.__members__.values()))


def _count(n, what):
    if isinstance(n, (bool, np.bool_)) or not isinstance(n, (int, np.integer)) or n < 0:
        raise ValueError(f"{what} must be a non-negative integer, got {n!r}")
    return int(n)


def _vector(values, length, what, dtype=np.float64):
    array = np.ascontiguousarray(values, dtype=dtype).reshape(-1)
    if array.size != length:
        raise ValueError(f"{what}: {array.size} entries given, {length} expected")
    return array


def _finite(array, what):
    if not np.all(np.isfinite(array)):
        raise ValueError(f"{what} must be finite")
    return array


def _not_nan(array, what):
    if np.any(np.isnan(array)):
        raise ValueError(f"{what} must not be NaN")
    return array


def _indices(values, length, limit, what):
    """Column (or row) numbers as int32, each in 0 .. limit - 1."""
    raw = np.asarray(values).reshape(-1)
    if raw.size and not np.issubdtype(raw.dtype, np.integer):
        raise ValueError(f"{what} must be integers")
    array = _vector(raw, length, what, dtype=np.int64)
    if array.size and (array.min() < 0 or array.max() >= limit):
        raise ValueError(f"{what} must lie in 0 .. {limit - 1}")
    return array.astype(np.int32)


def _offsets(values, count, nnz, what):
    """CSR/CSC start offsets: count + 1 non-decreasing entries from 0 to nnz."""
    array = _vector(values, count + 1, what, dtype=np.int64)
    if array[0] != 0 or array[-1] != nnz or np.any(np.diff(array) < 0):
        raise ValueError(f"{what} must rise from 0 to {nnz}")
    return array


# Model statuses with which HiGHS gives up on a model rather than judging it.
_REFUSALS = frozenset((HighsModelStatus.kNotset, HighsModelStatus.kLoadError, HighsModelStatus.kModelError,
                       HighsModelStatus.kPresolveError, HighsModelStatus.kSolveError, HighsModelStatus.kPostsolveError))
# HiGHS names a sub-solver's own verdict in a log line of this form ("QP solver model status: Non-convex").
_SUB_SOLVER_STATUS = "solver model status:"
_KEPT_LINES = 5


class _RunLog:
    """The lines of HiGHS's log that say why a run could not solve: its errors
    and its sub-solvers' verdicts, at most a few. It holds no reference to the
    solver, so the callback that HiGHS keeps makes no reference cycle."""

    def __init__(self):
        self.lines = []

    def __call__(self, callback_type, message, data_out, data_in, user_data):
        if len(self.lines) < _KEPT_LINES and (data_out.log_type == HighsLogType.kError or _SUB_SOLVER_STATUS in message):
            self.lines.append(" ".join(message.removeprefix("ERROR:").split()))


def _checked(status, operation):
    if status == HighsStatus.kError:
        raise ValueError(f"{operation} was refused by the linear solver")
    return status


def _after_pending(method):
    """The operation runs on the model with every collected row and cost in it."""
    @functools.wraps(method)
    def after_pending(self, *args):
        self._pending_rows.flush_into(self._highs)
        self._pending_costs.flush_into(self._highs)
        return method(self, *args)
    return after_pending


_SCALAR_INTEGERS = (int, np.int32, np.int64)
_SCALAR_NUMBERS = (float, int, np.float64, np.int32, np.int64)


class LinearSolver:
    """One linear or mixed-integer model with an optional convex quadratic objective.

    Single rows and single costs are checked when given and handed to HiGHS
    in bulk before the next other operation (see _tovric_pending): every
    other method that reaches the HiGHS model carries @_after_pending."""

    def __init__(self):
        self._highs = _Highs()
        self._run_status = None
        self._run_log = None
        self._pending_rows = PendingRows()
        self._pending_costs = PendingCosts()
        self._row_limits = None
        self._column_count = 0

    def _num_col(self):
        return self._column_count

    def __limits(self):
        """(infinite_bound, large_matrix_value): the options by which HiGHS refuses a row."""
        if self._row_limits is None:
            self._row_limits = tuple(self._highs.getOptionValue(name)[1]
                                     for name in ("infinite_bound", "large_matrix_value"))
        return self._row_limits

    @_after_pending
    def getOptionValue(self, name):
        """The value of a HiGHS option; an unknown name raises ValueError."""
        status, value = self._highs.getOptionValue(name)
        _checked(status, f"Option {name!r}")
        return value

    @_after_pending
    def setOptionValue(self, name, value):
        """Set a HiGHS option; an unknown name or an unfit value raises ValueError."""
        self._row_limits = None
        return _checked(self._highs.setOptionValue(name, value), f"Option {name!r} with the value {value!r}")

    @_after_pending
    def addVars(self, n, lower, upper):
        n = _count(n, "The column count")
        lower = _not_nan(_vector(lower, n, "The lower bounds"), "The lower bounds")
        upper = _not_nan(_vector(upper, n, "The upper bounds"), "The upper bounds")
        try:
            return _checked(self._highs.addVars(n, lower, upper), "addVars")
        finally:
            self._column_count = self._highs.getNumCol()

    @_after_pending
    def changeColsIntegrality(self, n, columns, integrality):
        n = _count(n, "The column count")
        columns = _indices(columns, n, self._num_col(), "The columns")
        codes = _vector(np.asarray(integrality).astype(np.int64), n, "The integrality", dtype=np.int64)
        if not np.all(np.isin(codes, _INTEGRALITY_CODES)):
            raise ValueError("The integrality must hold TovricVarType values")
        return _checked(self._highs.changeColsIntegrality(n, columns, codes.astype(np.uint8)), "changeColsIntegrality")

    def addRow(self, lower, upper, nnz, indices, values):
        if type(nnz) is not int or nnz < 0:
            nnz = _count(nnz, "The entry count")
        lower, upper = float(lower), float(upper)
        if math.isnan(lower) or math.isnan(upper):
            raise ValueError("The row bounds must not be NaN")
        num_col = self._column_count
        if not self._pending_rows.add_plain(lower, upper, nnz, indices, values, num_col, self._row_limits or self.__limits()):
            indices = _indices(indices, nnz, num_col, "The columns of the row")
            values = _finite(_vector(values, nnz, "The values of the row"), "The values of the row")
            self._pending_rows.add(lower, upper, indices.tolist(), values.tolist(), self.__limits())
        return HighsStatus.kOk

    @_after_pending
    def addRows(self, m, lower, upper, nnz, starts, indices, values):
        """Add m rows whose entries are given in CSR form (`starts` holds m + 1 offsets)."""
        m = _count(m, "The row count")
        nnz = _count(nnz, "The entry count")
        lower = _not_nan(_vector(lower, m, "The lower bounds"), "The lower bounds")
        upper = _not_nan(_vector(upper, m, "The upper bounds"), "The upper bounds")
        starts = _offsets(starts, m, nnz, "The row starts")
        indices = _indices(indices, nnz, self._num_col(), "The columns of the rows")
        values = _finite(_vector(values, nnz, "The values of the rows"), "The values of the rows")
        return _checked(self._highs.addRows(m, lower, upper, nnz, starts[:-1].astype(np.int32), indices, values), "addRows")

    @_after_pending
    def changeObjectiveSense(self, sense):
        return _checked(self._highs.changeObjectiveSense(sense), "changeObjectiveSense")

    def changeColCost(self, column, cost):
        num_col = self._num_col()
        if type(column) in _SCALAR_INTEGERS and 0 <= column < num_col:
            column = int(column)
        else:
            column = int(_indices([column], 1, num_col, "The column")[0])
        if type(cost) in _SCALAR_NUMBERS and math.isfinite(cost):
            cost = float(cost)
        else:
            cost = float(_finite(np.array([cost], dtype=np.float64), "The cost")[0])
        self._pending_costs.add(column, cost)
        return HighsStatus.kOk

    @_after_pending
    def changeColsCost(self, n, columns, costs):
        n = _count(n, "The column count")
        columns = _indices(columns, n, self._num_col(), "The columns")
        costs = _finite(_vector(costs, n, "The costs"), "The costs")
        return _checked(self._highs.changeColsCost(n, columns, costs), "changeColsCost")

    @_after_pending
    def passHessian(self, dim, nnz, format, starts, indices, values):
        """Replace the quadratic objective by ½·xᵀHx.

        H is symmetric of order `dim`, in CSC form, under
        `HessianFormat.kTriangular`: one triangle or both may be given (both
        must then agree). Only the lower triangle is handed on, which is what
        HiGHS reads for that format. An order below the column count leaves
        the later columns without a quadratic term.
        """
        if format != HessianFormat.kTriangular:
            raise ValueError("The Hessian must be given as HessianFormat.kTriangular")
        dim = _count(dim, "The Hessian order")
        nnz = _count(nnz, "The Hessian entry count")
        num_col = self._num_col()
        if dim > num_col:
            raise ValueError(f"The Hessian order {dim} exceeds the column count {num_col}")
        starts = _offsets(starts, dim, nnz, "The Hessian column starts")
        rows = _indices(indices, nnz, dim, "The Hessian rows")
        values = _finite(_vector(values, nnz, "The Hessian values"), "The Hessian values")
        lower = _lower_triangle(csc_array((values, rows, starts), shape=(dim, dim)))
        lower.resize((num_col, num_col))
        status = self._highs.passHessian(
            num_col, lower.nnz, format, lower.indptr.astype(np.int32), lower.indices.astype(np.int32), lower.data
        )
        return _checked(status, "passHessian")

    @_after_pending
    def setSolution(self, solution):
        """A start point for the next run; a vector shorter than the column count
        fixes the first columns only and leaves the rest to the solver."""
        num_col = self._num_col()
        values = _finite(np.asarray(solution.col_value, dtype=np.float64).reshape(-1), "The start values")
        if values.size > num_col:
            raise ValueError(f"The start point has {values.size} values for {num_col} columns")
        if values.size == num_col:
            return _checked(self._highs.setSolution(solution), "setSolution")
        columns = np.arange(values.size, dtype=np.int32)
        return _checked(self._highs.setSolution(values.size, columns, values), "setSolution")

    @_after_pending
    def run(self):
        if self._run_log is None:
            # Installed at the first run, when the options are set: installing it
            # prints HiGHS's banner while "log_to_console" is still on.
            self._run_log = _RunLog()
            self._highs.setCallback(self._run_log, None)
            self._highs.startCallback(cb.HighsCallbackType.kCallbackLogging)
        self._run_log.lines.clear()
        self._run_status = self._highs.run()
        return self._run_status

    @_after_pending
    def getRefusal(self):
        """Why HiGHS gave up on the model in the last run without judging it
        (an error, such as integer columns with a quadratic objective, or a
        non-convex one), or None when it did not or nothing has run. The
        reason is taken from HiGHS's log; with "output_flag" off, which
        silences it, the model status is all there is to name."""
        status = self._highs.getModelStatus()
        if self._run_status is None or (self._run_status != HighsStatus.kError and status not in _REFUSALS):
            return None
        return "; ".join(self._run_log.lines) or f"model status '{self.modelStatusToString(status)}'"

    def modelStatusToString(self, status):
        return self._highs.modelStatusToString(status)

    @_after_pending
    def getSolution(self):
        return self._highs.getSolution()

    @_after_pending
    def getInfo(self):
        return self._highs.getInfo()

    @_after_pending
    def getModelStatus(self):
        return self._highs.getModelStatus()

    @_after_pending
    def writeModel(self, path):
        """Write the model: LP format for a name ending in .lp, else MPS, the
        ending matched in any case; a name that ends in .gz besides is written
        gzip-compressed, as HiGHS reads such files."""
        path = str(path)
        if "\0" in path:
            # HiGHS would take the name only up to it and write another file.
            raise ValueError(f"The model file path {path!r} holds a NUL character")
        plain_name = path[:-3] if path.lower().endswith(".gz") else path
        ending = ".lp" if plain_name.lower().endswith(".lp") else ".mps"
        # HiGHS picks the format by a lower-case ending and writes no compression:
        # the model is written under a new name of that ending in the same folder,
        # compressed under another when asked, and renamed to the caller's name last,
        # so that no other file is touched and a failed write leaves the target as it was.
        # A link is written through, as writing in place would.
        target = os.path.realpath(path) if os.path.islink(path) else path
        with _files_beside(target, path) as new_file:
            staging = new_file(ending)
            self.__write(staging, path)
            if plain_name != path:
                compressed = new_file(".gz")
                with open(staging, "rb") as source, gzip.open(compressed, "wb") as packed:
                    shutil.copyfileobj(source, packed)
                staging = compressed
            if os.path.exists(target):
                # The caller's file keeps its permissions, as when written in place.
                os.chmod(staging, stat.S_IMODE(os.stat(target).st_mode))
            os.replace(staging, target)

    def __write(self, file_name, path):
        if self._highs.writeModel(file_name) == HighsStatus.kError:
            raise OSError(f"The model could not be written to {path!r}")


@contextlib.contextmanager
def _files_beside(target, path):
    """`new_file(suffix)`: a new empty file in the folder of `target`, of a name that no other
    file has, ending in `suffix`; those still there at the end are removed. It is made as
    `open` makes a file, so that the permissions the caller's umask gives apply."""
    made = []

    def new_file(suffix):
        folder, base = os.path.split(target)
        while True:
            name = os.path.join(folder, f".{base[:64]}.{secrets.token_hex(8)}{suffix}")
            try:
                os.close(os.open(name, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o666))
            except FileExistsError:
                continue
            except OSError as error:
                raise OSError(f"The model could not be written to {path!r}") from error
            made.append(name)
            return name

    try:
        yield new_file
    finally:
        for name in made:
            if os.path.exists(name):
                os.remove(name)


def _lower_triangle(matrix):
    """The lower triangle, in CSC form, of the symmetric matrix that one of its
    triangles or both describe."""
    matrix.sum_duplicates()
    strictly_lower, strictly_upper = tril(matrix, -1), triu(matrix, 1)
    if strictly_upper.nnz and not strictly_lower.nnz:
        matrix = matrix.T
    elif strictly_upper.nnz:
        mismatch = abs(strictly_lower - strictly_upper.T)
        scale = max(1.0, float(abs(matrix).max()))
        if mismatch.nnz and mismatch.max() > 1e-9 * scale:
            raise ValueError("The Hessian must be symmetric")
    lower = csc_array(tril(matrix))
    lower.sort_indices()
    return lower
