from __future__ import annotations

import typing as tp
from numbers import Integral, Real

import numpy as np
from scipy.sparse import coo_array

from .._logged_errors import refuse_type as _refuse
from ..core.tarvo_logger import *
from ._compiled_terms import (TermSum, added_terms, negated_terms, product_terms, quadratic_terms_of, scaled_terms,
                              sorted_linear_terms, sorted_quadratic_terms)


def _is_number(value) -> bool:
    return type(value) in (int, float) or isinstance(value, (Integral, Real))


# constant + Σ aⱼxⱼ + xᵀQx over solver columns. The coefficients are held as
# terms ({column: a} and {(i, j): Q}) with the heights of the scipy arrays they
# stand for, so an operation costs its own terms whatever the model's width; the
# coordinate arrays are built when read. Term dicts are never changed after
# construction, so results may share them.
class CompiledLinearExpression:
    # The sorted arrays are two fields, not a tuple: 10^5 rows would hold 10^5 more objects for the
    # garbage collector to walk.
    __slots__ = ("_constant", "_linear", "_height", "_quadratic", "_side", "_linear_array", "_quadratic_array",
                 "_columns", "_values")

    def __init__(self, linear_coefficients: coo_array, constant: tp.Union[Integral, Real] = 0,
                 quadratic_coefficients: tp.Optional[coo_array] = None) -> None:
        self._constant = constant
        if type(linear_coefficients) != coo_array:
            linear_coefficients = linear_coefficients.tocoo()
        self._linear_array = linear_coefficients
        self._quadratic_array = quadratic_coefficients
        # The terms, for arithmetic; equal coordinates of the arrays add up.
        self._linear = {}
        for column, value in zip(linear_coefficients.row.tolist(), linear_coefficients.data.tolist()):
            self._linear[column] = self._linear.get(column, 0) + value
        self._height = linear_coefficients.shape[0]
        self._quadratic = None if quadratic_coefficients is None else quadratic_terms_of(quadratic_coefficients)
        self._side = None if quadratic_coefficients is None else quadratic_coefficients.shape[0]
        self._columns = self._values = None

    @classmethod
    def _of_terms(cls, constant, linear: dict, height: int, quadratic: tp.Optional[dict] = None,
                  side: tp.Optional[int] = None) -> CompiledLinearExpression:
        expression = CompiledLinearExpression.__new__(CompiledLinearExpression)
        expression._constant = constant
        expression._linear, expression._height = linear, height
        expression._quadratic, expression._side = quadratic, side
        expression._linear_array = expression._quadratic_array = expression._columns = expression._values = None
        return expression

    @classmethod
    def _of_sorted_terms(cls, constant, columns: np.ndarray, values: np.ndarray, height: int) -> CompiledLinearExpression:
        """The affine expression of these terms, given in ascending column order."""
        expression = cls._of_terms(constant, dict(zip(columns.tolist(), values.tolist())), height)
        expression._columns, expression._values = columns, values
        return expression

    def __sort_linear(self) -> None:
        if self._columns is None:
            if self._linear_array is not None:
                self._columns, self._values = self._linear_array.row, self._linear_array.data
            else:
                self._columns, self._values = sorted_linear_terms(self._linear)

    @property
    def _linear_coefficients(self) -> coo_array:
        """The linear coefficients as one column of `_height` rows."""
        if self._linear_array is None:
            self.__sort_linear()
            rows, values = self._columns, self._values
            self._linear_array = coo_array((values, (rows, np.zeros_like(rows))), shape=(self._height, 1))
        return self._linear_array

    @property
    def _quadratic_coefficients(self) -> tp.Optional[coo_array]:
        if self._quadratic is None:
            return None
        if self._quadratic_array is None:
            rows, columns, values = sorted_quadratic_terms(self._quadratic)
            self._quadratic_array = coo_array((values, (rows, columns)), shape=(self._side, self._side))
        return self._quadratic_array

    @property
    def constant(self) -> tp.Union[Integral, Real]:
        return self._constant

    @property
    def linear_coefficients_indexes(self) -> tp.Sequence[int]:
        self.__sort_linear()
        return self._columns.copy()

    @property
    def quadratic_coefficients(self):
        if self._quadratic is None:
            return None
        return 2 * self._quadratic_coefficients.tocsc(copy=True)

    @property
    def linear_coefficients(self) -> tp.Sequence[Integral]:
        self.__sort_linear()
        return self._values.copy()

    def __pos__(self) -> CompiledLinearExpression:
        return CompiledLinearExpression._of_terms(+self._constant, self._linear, self._height, self._quadratic,
                                                  self._side)

    def __neg__(self) -> CompiledLinearExpression:
        return CompiledLinearExpression._of_terms(-self._constant, negated_terms(self._linear), self._height,
                                                  negated_terms(self._quadratic), self._side)

    def __radd__(self, other: tp.Union[CompiledLinearExpression, Integral, Real]) -> CompiledLinearExpression:
        return self.__add__(other)

    def __add__(self, other: tp.Union[CompiledLinearExpression, Integral, Real]) -> CompiledLinearExpression:
        return self.__combine(other, subtract=False)

    def __sub__(self, other: tp.Union[CompiledLinearExpression, Integral, Real]) -> CompiledLinearExpression:
        return self.__combine(other, subtract=True)

    def __combine(self, other, subtract: bool) -> CompiledLinearExpression:
        """self + other, or self - other when `subtract`."""
        if isinstance(other, CompiledLinearExpression):
            linear = added_terms(self._linear, other._linear, subtract)
            mine, theirs = self._quadratic, other._quadratic
            if mine is not None and theirs is not None:
                quadratic, side = added_terms(mine, theirs, subtract), max(self._side, other._side)
            elif theirs is not None:
                quadratic, side = negated_terms(theirs) if subtract else theirs, other._side
            else:
                quadratic, side = mine, self._side
            constant = self._constant - other._constant if subtract else self._constant + other._constant
            return CompiledLinearExpression._of_terms(constant, linear, max(self._height, other._height),
                                                      quadratic, side)
        if _is_number(other):
            constant = self._constant - other if subtract else self._constant + other
            return CompiledLinearExpression._of_terms(constant, self._linear, self._height, self._quadratic,
                                                      self._side)
        _refuse("Type 'LinearExpression' is expected for left side of expression")

    def __mul__(self, other: tp.Union[Integral, Real, CompiledLinearExpression]) -> CompiledLinearExpression:
        if _is_number(other):
            return CompiledLinearExpression._of_terms(other * self._constant, scaled_terms(self._linear, other),
                                                      self._height, scaled_terms(self._quadratic, other), self._side)
        if (isinstance(other, CompiledLinearExpression)
                and self._quadratic is None and other._quadratic is None):
            c1, c2 = self.constant, other._constant
            linear = added_terms(scaled_terms(self._linear, c2), scaled_terms(other._linear, c1), False)
            height = max(self._height, other._height)
            return CompiledLinearExpression._of_terms(c2 * c1, linear, height,
                                                      product_terms(self._linear, other._linear), height)
        _refuse("Type 'LinearExpression' or 'int' is expected for expression")

    def __rmul__(self, other: int) -> CompiledLinearExpression:
        return self.__mul__(other)


class CompiledSum(CompiledLinearExpression):
    __slots__ = ()

    def __init__(self, expressions: tp.Sequence[CompiledLinearExpression]):
        total = TermSum()
        for element in expressions:
            if isinstance(element, CompiledLinearExpression):
                total.add_terms(element._constant, element._linear, element._height, element._quadratic,
                                element._side)
            elif total.expressions and not _is_number(element):
                _refuse("Type 'LinearExpression' is expected for left side of expression")
            else:
                total.add_number(element)
        self.__take(total)

    @classmethod
    def _of_sum(cls, total: TermSum) -> CompiledSum:
        """The sum whose elements `total` has added up."""
        expression = cls.__new__(cls)
        expression.__take(total)
        return expression

    def __take(self, total: TermSum) -> None:
        total.finished()
        self._constant = total.constant
        self._linear, self._height = total.linear, total.height
        self._quadratic, self._side = total.quadratic, total.side
        self._linear_array = self._quadratic_array = self._columns = self._values = None
