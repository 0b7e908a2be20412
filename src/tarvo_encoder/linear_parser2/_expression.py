"""Numeric constraint rows of the array linear model.

A `LinearExpression` is one row, c + a·x + xᵀQx with optional bounds; a
`LinearExpressionsArr` is a block of rows sharing one CSR matrix. Both are
immutable: every operator returns a new object that may share arrays with
its operands, so nothing is copied that is taken over unchanged.
"""
import operator
import os
from numbers import Integral, Real
from typing import Optional, Union

import numpy as np
from scipy.sparse import csc_array, csr_array

from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder._finite_numbers import require_finite, require_finite_weights
from tarvo_encoder._logged_errors import raise_logged as _raise_logged
from tarvo_encoder.linear_parser2 import _exact_integers as exact
from tarvo_encoder.linear_parser2._sparse_part import Entries, SparsePart, symmetric_product

DEBUG = os.environ.get("DEBUG_SOLVER_MODE", False)

_CoefType = Union[Integral, Real, np.integer, np.floating]

_BOUNDED_OPERAND = "Operations with expressions with defined boundaries are not allowed."
_BOUND_SET = "The expression already has one of the boundaries set."
_LENGTH_MISMATCH = "Expression smust have the same number of elements."
# `lo <= e <= hi` is `(lo <= e) and (e <= hi)` to the host: a truth value would silently drop `lo`.
_NO_TRUTH_VALUE = "An expression has no truth value: write a chained comparison lo <= e <= hi as (e >= lo) <= hi"


def _is_scalar(value) -> bool:
    return isinstance(value, _CoefType)


class ColumnsOwner:
    """The identity of one model's columns.

    Every model numbers its columns from 0, so a column number alone cannot tell
    whose variable it is. An expression therefore carries the owner of the columns
    it names: None when it names none of a known model (constants, or rows built by
    hand), a model's owner, or _MIXED once variables of two models meet in it. A
    model adds only expressions whose owner is None or its own."""

    __slots__ = ()

    # A copied expression still names the same model's columns.
    def __copy__(self) -> "ColumnsOwner":
        return self

    def __deepcopy__(self, memo) -> "ColumnsOwner":
        return self


_MIXED = ColumnsOwner()


def _joint_owner(first, second):
    """The owner of an expression built from operands owned by `first` and `second`."""
    if first is second or second is None:
        return first
    return second if first is None else _MIXED


