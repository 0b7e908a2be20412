from __future__ import annotations

import typing as tp
from numbers import Integral, Real

import numpy as np
from scipy.sparse import coo_array

from ..core.tarvo_logger import *


def _resized_copies(first, second):
    """Copies of two sparse arrays enlarged to their element-wise larger shape."""
    shape = tuple(int(size) for size in np.maximum(first.shape, second.shape))
    first, second = first.copy(), second.copy()
    first.resize(shape)
    second.resize(shape)
    return first, second


def _copy_or_none(matrix):
    return None if matrix is None else matrix.copy()


class CompiledLinearExpression:
    def __init__(self, linear_coefficients: coo_array, constant: tp.Union[Integral, Real] = 0,
                 quadratic_coefficients: tp.Optional[coo_array] = None) -> None:
        self._constant = constant
        self._linear_coefficients = linear_coefficients
        if type(self._linear_coefficients) != coo_array:
            self._linear_coefficients = linear_coefficients.tocoo()
        self._quadratic_coefficients = quadratic_coefficients

    @property
    def constant(self) -> tp.Union[Integral, Real]:
        return self._constant

    @property
    def linear_coefficients_indexes(self) -> tp.Sequence[int]:
        return self._linear_coefficients.row.copy()

    @property
    def quadratic_coefficients(self):
        if self._quadratic_coefficients is None:
            return None
        return 2 * self._quadratic_coefficients.tocsc(copy=True)

    @property
    def linear_coefficients(self) -> tp.Sequence[Integral]:
        return self._linear_coefficients.data.copy()

    def __pos__(self) -> CompiledLinearExpression:
        # Sparse arrays have no unary plus; a copy is its value.
        return CompiledLinearExpression(
            constant=+self._constant,
            linear_coefficients=self._linear_coefficients.copy(),
            quadratic_coefficients=_copy_or_none(self._quadratic_coefficients),
        )

    def __neg__(self) -> CompiledLinearExpression:
        quadratic = self._quadratic_coefficients
        return CompiledLinearExpression(
            constant=-self._constant,
            linear_coefficients=(-self._linear_coefficients.copy()).tocoo(),
            quadratic_coefficients=None if quadratic is None else -quadratic.copy(),
        )

    def __radd__(self, other: tp.Union[CompiledLinearExpression, Integral, Real]) -> CompiledLinearExpression:
        return self.__add__(other)

    def __add__(self, other: tp.Union[CompiledLinearExpression, Integral, Real]) -> CompiledLinearExpression:
        return self.__combine(other, subtract=False)

    def __sub__(self, other: tp.Union[CompiledLinearExpression, Integral, Real]) -> CompiledLinearExpression:
        return self.__combine(other, subtract=True)

    def __combine(self, other, subtract: bool) -> CompiledLinearExpression:
        """self + other, or self - other when `subtract`."""
        if isinstance(other, CompiledLinearExpression):
            first, second = _resized_copies(self._linear_coefficients, other._linear_coefficients)
            linear = (first - second if subtract else first + second).tocoo()
            mine, theirs = self._quadratic_coefficients, other._quadratic_coefficients
            if mine is not None and theirs is not None:
                first, second = _resized_copies(mine, theirs)
                quadratic = (first - second if subtract else first + second).tocoo()
            elif theirs is not None:
                quadratic = -theirs.copy() if subtract else theirs.copy()
            else:
                quadratic = _copy_or_none(mine)
            constant = self._constant - other._constant if subtract else self._constant + other._constant
            return CompiledLinearExpression(constant=constant,
                                            linear_coefficients=linear, quadratic_coefficients=quadratic)
        if isinstance(other, (Integral, Real)):
            constant = self._constant - other if subtract else self._constant + other
            return CompiledLinearExpression(constant=constant,
                                            linear_coefficients=self._linear_coefficients.copy(),
                                            quadratic_coefficients=_copy_or_none(self._quadratic_coefficients))
        message = "Type 'LinearExpression' is expected for left side of expression"
        log_e(message)
        raise TypeError(message)

    def __mul__(self, other: tp.Union[Integral, Real, CompiledLinearExpression]) -> CompiledLinearExpression:
        if isinstance(other, (Integral, Real)):
            quadratic = self._quadratic_coefficients
            return CompiledLinearExpression(
                constant=other * self._constant,
                linear_coefficients=other * self._linear_coefficients,
                quadratic_coefficients=None if quadratic is None else other * quadratic,
            )
        if (isinstance(other, CompiledLinearExpression)
                and self._quadratic_coefficients is None and other._quadratic_coefficients is None):
            a, b = _resized_copies(self._linear_coefficients, other._linear_coefficients)
            c1, c2 = self.constant, other._constant
            quadratic = (0.5 * (a @ b.T + b @ a.T)).tocoo()
            return CompiledLinearExpression(constant=c2 * c1, linear_coefficients=(c2 * a + c1 * b).tocoo(),
                                            quadratic_coefficients=quadratic)
        message = "Type 'LinearExpression' or 'int' is expected for expression"
        log_e(message)
        raise TypeError(message)

    def __rmul__(self, other: int) -> CompiledLinearExpression:
        return self.__mul__(other)


class CompiledSum(CompiledLinearExpression):
    def __init__(self, expressions: tp.Sequence[CompiledLinearExpression]):
        sum_expression = sum(expressions)
        if not isinstance(sum_expression, CompiledLinearExpression):
            # No element or numbers only: a constant over no column.
            sum_expression = CompiledLinearExpression(coo_array((0, 1), dtype=np.int64), constant=sum_expression)
        super().__init__(constant=sum_expression._constant,
                         linear_coefficients=sum_expression._linear_coefficients,
                         quadratic_coefficients=sum_expression._quadratic_coefficients)
