from __future__ import annotations

import typing as tp
from numbers import Integral, Real

import numpy as np

from .. import _native
from .._exceptions import FormulaError
from .._finite_numbers import require_finite
from .._logged_errors import raise_logged as log_and_raise
from .._text_rules import (int_text as _int_text, is_loop_name as _is_loop_name, is_nfkc as _is_nfkc,
                           nfkc_message as _nfkc_message)
from ..core.tarvo_logger import *


def _values_text(values) -> str:
    """The text of one index's values: a range as it prints, any other sequence
    as a list (or tuple) of plain integers. Anything else is refused, since the
    text is evaluated."""
    if isinstance(values, range):
        return str(values)
    if isinstance(values, (tp.Sequence, np.ndarray)) and not isinstance(values, (str, bytes)):
        items = list(values)
        if all(isinstance(item, Integral) for item in items):
            numbers = [int(item) for item in items]
            return str(tuple(numbers)) if isinstance(values, tuple) else str(numbers)
    log_and_raise(TypeError, "Index values must be a range or a sequence of integers")


def for_clauses(indexes: tp.Mapping[str, tp.Any]) -> str:
    """The for clauses over keyword indexes, first keyword outermost, joined by one blank."""
    clauses = []
    for name, values in indexes.items():
        if not _is_loop_name(name):
            log_and_raise(ValueError, f"Index name {name!r} is not an identifier")
        if not _is_nfkc(name):
            log_and_raise(ValueError, _nfkc_message("Index", name))
        clauses.append(f"for {name} in {_values_text(values)}")
    return " ".join(clauses)


class LinearExpression(_native.LinearExpressionBase):
    """A linear or quadratic expression of the text model, held as formula text.

    Made from subscripted variables (`x[i]`) with +, -, * and numbers, and by
    `Sum` and `SumIt`; a product of two expressions is quadratic. A comparison
    with a number (`<=`, `>=`, `==`) returns a copy that carries the border
    for `add_constraint`; a bordered expression takes no further arithmetic
    or comparison.

    The native base holds the text (`_expression`) and the borders (`_lo`,
    `_hi`); its operators (+ - * unary + - <= >= == !=) write the common
    cases themselves and call the reference functions below for every other.
    """

    # No instance dict: a SumIt over 10^5 terms holds 10^5 of these at once.
    __slots__ = ()

    def __init__(self, expression: str = '') -> None:
        self._expression = expression
        self._lo: tp.Optional[tp.Union[Integral, Real]] = None
        self._hi: tp.Optional[tp.Union[Integral, Real]] = None

    @property
    def lo(self) -> tp.Optional[tp.Union[Integral, Real]]:
        """The lower border set by `>=` or `==`, else None."""
        return self._lo

    @property
    def hi(self) -> tp.Optional[tp.Union[Integral, Real]]:
        """The upper border set by `<=` or `==`, else None."""
        return self._hi

    def __bool__(self):
        # Counted as true, lo <= e <= hi would keep only its upper border.
        log_and_raise(TypeError, "An expression has no truth value: pass both borders of a chained comparison "
                                 "to add_constraint as lo and hi")

    def _check_borders(self):
        if self._lo is not None or self._hi is not None:
            log_and_raise(FormulaError, "It is forbidden to change the formula after setting the boundaries")
        return True

    def __reduce__(self):
        # The fields live in the native base, which copy and pickle do not see by themselves.
        return _rebuilt, (type(self), self._expression, self._lo, self._hi)


def _rebuilt(cls, expression, lo, hi) -> LinearExpression:
    rebuilt = cls.__new__(cls)
    rebuilt._expression, rebuilt._lo, rebuilt._hi = expression, lo, hi
    return rebuilt


# The reference road of the operators: what the native base calls for every
# case it does not write itself (other number types, non-finite numbers,
# bordered or foreign operands), and the texts it must write alike.

