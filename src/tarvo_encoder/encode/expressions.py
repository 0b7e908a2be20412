from __future__ import annotations

import typing as tp
from numbers import Integral

from ..core.tarvo_logger import *
from .._grouping import grouped, grouped_sum

_EXPRESSION_OPERAND = "Type 'Expression' is expected for left side of expression"
_FACTOR_OPERAND = "Type 'Expression' or 'int' is expected for expression"
_BOUND_OPERAND = "Type 'int' is expected for left side of expression"
_COMBINATOR_OPERAND = "Type 'Expression' is expected for variable 'expression'"
_SEQUENCE_MEMBERS = "Variable 'expressions' must contain only objects of type 'Expression'"
_EMPTY_SEQUENCE = "The input sequence has zero length"
_IMPLICATION_OPERANDS = "Type 'Expression' is expected for variables 'if_expr' and 'then_expr'"
_IF_THEN_ELSE_OPERANDS = (
    "Type 'Expression' is expected for variables 'if_expr', 'then_expr' and 'else_expr'"
)
_NO_TRUTH_VALUE = (
    "An expression has no truth value: add each bound of a chained comparison as its own constraint,"
    " and join expressions with &, | and ~ instead of and, or and not"
)


def _refuse(message: str) -> tp.NoReturn:
    log_e(message)
    raise TypeError(message)


def _expr2bx(expr: Expression) -> str:
    """Operand text in a Boolean position: an element reference becomes its
    engine Boolean variable, everything else already is a formula."""
    if isinstance(expr, VariableProxy):
        return str(expr) + ".to_bx()"
    return str(expr)


def _expr2pb(expr: Expression) -> str:
    """Operand text in a pseudo-Boolean position: an element reference becomes
    its PB term, everything else already is a term."""
    if isinstance(expr, VariableProxy):
        return str(expr) + ".to_pb()"
    return str(expr)


class Expression:
    """Expression text plus the soft flag: True for a pseudo-Boolean term,
    False for a Boolean formula. Operators only join texts."""

    def __init__(self, expr: str = '', soft: bool = True) -> None:
        self._expr = expr
        self._soft = soft

    def __add__(self, other: Expression) -> Expression:
        if not isinstance(other, Expression):
            _refuse(_EXPRESSION_OPERAND)
        return Expression(_expr2pb(self) + " + " + _expr2pb(other), True)

    def __sub__(self, other: Expression) -> Expression:
        if not isinstance(other, Expression):
            _refuse(_EXPRESSION_OPERAND)
        return Expression(_expr2pb(self) + " - (" + _expr2pb(other) + ")", True)

    def __mul__(self, other: tp.Union[Integral, Expression]) -> Expression:
        # The factor always goes first: the PB term tree multiplies only from the left.
        if isinstance(other, Integral):
            return Expression(format(other, "") + " * (" + _expr2pb(self) + ")", True)
        if isinstance(other, Expression):
            return Expression(grouped_sum(str(self)) + " * (" + _expr2pb(other) + ")", True)
        _refuse(_FACTOR_OPERAND)

    def __rmul__(self, other: int) -> Expression:
        return self.__mul__(other)

    def __le__(self, other: Integral) -> Expression:
        return _comparison(self, "LEQ", other)

    def __ge__(self, other: Integral) -> Expression:
        return _comparison(self, "GEQ", other)

    def __eq__(self, other: Integral) -> Expression:
        return _comparison(self, "BOTH", other)

    def __and__(self, other: Expression) -> Expression:
        return _boolean_pair("bx.and_s([", self, other)

    def __or__(self, other: Expression) -> Expression:
        return _boolean_pair("bx.or_s([", self, other)

    def __xor__(self, other: Expression) -> Expression:
        return _boolean_pair("bx.xor_s([", self, other)

    def __invert__(self) -> Expression:
        return Expression("~(" + _expr2bx(self) + ")", False)

    def maxsat(self, minimization: bool) -> Expression:
        return Expression(
            "FormulaPB(" + _expr2pb(self) + ", None, None).to_maxsat(manager, "
            + format(minimization, "") + ")",
            True,
        )

    def __bool__(self) -> bool:
        # Counted as true, 0 <= e <= 1 would keep only its last comparison and
        # e1 and e2 only e2: the model would silently lose a bound or an operand.
        _refuse(_NO_TRUTH_VALUE)

    @property
    def soft(self):
        return self._soft

    def __str__(self) -> str:
        return self._expr


def _comparison(term: Expression, comparator: str, bound: Integral) -> Expression:
    if not isinstance(bound, Integral):
        _refuse(_BOUND_OPERAND)
    return Expression(
        "FormulaPB(" + _expr2pb(term) + ", pb.Comparator_type." + comparator + ", "
        + format(bound, "") + ").to_bx(manager)",
        False,
    )


