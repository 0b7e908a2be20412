from __future__ import annotations

import ast
import functools
import itertools
import operator
import typing as tp
from numbers import Integral

from .. import _native
from .._exceptions import FormulaError
from .._index_arithmetic import is_index_arithmetic as _is_index_arithmetic
from .._index_text import scaled_text, shifted_text
from .._logged_errors import raise_logged as log_and_raise
from .._text_rules import int_text as _int_text
from .compiled_linear_expressions import CompiledLinearExpression
from .linear_expression import LinearVariableProxy


class Index:
    """A symbolic subscript of formula text, made by `LinearModel.get_indexes`.

    Its values come from the foralls of `add_constraint` or the keywords of
    `Sum`, which bind its name. `i + k`, `i - k` and `k * i` (k an int)
    shift and scale it; each step writes onto the index's current text, so a
    derived index addresses the element its arithmetic says:

    >>> i = Index("i")
    >>> str((i + 1) + 2), str(2 * (i + 1)), (2 * (i + 1)).name
    ('i + 1 + 2', '2 * (i + 1)', 'i')
    """

    def __init__(self, name: str, expression: tp.Optional[str] = None) -> None:
        self.name = name
        self.expression = name if expression is None else expression

    def __add__(self, shift) -> Index:
        return Index(self.name, shifted_text(self.expression, "+", shift))

    def __sub__(self, shift) -> Index:
        return Index(self.name, shifted_text(self.expression, "-", shift))

    def __rmul__(self, shift) -> Index:
        return Index(self.name, scaled_text(shift, self))

    def __str__(self) -> str:
        return self.expression


def _subscript_text(item) -> str:
    """The text of one subscript: an integral number's digits, or the item's
    text, which must stand alone as one expression. Pasted into the call of
    the variable, any other text could close the call and add terms of its
    own: x[("0) + y(1",)] would write x(0) + y(1)."""
    if type(item) is int:
        return str(item)
    if isinstance(item, Integral):
        return _int_text(item)
    text = str(item)
    if not (_is_index_arithmetic(text) or _stands_alone(text)):
        log_and_raise(FormulaError, "A subscript must be an int, an index or one expression of its own, not "
                      + repr(text)[:80])
    return text


@functools.lru_cache(maxsize=4096)
def _stands_alone(text: str) -> bool:
    # Cached: a model subscripts with the same few texts over and over.
    try:
        ast.parse(text.strip(), mode="eval")
    except (SyntaxError, ValueError):
        return False
    return True


class LinearVariable(_native.LinearVariableBase):
    """A declared block of variables, made by `LinearModel.get_variables`.

    Subscript it with one index or int per dimension to write formula text:
    `x[i, j + 1]` stands for the element at the current values of i and
    j + 1. Its elements are consecutive solver columns. The native base holds
    `_name` and writes the subscript of ints itself; `_subscript` below
    writes every other one.
    """

    def __init__(self, name: str, lo, hi, indexes: tp.Dict[str, int], st_shift: int, type_var: str) -> None:
        self._name = name
        self._lo = lo
        self._hi = hi
        self._indexes = indexes
        self._st_shift = st_shift
        self._shifts = list(itertools.accumulate(indexes.values(), operator.mul, initial=1))[:-1]
        self._type = type_var
        self._sizes = tuple(indexes.values())

    @property
    def lo(self):
        """The lower bound as declared."""
        return self._lo

    @property
    def hi(self):
        """The upper bound as declared."""
        return self._hi

    @property
    def map(self) -> tp.Tuple[int, ...]:
        """The solver column of every element, the elements in C order (last subscript fastest)."""
        return tuple(self.__column(subscripts)
                     for subscripts in itertools.product(*(range(size) for size in self._indexes.values())))

    @property
    def shape(self) -> tp.Tuple[int, ...]:
        """The sizes of the dimensions, in declaration order; () without dimensions."""
        return tuple(self._indexes.values())

    @property
    def type(self) -> str:
        """The dtype name of the values `get_result` returns: "int32" or "float64"."""
        return self._type

    def __column(self, subscripts) -> int:
        return self._st_shift + sum(s * stride for s, stride in zip(subscripts, self._shifts))

    def __reduce__(self):
        # `_name` lives in the native base, which copy and pickle do not see by themselves.
        return _rebuilt_variable, (type(self), self._name), self.__dict__

    def __iter__(self):
        # Subscripting never ends, so the host's fallback iteration would never stop.
        message = f"Linear variable {self._name} is not iterable; subscript it with indexes"
        log_and_raise(TypeError, message)

    def __call__(self, *subscripts) -> CompiledLinearExpression:
        """The element at these int subscripts as evaluated formula text meets it: coefficient 1 at its column."""
        # Once per element reference of evaluated text: the plain case first, without further calls.
        column = self._column_in_range(subscripts)
        if column is None:
            self.__check_subscripts(subscripts)
            column = self.__column(subscripts)
        return self._element(column)

    @staticmethod
    def _element(column: int) -> CompiledLinearExpression:
        """The single coefficient 1 at the element's column, in a column of column + 1 rows."""
        return CompiledLinearExpression._of_terms(0, {column: 1}, column + 1)

    def _column_in_range(self, subscripts) -> tp.Optional[int]:
        """The solver column of the element when its subscripts are plain ints in range, else None."""
        if len(subscripts) != len(self._sizes):
            return None
        column = self._st_shift
        for subscript, size, stride in zip(subscripts, self._sizes, self._shifts):
            if type(subscript) is not int or not 0 <= subscript < size:
                return None
            column += subscript * stride
        return column

    def __check_subscripts(self, subscripts) -> None:
        """One integer per dimension, each inside its dimension: anything else
        would silently name another element's or another block's column. A
        block without dimensions also takes the single subscript 0."""
        shape = self.shape
        if not shape and len(subscripts) == 1:
            shape = (1,)
        if len(subscripts) != len(shape):
            message = f"Linear variable {self._name} takes {len(shape)} subscripts, {len(subscripts)} given"
            log_and_raise(IndexError, message)
        if not all(isinstance(s, Integral) for s in subscripts):
            message = f"Subscripts of linear variable {self._name} must be integers"
            log_and_raise(TypeError, message)
        if not all(0 <= s < size for s, size in zip(subscripts, shape)):
            text = ",".join(str(s) for s in subscripts)
            message = f"Subscripts ({text}) are out of range for linear variable {self._name} of shape {shape}"
            log_and_raise(IndexError, message)


def _rebuilt_variable(cls, name: str) -> LinearVariable:
    rebuilt = cls.__new__(cls)
    rebuilt._name = name
    return rebuilt


def _subscript(variable: LinearVariable, items) -> LinearVariableProxy:
    """The element expression for formula text: `x[i, j + 1]` writes x(i,j + 1)."""
    if isinstance(items, tp.Sequence):
        return LinearVariableProxy(f"{variable._name}(" + ",".join(map(_subscript_text, items)) + ")")
    return LinearVariableProxy(f"{variable._name}({_subscript_text(items)})")


_native.register_linear_subscript(_subscript)
