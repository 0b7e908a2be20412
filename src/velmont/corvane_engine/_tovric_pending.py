"""Single rows and single costs that the linear solver collects and hands to
HiGHS in one bulk call, before any other operation on the model.

A HiGHS call per row costs several microseconds of argument conversion; a
model of 10^5 rows spends most of its build there. Every argument is checked
when it is given, against everything HiGHS refuses, so a refusal still
reaches the call that caused it.
"""
import math

import numpy as np
from highspy import HighsStatus


class PendingRows:
    """Rows checked and kept, in call order, for one `addRows` call."""

    def __init__(self):
        self._lower, self._upper, self._starts = [], [], []
        self._columns, self._values = [], []

    def add_plain(self, lower: float, upper: float, nnz: int, indices, values, num_col: int, limits) -> bool:
        """Keep a row given as plain numpy vectors that passes every check, and say so;
        anything else is left to `add`, whose checks name what is wrong."""
        if (type(indices) is not np.ndarray or type(values) is not np.ndarray or indices.shape != (nnz,)
                or values.shape != (nnz,) or indices.dtype.kind not in "iu" or values.dtype.kind not in "fiu"):
            return False
        columns, numbers = indices.tolist(), values.tolist()
        if columns and (min(columns) < 0 or max(columns) >= num_col or len(set(columns)) != nnz
                        # a sum of finite values is finite unless it overflows, which only takes the long way
                        or not math.isfinite(sum(numbers)) or max(map(abs, numbers)) >= limits[1]):
            return False
        if lower >= limits[0] or upper <= -limits[0]:
            return False
        self.__append(lower, upper, columns, numbers)
        return True

    def add(self, lower: float, upper: float, columns: list, values: list, limits) -> None:
        infinite_bound, large_value = limits
        if lower >= infinite_bound or upper <= -infinite_bound:
            raise ValueError("addRow was refused by the linear solver: a lower bound of +inf or an upper bound of -inf")
        if len(set(columns)) != len(columns):
            raise ValueError("addRow was refused by the linear solver: a column appears twice in the row")
        if values and max(map(abs, values)) >= large_value:
            raise ValueError(f"addRow was refused by the linear solver: a value of {large_value:g} or more")
        self.__append(lower, upper, columns, values)

    def __append(self, lower, upper, columns, values):
        self._lower.append(lower)
        self._upper.append(upper)
        self._starts.append(len(self._columns))
        self._columns.extend(columns)
        self._values.extend(values)

    def flush_into(self, highs) -> None:
        if not self._lower:
            return
        status = highs.addRows(len(self._lower), np.array(self._lower), np.array(self._upper), len(self._values),
                               np.array(self._starts, dtype=np.int32), np.array(self._columns, dtype=np.int32),
                               np.array(self._values, dtype=np.float64))
        self.__init__()
        if status == HighsStatus.kError:
            raise ValueError("addRow was refused by the linear solver")


class PendingCosts:
    """Column costs, the last one given for a column winning, for one `changeColsCost` call."""

    def __init__(self):
        self._costs = {}

    def add(self, column: int, cost: float) -> None:
        self._costs[column] = cost

    def flush_into(self, highs) -> None:
        if not self._costs:
            return
        columns = np.fromiter(self._costs.keys(), dtype=np.int32, count=len(self._costs))
        costs = np.fromiter(self._costs.values(), dtype=np.float64, count=len(self._costs))
        self._costs = {}
        if highs.changeColsCost(len(columns), columns, costs) == HighsStatus.kError:
            raise ValueError("changeColCost was refused by the linear solver")