class LinearExpression:
    """An expression specifying a single row of the constraint matrix"""

    # A numpy operand on the left hands the operation to the reflected method here instead of
    # applying it element by element, which would build an array of expressions.
    __array_ufunc__ = None

    def __init__(
        self,
        linear_coefficients: csr_array,
        constant: _CoefType = 0.0,
        quadratic_coefficients: Optional[csc_array] = None,
        lower_bound: Optional[_CoefType] = None,
        upper_bound: Optional[_CoefType] = None,
    ) -> None:
        if DEBUG:
            if not isinstance(linear_coefficients, csr_array):
                _raise_logged(TypeError, "Linear coefficients must be a csr array")
            if not _is_scalar(constant):
                _raise_logged(TypeError, "Constant must be a float or int number")
            if quadratic_coefficients is not None and not isinstance(quadratic_coefficients, csc_array):
                _raise_logged(TypeError, "Quadratic coefficients must be a csc array")
        self._constant = constant
        # The parts are held as entries as well as scipy arrays (see _sparse_part), so
        # that arithmetic costs the entries it touches, not the width of the row.
        self._linear = SparsePart.of_row(linear_coefficients)
        self._quadratic = None if quadratic_coefficients is None else SparsePart.of_square(quadratic_coefficients)
        self._lower_bound = lower_bound
        self._upper_bound = upper_bound
        self._owner = None

    @classmethod
    def _of_parts(cls, owner, constant, linear: SparsePart, quadratic: Optional[SparsePart],
                  lower_bound=None, upper_bound=None) -> "LinearExpression":
        """An expression over parts already held, naming columns of `owner` (see `ColumnsOwner`);
        the scipy arrays are built when read."""
        if DEBUG and not _is_scalar(constant):
            _raise_logged(TypeError, "Constant must be a float or int number")
        expression = cls.__new__(cls)
        expression._constant = constant
        expression._linear = linear
        expression._quadratic = quadratic
        expression._lower_bound = lower_bound
        expression._upper_bound = upper_bound
        expression._owner = owner
        return expression

    @property
    def constant(self) -> _CoefType:
        """The constant term c of c + a·x + xᵀQx."""
        return self._constant

    @property
    def linear_coefficients(self) -> csr_array:
        """The coefficient row a: one entry per solver column of the process, as wide as when the row was made."""
        return self._linear.array

    @property
    def quadratic_coefficients(self) -> Optional[csc_array]:
        """The symmetric matrix Q of the quadratic term xᵀQx, or None for a linear expression."""
        return None if self._quadratic is None else self._quadratic.array

    @property
    def lower_bound(self) -> Optional[_CoefType]:
        """The lower bound set by `>=` or `==`, constant included; None when not set."""
        return self._lower_bound

    @property
    def upper_bound(self) -> Optional[_CoefType]:
        """The upper bound set by `<=` or `==`, constant included; None when not set."""
        return self._upper_bound

    def __bool__(self):
        _raise_logged(TypeError, _NO_TRUTH_VALUE)

    def __is_bounded(self) -> bool:
        return self._lower_bound is not None or self._upper_bound is not None

    def __operand_is_scalar(self, other) -> bool:
        """Refuse what arithmetic cannot take; True for a scalar, False for an expression."""
        if self.__is_bounded():
            _raise_logged(FormulaError, _BOUNDED_OPERAND)
        if _is_scalar(other):
            require_finite(other)
            return True
        if not isinstance(other, LinearExpression):
            _raise_logged(TypeError, "Type 'float', 'int' or 'LinearExpression' is expected for left side of expression")
        if other.__is_bounded():
            _raise_logged(FormulaError, _BOUNDED_OPERAND)
        return False

    def __combined(self, other, sign: int) -> "LinearExpression":
        """self + other, or self - other for a negative `sign`."""
        operation = operator.add if sign > 0 else operator.sub
        if self.__operand_is_scalar(other):
            constant = exact.scalar_result(operation, self._constant, other)
            return LinearExpression._of_parts(self._owner, constant, self._linear, self._quadratic)
        own, theirs = self._quadratic, other._quadratic
        if theirs is None:
            quadratic = own
        elif own is None:
            quadratic = theirs if sign > 0 else theirs.scaled(-1)
        else:
            quadratic = own.plus(theirs, sign)
        constant = exact.scalar_result(operation, self._constant, other._constant)
        return LinearExpression._of_parts(
            _joint_owner(self._owner, other._owner), constant, self._linear.plus(other._linear, sign), quadratic
        )

    def __add__(self, other: Union[_CoefType, "LinearExpression"]) -> "LinearExpression":
        return self.__combined(other, 1)

    __radd__ = __add__

    def __sub__(self, other) -> "LinearExpression":
        return self.__combined(other, -1)

    def __rsub__(self, other) -> "LinearExpression":
        if self.__operand_is_scalar(other):
            quadratic = None if self._quadratic is None else self._quadratic.scaled(-1)
            constant = exact.scalar_result(operator.sub, other, self._constant)
            return LinearExpression._of_parts(self._owner, constant, self._linear.scaled(-1), quadratic)
        return other - self

    def __mul__(self, other: Union[_CoefType, "LinearExpression"]) -> "LinearExpression":
        if self.__operand_is_scalar(other):
            quadratic = None if self._quadratic is None else self._quadratic.scaled(other)
            constant = exact.scalar_result(operator.mul, other, self._constant)
            return LinearExpression._of_parts(self._owner, constant, self._linear.scaled(other), quadratic)
        if self._quadratic is not None or other._quadratic is not None:
            _raise_logged(ValueError, "Creating a quadratic expression is only available for linear expressions")
        linear = self._linear.scaled(other._constant).plus(other._linear.scaled(self._constant))
        return LinearExpression._of_parts(
            _joint_owner(self._owner, other._owner),
            exact.scalar_result(operator.mul, self._constant, other._constant),
            linear,
            symmetric_product(self._linear, other._linear),
        )

    __rmul__ = __mul__

    def __bounded(self, lower_bound, upper_bound) -> "LinearExpression":
        return LinearExpression._of_parts(
            self._owner, self._constant, self._linear, self._quadratic, lower_bound, upper_bound
        )

    def __eq__(self, other: _CoefType) -> "LinearExpression":
        if self.__is_bounded():
            _raise_logged(FormulaError, _BOUND_SET)
        return self.__bounded(other, other)

    # A bound on the other side is kept, so `(e <= 5) >= 1` states both.
    def __ge__(self, other: _CoefType) -> "LinearExpression":
        if self._lower_bound is not None:
            _raise_logged(FormulaError, "The expression already has a lower bound set.")
        return self.__bounded(other, self._upper_bound)

    def __le__(self, other: _CoefType) -> "LinearExpression":
        if self._upper_bound is not None:
            _raise_logged(FormulaError, "The expression already has a upper bound set.")
        return self.__bounded(self._lower_bound, other)


def _leading_size(value):
    shape = getattr(value, "shape", ())
    return shape[0] if len(shape) else None