def _operand_text(expression: LinearExpression, other) -> tp.Tuple[bool, str]:
    """(is a number, text) of the other operand of +, - or *."""
    expression._check_borders()
    if isinstance(other, Real):
        # The solver holds floats: an integer beyond them fails in evaluation, and a NaN
        # or an infinity prints as a name that the evaluated text does not know.
        require_finite(other)
        if type(other) is int:
            return True, f"{other}"
        # An integer as its digits, whatever the number's own text says: the text is evaluated.
        return True, _int_text(other) if isinstance(other, Integral) else f"{other}"
    if isinstance(other, LinearExpression):
        other._check_borders()
        return False, str(other)
    log_and_raise(TypeError, "Type 'LinearExpression' is expected for left side of expression")


def _add(expression: LinearExpression, other) -> LinearExpression:
    """expression + other, and other + expression: the own text first."""
    _, text = _operand_text(expression, other)
    return LinearExpression(f"{expression._expression} + {text}")


def _subtract(expression: LinearExpression, other) -> LinearExpression:
    is_number, text = _operand_text(expression, other)
    return LinearExpression(f"{expression._expression} - {text}" if is_number
                            else f"{expression._expression} - ({text})")


def _reflected_subtract(expression: LinearExpression, other) -> LinearExpression:
    """other - expression."""
    return (-expression) + other


def _multiply(expression: LinearExpression, other) -> LinearExpression:
    """expression * other, and other * expression: a number first."""
    is_number, text = _operand_text(expression, other)
    return LinearExpression(f"{text} * ({expression._expression})" if is_number
                            else f"({expression._expression}) * ({text})")


def _signed_copy(expression: LinearExpression, sign: str) -> LinearExpression:
    """+expression or -expression; a bordered expression too."""
    return LinearExpression(f"{sign}({expression._expression})")


def _bordered(expression: LinearExpression, lo, hi) -> LinearExpression:
    """The copy that a comparison returns: the same text, the border set."""
    expression._check_borders()
    copy = LinearExpression(expression._expression)
    copy._lo, copy._hi = lo, hi
    return copy


class LinearVariableProxy(LinearExpression):
    """The expression of one element of a variable block: its reference text, such as x(i,j + 1)."""

    __slots__ = ()

    def __init__(self, name: str) -> None:
        super().__init__(name)

    @property
    def _name(self) -> str:
        return self._expression

    def __repr__(self):
        return self._name


class Sum(LinearExpression):
    """The sum of `expression` over index values: `Sum(x[i, j], j=range(3))`.

    Each keyword names an index of the expression and gives its values, a
    range or a sequence of ints; the first keyword is the outermost loop.
    Indexes not named here are bound by the foralls of `add_constraint` or by
    an enclosing `Sum`.
    """

    __slots__ = ()

    def __init__(self, expression: LinearExpression, **indexes) -> None:
        super().__init__()
        if not isinstance(expression, LinearExpression):
            log_and_raise(TypeError, "Type 'LinearExpression' is expected for variable 'expression'")
        expression._check_borders()
        self._expression = f"CompiledSum([{expression} {for_clauses(indexes)}])"


class SumIt(LinearExpression):
    """The sum of a sequence (list or tuple) of expressions: `SumIt([2 * x[0], 3 * x[1]])`."""

    __slots__ = ()

    def __init__(self, expressions: tp.Sequence[LinearExpression]) -> None:
        super().__init__()
        # Written natively for a list or tuple of the known classes without borders, checked and written here otherwise.
        text = _native.joined_linear_texts(expressions)
        if text is None:
            text = _sum_text(expressions)
        self._expression = text


def _sum_text(expressions: tp.Sequence[LinearExpression]) -> str:
    if not isinstance(expressions, tp.Sequence):
        log_and_raise(TypeError, "Use an iterable sequence as SumIt input argument")
    if len(expressions) == 0:
        log_w("The input sequence has zero length")
    for expression in expressions:
        if not isinstance(expression, LinearExpression):
            log_and_raise(TypeError, "Variable 'expressions' must contain only objects of type 'LinearExpression'")
        expression._check_borders()
    return "CompiledSum([" + ", ".join(str(expression) for expression in expressions) + "])"


_native.register_linear_roads(
    LinearExpression, LinearVariableProxy, (LinearExpression, LinearVariableProxy, Sum, SumIt), add=_add,
    subtract=_subtract, reflected_subtract=_reflected_subtract, multiply=_multiply, signed_copy=_signed_copy,
    bordered=_bordered)
