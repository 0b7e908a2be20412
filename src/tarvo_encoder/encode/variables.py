from __future__ import annotations

import typing as tp
from itertools import accumulate, product
from numbers import Integral
from functools import reduce
from operator import mul
from copy import deepcopy

from .. import _native
from .expressions import VariableProxy
from ..core.tarvo_logger import *
from .._logged_errors import raise_logged as _raise_logged, refuse_type as _refuse
from .._index_text import scaled_text as _scaled_text, shifted_text as _shifted_text
from .._text_rules import is_plain_name as _is_plain_name
from .._index_arithmetic import is_index_arithmetic as _is_index_arithmetic


class Index:
    """A symbolic index; its arithmetic writes index texts such as i + 1."""

    def __init__(self, name: str, expression: tp.Optional[str] = None) -> None:
        self.name = name
        self.expression = name if expression is None else expression

    def __add__(self, shift: int) -> Index:
        return type(self)(self.name, _shifted_text(self.expression, "+", _index_operand(shift)))

    def __sub__(self, shift: int) -> Index:
        return type(self)(self.name, _shifted_text(self.expression, "-", _index_operand(shift)))

    def __rmul__(self, shift: int) -> Index:
        return type(self)(self.name, _scaled_text(_index_operand(shift), self))

    def __str__(self) -> str:
        return self.expression


class EvaluatedIndex(Index):
    """An index as container mode's evaluation of expression text meets it.
    There the loop variable of a combinator is an int, so the text k + i or
    k - i, written for the indexes k and i, puts an int on the left of the
    index; the result is the index text of the same arithmetic, 0 + i, which
    the expansion evaluates again with i's values."""

    def __radd__(self, shift: int) -> Index:
        return type(self)(self.name, _shifted_text(str(_index_operand(shift)), "+", self))

    def __rsub__(self, shift: int) -> Index:
        return type(self)(self.name, _shifted_text(str(_index_operand(shift)), "-", self))


def _index_operand(operand):
    """An int or an index, the operands whose text is index arithmetic."""
    if type(operand) is int or isinstance(operand, Index):
        return operand
    if isinstance(operand, Integral):
        return int(operand)
    _refuse("Index arithmetic takes an int or an index, not " + type(operand).__name__)


def _subscript_text(item) -> str:
    """The text of one subscript: an int's digits or an index's arithmetic;
    the text is evaluated, so nothing else may reach it."""
    if type(item) is int:
        return str(item)
    if isinstance(item, Index) and _is_index_arithmetic(item.expression):
        return item.expression
    if isinstance(item, Integral):
        return str(int(item))
    if _is_plain_name(item):
        # A character of a subscript string, such as "ij", names an index.
        return item
    _refuse("A variable is subscripted with ints and indexes, not " + repr(item)[:80])


def _subscript(variable: Variable, items) -> VariableProxy:
    """variable[items]: the element reference of a subscript of ints and indexes."""
    # Ints and tuples first: the general Sequence test costs more than the rest.
    if type(items) is int:
        text = str(items)
    elif type(items) is tuple or isinstance(items, tp.Sequence):
        text = ",".join(map(_subscript_text, items))
    else:
        text = _subscript_text(items)
    return VariableProxy(variable.name + "(" + text + ")")


class Variable(_native.VariableBase):
    """A declared block of 0/1 model variables over named dimensions, numbered
    row-major from ``st_shift``. The native base holds the name and writes the
    element references of int and int-tuple subscripts; _subscript writes
    every other one."""

    def __init__(self, name: str, indexes: tp.Dict[str, int], st_shift: int) -> None:
        self.name = name
        self.indexes = indexes
        self.st_shift = st_shift
        running_products = accumulate(reversed(list(indexes.values())), mul, initial=1)
        self.shifts = list(running_products)[:-1][::-1]

    def __call__(self, *items: int) -> int:
        if len(items) != len(self.shifts):
            self.__refuse_count(items)
        for item in items:
            if not isinstance(item, int):
                raise TypeError
        # Out of range, the row-major sum would silently name another
        # variable's element, the dummy variable or an aux variable.
        for item, size in zip(items, self.indexes.values()):
            if not 0 <= item < size:
                self.__refuse_outside(items)
        return self.__number(items)

    def check_reference(self, items: tp.Sequence) -> None:
        """Refuses, logged, a reference to this variable that names none of
        its elements: the wrong number of indexes, or an int index outside
        its dimension. A symbolic index is checked value by value where the
        expansion gives it its values."""
        if len(items) != len(self.shifts):
            self.__refuse_count(items)
        for item, size in zip(items, self.indexes.values()):
            if type(item) is int and not 0 <= item < size:
                self.__refuse_outside(items)

    def __refuse_count(self, items) -> tp.NoReturn:
        reference = self.name + "(" + ",".join(map(str, items)) + ")"
        _refuse(f"variable '{self.name}' takes {len(self.shifts)} indexes, got {len(items)} in {reference}")

    def __refuse_outside(self, items) -> tp.NoReturn:
        for position, (item, (dimension, size)) in enumerate(zip(items, self.indexes.items())):
            if not 0 <= item < size:
                _raise_logged(IndexError, f"Index value {item} at position {position} of variable '{self.name}'"
                                          f" is outside dimension '{dimension}' of size {size}")

    def __iter__(self):
        # Without this the host would subscript 0, 1, 2, ... forever, since
        # every key yields a reference text.
        self.__refuse_iteration()

    def __contains__(self, item) -> bool:
        self.__refuse_iteration()

    def __refuse_iteration(self) -> tp.NoReturn:
        _refuse(f"Variable '{self.name}' cannot be iterated; subscript it with indexes, such as {self.name}[i]")

    @property
    def map(self) -> tp.Dict[str, int]:
        # Row-major order is lexicographic order of the index values, so the
        # k-th name of the product numbers st_shift + k; each value's digits
        # are written once, not once per element.
        digits = [[str(value) for value in range(size)] for size in self.indexes.values()]
        prefix = self.name + "["
        names = (prefix + ",".join(values) + "]" for values in product(*digits))
        return dict(zip(names, range(self.st_shift, self.st_shift + reduce(mul, map(len, digits), 1))))

    def __reduce__(self):
        return Variable, (self.name, self.indexes, self.st_shift)

    def copy(self) -> Variable:
        return Variable(self.name, deepcopy(self.indexes), self.st_shift)

    def __number(self, values) -> int:
        return self.st_shift + sum(value * shift for value, shift in zip(values, self.shifts))


_native.register_subscript_road(_subscript)