def _boolean_pair(opening: str, left: Expression, right: Expression) -> Expression:
    if not isinstance(right, Expression):
        _refuse(_EXPRESSION_OPERAND)
    return Expression(opening + _expr2bx(left) + ", " + _expr2bx(right) + "])", False)


class VariableProxy(Expression):
    """One element reference of a model variable, such as x(i + 1,j)."""

    def __init__(self, name: str) -> None:
        super().__init__(name)
        self.name = name

    def __repr__(self):
        return self.name


def _indexed_text(opening: str, operand_text, expr: Expression, indexes: dict) -> str:
    """The text of one operand repeated by a list comprehension whose clauses
    are the keyword index ranges, first keyword outermost."""
    if not isinstance(expr, Expression):
        _refuse(_COMBINATOR_OPERAND)
    fors = " ".join(
        "for " + name + " in " + format(values, "") for name, values in indexes.items()
    )
    return opening + operand_text(expr) + " " + fors + "])"


class Sum(Expression):
    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=True)
        self._expr = _indexed_text("Sum(*[", _expr2pb, expr, indexes)


class And(Expression):
    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=False)
        self._expr = _indexed_text("bx.and_s([", _expr2bx, expr, indexes)


class Or(Expression):
    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=False)
        self._expr = _indexed_text("bx.or_s([", _expr2bx, expr, indexes)


class Xor(Expression):
    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=False)
        self._expr = _indexed_text("bx.xor_s([", _expr2bx, expr, indexes)


def _check_operands(operands, message: str) -> None:
    """Refuse at the first operand, in order, that is not an expression."""
    for operand in operands:
        if not isinstance(operand, Expression):
            _refuse(message)


class Equiv(Expression):
    def __init__(self, *expressions: Expression) -> None:
        super().__init__(soft=False)
        _check_operands(expressions, _SEQUENCE_MEMBERS)
        self._expr = "bx.eq_s([" + ", ".join(map(_expr2bx, expressions)) + "])"


class Implication(Expression):
    def __init__(self, if_expr: Expression, then_expr: Expression) -> None:
        super().__init__(soft=False)
        _check_operands((if_expr, then_expr), _IMPLICATION_OPERANDS)
        self._expr = "bx.impl_s(" + _expr2bx(if_expr) + ", " + _expr2bx(then_expr) + ")"


class IfThenElse(Expression):
    def __init__(self, if_expr: Expression, then_expr: Expression, else_expr: Expression) -> None:
        super().__init__(soft=False)
        _check_operands((if_expr, then_expr, else_expr), _IF_THEN_ELSE_OPERANDS)
        self._expr = (
            "bx.ite_s(" + _expr2bx(if_expr) + ", " + _expr2bx(then_expr) + ", "
            + _expr2bx(else_expr) + ")"
        )


def _check_sequence(expressions, combinator: str, log_refusal: bool) -> None:
    if not isinstance(expressions, tp.Sequence):
        message = "Use an iterable sequence as " + combinator + " input argument"
        if log_refusal:
            log_e(message)
        raise TypeError(message)
    if len(expressions) == 0:
        log_w(_EMPTY_SEQUENCE)
    _check_operands(expressions, _SEQUENCE_MEMBERS)


class SumIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=True)
        _check_sequence(expressions, "SumIt", log_refusal=True)
        self.ability_use_for_target = True
        self._expr = "Sum(*[" + ", ".join(map(_expr2pb, expressions)) + "])"


class AndIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=False)
        _check_sequence(expressions, "AndIt", log_refusal=False)
        self._expr = "bx.and_s([" + ", ".join(map(_expr2bx, expressions)) + "])"


class OrIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=False)
        _check_sequence(expressions, "OrIt", log_refusal=False)
        self._expr = "bx.or_s([" + ", ".join(map(_expr2bx, expressions)) + "])"


class XorIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(soft=False)
        _check_sequence(expressions, "XorIt", log_refusal=False)
        self._expr = "bx.xor_s([" + ", ".join(map(_expr2bx, expressions)) + "])"


# Boolean constants: soft False, so that a model refuses them as a target or a
# soft constraint (the PB term tree has no constant term) with its usual message.
One = Expression("bx.one()", False)
Zero = Expression("bx.zero()", False)


def pow_expression(base: int, exp) -> Expression:
    """Integer power text; a compound or negative operand is parenthesised,
    since ``**`` binds tighter than unary minus and ``*``."""
    return Expression(
        grouped(format(base, ""), signed_integer_is_plain=False) + " ** "
        + grouped(format(exp, ""), signed_integer_is_plain=False),
        True,
    )