class LinearExpressionsArr:
    """An expression defining several rows of the constraint matrix"""

    # `w * R` must scale row i by w[i] as `R * w` does, not make an array of scaled copies of R.
    __array_ufunc__ = None

    def __init__(
        self,
        linear_coefficients: csr_array,
        constants: Optional[np.ndarray] = None,
        lower_bounds: Optional[np.ndarray] = None,
        upper_bounds: Optional[np.ndarray] = None,
        is_init: bool = False,
    ) -> None:
        if DEBUG:
            given, rows = _leading_size(constants), _leading_size(linear_coefficients)
            if constants is not None and given is not None and rows is not None and given != rows:
                _raise_logged(FormulaError, "constants and linear_coeffients must have the same number of elements.")
            if not isinstance(linear_coefficients, csr_array) or linear_coefficients.ndim != 2:
                _raise_logged(TypeError, "Linear coefficients must be a csr array with 2 dimensions.")
            if constants is not None and not (isinstance(constants, np.ndarray) and constants.ndim == 1):
                _raise_logged(TypeError, "Constant must be a float or int number")
        if constants is None:
            constants = np.zeros(linear_coefficients.shape[0], dtype=np.float64)
        self._constants = constants
        self._linear_coefficients = linear_coefficients
        self._lower_bounds = lower_bounds
        self._upper_bounds = upper_bounds
        self._is_init = is_init
        self._owner = None

    @classmethod
    def _owned(cls, owner, **fields) -> "LinearExpressionsArr":
        """A row set over the columns of `owner` (see `ColumnsOwner`), made from the constructor's `fields`."""
        rows = cls(**fields)
        rows._owner = owner
        return rows

    @property
    def num_constraints(self) -> int:
        """The number of rows."""
        return self._constants.shape[0]

    @property
    def constants(self) -> np.ndarray:
        """The constant term of every row."""
        return self._constants

    @property
    def linear_coefficients(self) -> csr_array:
        """The coefficient matrix: one row per constraint, one column per solver column of the process."""
        return self._linear_coefficients.tocsr()

    @property
    def lower_bounds(self) -> Optional[np.ndarray]:
        """The lower bound of every row, set by `>=` or `==`; None when not set."""
        return self._lower_bounds

    @property
    def upper_bounds(self) -> Optional[np.ndarray]:
        """The upper bound of every row, set by `<=` or `==`; None when not set."""
        return self._upper_bounds

    def __bool__(self):
        _raise_logged(TypeError, _NO_TRUTH_VALUE)

    def __is_bounded(self) -> bool:
        return self._lower_bounds is not None or self._upper_bounds is not None

    def __refuse_if_bounded(self) -> None:
        if self.__is_bounded():
            _raise_logged(FormulaError, _BOUND_SET)

    def __combined(self, other, sign: int) -> "LinearExpressionsArr":
        self.__refuse_if_bounded()
        if _is_scalar(other):
            require_finite(other)
            return LinearExpressionsArr._owned(
                self._owner,
                linear_coefficients=self._linear_coefficients, constants=exact.total(self._constants, other, sign),
                is_init=True,
            )
        if not isinstance(other, LinearExpressionsArr):
            _raise_logged(TypeError, "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression")
        # Bounds of the right operand would be lost in the result: refuse them as the left one's.
        other.__refuse_if_bounded()
        if self._constants.shape != other._constants.shape:
            _raise_logged(FormulaError, _LENGTH_MISMATCH)
        return LinearExpressionsArr._owned(
            _joint_owner(self._owner, other._owner),
            linear_coefficients=exact.matrix_total(self._linear_coefficients, other._linear_coefficients, sign),
            constants=exact.total(self._constants, other._constants, sign),
        )

    def __add__(self, other: Union[_CoefType, "LinearExpressionsArr"]) -> "LinearExpressionsArr":
        return self.__combined(other, 1)

    __radd__ = __add__

    def __sub__(self, other: Union[_CoefType, "LinearExpressionsArr"]) -> "LinearExpressionsArr":
        return self.__combined(other, -1)

    def __rsub__(self, other: _CoefType) -> "LinearExpressionsArr":
        self.__refuse_if_bounded()
        if not _is_scalar(other):
            _raise_logged(TypeError, "Type 'float', 'int' or 'LinearExpressionsArr' is expected for left side of expression")
        require_finite(other)
        return LinearExpressionsArr._owned(
            self._owner,
            linear_coefficients=exact.scaled_matrix(self._linear_coefficients, -1),
            constants=exact.total(other, self._constants, -1),
            is_init=True,
        )

    def __mul__(self, other: Union[_CoefType, np.ndarray]) -> "LinearExpressionsArr":
        self.__refuse_if_bounded()
        if _is_scalar(other):
            require_finite(other)
            return LinearExpressionsArr._owned(
                self._owner,
                linear_coefficients=exact.scaled_matrix(self._linear_coefficients, other),
                constants=exact.product(self._constants, other),
                is_init=True,
            )
        if isinstance(other, np.ndarray):
            if DEBUG and (other.ndim != 1 or other.size != self._constants.size):
                _raise_logged(FormulaError, _LENGTH_MISMATCH)
            require_finite_weights(other)
            return LinearExpressionsArr._owned(
                self._owner,
                linear_coefficients=exact.rows_scaled(self._linear_coefficients, other),
                constants=exact.product(self._constants, other),
            )
        _raise_logged(TypeError, "Type 'float' or 'int' is expected for left side of expression")

    __rmul__ = __mul__

    def __border(self, bound) -> np.ndarray:
        if _is_scalar(bound):
            # Promote, so that a fractional bound on integer constants is not truncated.
            bound = np.full_like(self._constants, fill_value=bound, dtype=exact.holding_type(self._constants.dtype, bound))
        if bound.shape != self._constants.shape:
            _raise_logged(FormulaError, "The size of the border must match the number of constraints.")
        return bound

    def __bounded(self, lower_bounds, upper_bounds) -> "LinearExpressionsArr":
        return LinearExpressionsArr._owned(
            self._owner,
            linear_coefficients=self._linear_coefficients,
            constants=self._constants,
            lower_bounds=lower_bounds,
            upper_bounds=upper_bounds,
        )

    def __eq__(self, other: Union[np.ndarray, _CoefType]) -> "LinearExpressionsArr":
        self.__refuse_if_bounded()
        bound = self.__border(other)
        return self.__bounded(bound, bound)

    # As for single rows, a bound on the other side is kept.
    def __ge__(self, other: Union[np.ndarray, _CoefType]) -> "LinearExpressionsArr":
        if self._lower_bounds is not None:
            _raise_logged(FormulaError, "The expression already has a lower bounds set.")
        return self.__bounded(self.__border(other), self._upper_bounds)

    def __le__(self, other: Union[np.ndarray, _CoefType]) -> "LinearExpressionsArr":
        if self._upper_bounds is not None:
            _raise_logged(FormulaError, "The expression already has a upper bounds set.")
        return self.__bounded(self._lower_bounds, self.__border(other))

    def sum(self) -> LinearExpression:
        """The sum of all rows, as one single-row expression."""
        self.__refuse_if_bounded()
        matrix = self._linear_coefficients
        if self._is_init:
            # The column sums straight from the stored entries; duplicates add up when the row is read.
            row = SparsePart.of_entries(Entries.of((matrix.indices,), matrix.data, (matrix.shape[1],)), is_row=True)
        else:
            row = SparsePart.of_row(csr_array(exact.column_sums(matrix)))
        return LinearExpression._of_parts(self._owner, exact.vector_sum(self._constants), row, None)

    def dot(self, other: np.ndarray) -> LinearExpression:
        """The sum over i of other[i] times row i: a weighted sum, as one single-row expression."""
        if DEBUG and not isinstance(other, np.ndarray):
            _raise_logged(TypeError, "Undefined type " + str(type(other)))
        # The weighted sum would drop the bounds, as `sum` refuses to.
        self.__refuse_if_bounded()
        require_finite_weights(other)
        row = exact.weighted_row(np.asarray(other), self._linear_coefficients)
        constant = exact.dot_product(self._constants, np.asarray(other))
        return LinearExpression._of_parts(self._owner, constant, SparsePart.of_row(row), None)


def sumexp(expr: LinearExpressionsArr) -> LinearExpression:
    """The sum of all rows of `expr`: `sumexp(x[0, :])` is the sum of row 0 of x."""
    return expr.sum()


def dot(
    first_expr: Union[LinearExpressionsArr, np.ndarray], second_expr: Union[LinearExpressionsArr, np.ndarray]
) -> LinearExpression:
    """The weighted sum of a row set's rows, the weights a numpy vector of one entry per row, in either order:
    `dot(x[:], cost)` is the sum of cost[k] * x[k]."""
    if DEBUG and not (
        (isinstance(first_expr, LinearExpressionsArr) and isinstance(second_expr, np.ndarray))
        or (isinstance(first_expr, np.ndarray) and isinstance(second_expr, LinearExpressionsArr))
    ):
        _raise_logged(FormulaError, "One of the arguments must be of type 'LinearExpressionsArr', the other 'np.ndarray'")
    if isinstance(first_expr, LinearExpressionsArr):
        return first_expr.dot(second_expr)
    return second_expr.dot(first_expr)
