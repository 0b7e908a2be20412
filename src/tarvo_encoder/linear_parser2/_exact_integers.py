"""Arithmetic on coefficients that never wraps.

Rows over integer and binary variables hold int32 coefficients, and numpy's
integer arithmetic wraps silently: 100000 * 100000 in int32 is 1410065408.
Each operation here gives the type numpy would give its operands, unless a
bound on the result's magnitude shows that the values may not fit it; it then
computes in int64, narrowed back to that type when the values fit after all,
or in float64 (the solver's own type) when even int64 may not hold them.
Floating operands take numpy's own road, which rounds but never wraps.
"""
import functools
from numbers import Integral

import numpy as np
from scipy.sparse import csr_array

# A float bound below this leaves room for its own rounding: int64 holds the values.
_INT64_SAFE = 2.0 ** 62


def magnitude(values) -> float:
    """The largest absolute value among `values` (an array or a scalar) as a float; 0 for none."""
    if not isinstance(values, np.ndarray):
        return abs(float(values))
    if values.size < 2:
        return abs(float(values.item())) if values.size else 0.0
    # From the extremes, since abs() of the least int32 wraps to itself.
    return max(abs(float(values.max())), abs(float(values.min())))


@functools.lru_cache(maxsize=None)
def _largest(dtype: np.dtype) -> int:
    return int(np.iinfo(dtype).max)


def _working_type(dtype: np.dtype, bound) -> np.dtype:
    """The type in which to compute results that numpy would give in `dtype`, their magnitude
    at most `bound()`; the bound is computed for integer types only."""
    if dtype.kind not in "iu":
        return dtype
    bound = bound()
    if bound <= _largest(dtype):
        return dtype
    return np.dtype(np.int64) if bound < _INT64_SAFE else np.dtype(np.float64)


def _narrowed(values: np.ndarray, dtype: np.dtype) -> np.ndarray:
    """`values` in `dtype` when every one fits it, else as they are."""
    if values.dtype == dtype or not np.issubdtype(values.dtype, np.integer):
        return values
    limits = np.iinfo(dtype)
    if values.size and (values.min() < limits.min or values.max() > limits.max):
        return values
    return values.astype(dtype)


def _operand_type(operand):
    # A host integer adapts to the array's type in numpy's promotion, whatever its size.
    return 0 if isinstance(operand, int) else operand


def _exact(operation, bound, *operands):
    """`operation(*operands)` in the type numpy gives the operands, promoted when results of
    magnitude up to `bound()` may not fit it."""
    dtype = np.result_type(*[_operand_type(operand) for operand in operands])
    if dtype.kind not in "iu":
        return operation(*operands)
    # A host integer beyond the type numpy gives is promoted even where nothing it multiplies is nonzero.
    hosts = [abs(float(operand)) for operand in operands if isinstance(operand, int)]
    work = _working_type(dtype, lambda: max(bound(), *hosts) if hosts else bound())
    if work == dtype:
        return operation(*operands)
    widened = [operand.astype(work) if isinstance(operand, np.ndarray) else operand for operand in operands]
    if work.kind == "f":
        widened = [float(operand) if isinstance(operand, Integral) else operand for operand in widened]
    return _narrowed(operation(*widened), dtype)


def product(values: np.ndarray, factor) -> np.ndarray:
    """values * factor, elementwise; `factor` a scalar or an array that broadcasts."""
    if values.dtype.kind == "f":
        return values * factor
    return _exact(np.multiply, lambda: magnitude(values) * magnitude(factor), values, factor)


def total(first, second, sign: int = 1):
    """first + second, or first - second for a negative `sign`; arrays or scalars."""
    return _exact(np.add if sign > 0 else np.subtract, lambda: magnitude(first) + magnitude(second), first, second)


def vector_sum(values: np.ndarray):
    """The sum of a vector's entries, as numpy's `sum` gives it (integers summed in int64)."""
    if np.issubdtype(values.dtype, np.integer) and magnitude(values) * len(values) >= _INT64_SAFE:
        return values.astype(np.float64).sum()
    return values.sum()


def dot_product(first: np.ndarray, second: np.ndarray):
    """numpy's `dot` of two vectors."""
    return _exact(np.dot, lambda: magnitude(first) * magnitude(second) * len(first), first, second)


def holding_type(dtype: np.dtype, value) -> np.dtype:
    """The type numpy gives an array of `dtype` filled with the scalar `value`, widened when `value` does not fit it."""
    return _working_type(np.result_type(dtype, _operand_type(value)), lambda: abs(float(value)))


def group_sums(values: np.ndarray, starts: np.ndarray) -> np.ndarray:
    """The sums of the runs of `values` that begin at `starts` (numpy's `add.reduceat`)."""
    if values.dtype.kind == "f":
        return np.add.reduceat(values, starts, dtype=values.dtype)
    return _exact(lambda v: np.add.reduceat(v, starts, dtype=v.dtype), lambda: magnitude(values) * len(values), values)


def scalar_result(operation, first, second):
    """`operation` on two scalars. Host numbers take the host's arithmetic, which is exact for
    integers; a numpy integer among them would wrap, so integers are computed as host ones
    and the result is kept in numpy's type when it fits."""
    if not (isinstance(first, np.integer) or isinstance(second, np.integer)):
        return operation(first, second)
    if not (isinstance(first, Integral) and isinstance(second, Integral)):
        return operation(first, second)
    exact = operation(int(first), int(second))
    for dtype in (np.result_type(_operand_type(first), _operand_type(second)), np.dtype(np.int64)):
        limits = np.iinfo(dtype)
        if limits.min <= exact <= limits.max:
            return dtype.type(exact)
    return float(exact)


def _entry_bound(matrix) -> float:
    """A bound on every entry of `matrix` once its duplicate entries are summed."""
    if matrix.has_canonical_format:
        return magnitude(matrix.data)
    return magnitude(matrix.data) * matrix.nnz


def _with_data(matrix: csr_array, data: np.ndarray) -> csr_array:
    return csr_array((data, matrix.indices, matrix.indptr), shape=matrix.shape)


def scaled_matrix(matrix: csr_array, factor) -> csr_array:
    """factor * matrix, for a scalar factor; the matrix's entries keep their places."""
    return _with_data(matrix, product(matrix.data, factor))


def matrix_total(first: csr_array, second: csr_array, sign: int) -> csr_array:
    """first + second, or first - second for a negative `sign`, by sparse arithmetic."""
    operation = (lambda a, b: a + b) if sign > 0 else (lambda a, b: a - b)
    return _sparse_exact(operation, lambda: _entry_bound(first) + _entry_bound(second), first, second)


def rows_scaled(matrix: csr_array, weights: np.ndarray) -> csr_array:
    """Row i of the matrix times weights[i], in CSR form."""
    return _sparse_exact(lambda m, w: m.multiply(w[:, None]).tocsr(),
                         lambda: _entry_bound(matrix) * magnitude(weights), matrix, weights)


def weighted_row(weights: np.ndarray, matrix: csr_array) -> csr_array:
    """The sum over i of weights[i] times row i of the matrix, as a one-dimensional CSR row."""
    return _sparse_exact(lambda w, m: (csr_array(w) @ m).tocsr(),
                         lambda: _entry_bound(matrix) * magnitude(weights) * matrix.shape[0], weights, matrix)


def column_sums(matrix: csr_array):
    """The sums over the rows of the matrix (axis 0), as scipy gives them."""
    if np.issubdtype(matrix.dtype, np.integer) and _entry_bound(matrix) * matrix.shape[0] >= _INT64_SAFE:
        # scipy sums integers in int64, which such sums could overflow.
        matrix = matrix.astype(np.float64)
    return matrix.sum(axis=0)


def _sparse_exact(operation, bound, *operands):
    """`_exact` for operations of which some operands are sparse matrices."""
    dtype = np.result_type(*(operand.dtype for operand in operands))
    work = _working_type(dtype, bound)
    if work == dtype:
        return operation(*operands)
    result = operation(*(operand.astype(work) for operand in operands))
    return _with_data(result, _narrowed(result.data, dtype))
