from __future__ import annotations

import copy
import typing as tp
from numbers import Integral

import numpy as np

from ..core.foralls import check_forall_names as _check_forall_names, snapshot_foralls as _snapshot_foralls
from ..core.tarvo_logger import *
from .._logged_errors import refuse_type as _refuse
from .._text_rules import int_text as _int_text
from .._grouping import grouped as _grouped, grouped_sum as _grouped_sum
from .. import _native
from ._chains import Chain, nesting
from .._index_arithmetic import (is_dependent_range as _is_dependent_range,
                                 is_index_arithmetic as _is_index_arithmetic)

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
_NOT_EQUAL = (
    "An expression has no != comparison: write ~(e == bound) for a sum that differs from the bound"
)
_MINIMIZATION_OPERAND = "Type 'bool', 'int' or None is expected for 'minimization', got "
_POWER_OPERAND = "pow_expression takes ints, indexes and pow_expression results, got "


def _require_term(expr: Expression, position: str) -> None:
    """Refuse, at the operator, an operand that the PB term tree cannot take."""
    if isinstance(expr, _Coefficient):
        _refuse("pow_expression(...) " + position + " is a number, not a pseudo-Boolean term: multiply a variable"
                " by it, such as x[i] * pow_expression(2, i)")
    if not expr.soft:
        _refuse("A Boolean formula (a comparison, a connective, a negation, One or Zero) " + position
                + " is not a pseudo-Boolean term: use variables, sums and integer multiples of them, and move"
                " constants into the bound (3 * ~x[0] <= b is -3 * x[0] <= b - 3)")


def _expr2bx(expr: Expression) -> str:
    """Operand text in a Boolean position: an element reference becomes its
    engine Boolean variable, everything else already is a formula."""
    if isinstance(expr, VariableProxy):
        return str(expr) + ".to_bx()"
    return str(expr)


def _term_text(expr: Expression) -> str:
    """Operand text of a sum combinator, which adds terms only."""
    _require_term(expr, "in a sum")
    return _expr2pb(expr)


def _expr2pb(expr: Expression) -> str:
    """Operand text in a pseudo-Boolean position: an element reference becomes
    its PB term, everything else already is a term."""
    if isinstance(expr, VariableProxy):
        return str(expr) + ".to_pb()"
    return str(expr)


class Expression(_native.ExpressionBase):
    """Expression text plus the soft flag: True for a pseudo-Boolean term,
    False for a Boolean formula. Operators only join texts.

    The native base holds the text (`_expr`, written from `_chain` when first
    read), `_soft`, `_compares` (True on the result of <=, >= and ==: its whole
    text is one comparison) and `_chain` (set on the results of +, -, &, | and
    ^ only: the operands of the chain that the result ends). Its operators
    (+ - * <= >= == != & | ^ ~) write the common cases themselves and call
    the reference functions below for every other one.
    """

    def maxsat(self, minimization: bool) -> Expression:
        _require_term(self, "as a soft constraint")
        return Expression(
            "FormulaPB(" + _expr2pb(self) + ", None, None).to_maxsat(manager, "
            + _minimization_text(minimization) + ")",
            True,
        )

    def __bool__(self) -> bool:
        # Counted as true, 0 <= e <= 1 would keep only its last comparison and
        # e1 and e2 only e2: the model would silently lose a bound or an operand.
        _refuse(_NO_TRUTH_VALUE)

    def __copy__(self) -> Expression:
        duplicate = self._duplicate()
        duplicate.__dict__.update(self.__dict__)
        return duplicate

    def __deepcopy__(self, memo) -> Expression:
        duplicate = self._duplicate()
        memo[id(self)] = duplicate
        duplicate.__dict__.update(copy.deepcopy(self.__dict__, memo))
        return duplicate

    def __reduce__(self):
        # Pickled as its written text: an unpickled chain result extends as
        # an expression of that text does.
        return _unpickled, (type(self), self._expr, self._soft, self._compares), self.__dict__ or None


def _unpickled(cls, text, soft, compares) -> Expression:
    expression = cls.__new__(cls)
    expression._expr, expression._soft, expression._compares = text, soft, compares
    return expression


def _multiply(expr: Expression, other: tp.Union[Integral, Expression]) -> Expression:
    """expr * other and other * expr. The factor always goes first: the PB
    term tree multiplies only from the left."""
    if isinstance(other, Integral):
        if isinstance(expr, _Coefficient):
            return _Coefficient(_int_text(other) + " * (" + str(expr) + ")")
        _require_term(expr, "multiplied by an int")
        return Expression(_int_text(other) + " * (" + _expr2pb(expr) + ")", True)
    if isinstance(other, Expression):
        return _product(expr, other)
    _refuse(_FACTOR_OPERAND)


def _negation(expr: Expression) -> Expression:
    return Expression("~(" + _expr2bx(expr) + ")", False)


def _not_equal(term: Expression, bound: Integral) -> tp.NoReturn:
    _comparison(term, "BOTH", bound)  # the operands' own refusals first
    _refuse(_NOT_EQUAL)


def _minimization_text(minimization) -> str:
    """The text of a soft constraint's flag: True, False, None or an int's digits."""
    if minimization is None or isinstance(minimization, (bool, np.bool_)):
        return str(None if minimization is None else bool(minimization))
    if isinstance(minimization, Integral):
        return _int_text(minimization)
    _refuse(_MINIMIZATION_OPERAND + type(minimization).__name__)


def _comparison(term: Expression, comparator: str, bound: Integral) -> Expression:
    if not isinstance(bound, Integral):
        _refuse(_BOUND_OPERAND)
    _require_term(term, "compared with a bound")
    result = Expression(
        "FormulaPB(" + _expr2pb(term) + ", pb.Comparator_type." + comparator + ", "
        + _int_text(bound) + ").to_bx(manager)",
        False,
    )
    result._compares = True
    return result


def _chained(chain: Chain, soft: bool) -> Expression:
    result = Expression.__new__(Expression)
    result._soft = soft
    result._chain = chain
    return result


def _sum_terms(expr: Expression) -> int:
    chain = expr._chain
    return chain.terms() if chain is not None and chain.operator == "+" else 1


def _sum_step(left: Expression, right: Expression, negated: bool) -> Expression:
    """left + right or left - right: one more link when left is a sum chain."""
    if not isinstance(right, Expression):
        _refuse(_EXPRESSION_OPERAND)
    _require_term(left, "in a sum")
    _require_term(right, "in a sum")
    chain = left._chain
    if chain is None or chain.operator != "+":
        chain = Chain(None, "+", _expr2pb(left), False, _sum_terms(left))
    # A subtracted operand stands in parentheses: one term at the top level.
    terms = 1 if negated else _sum_terms(right)
    return _chained(Chain(chain, "+", _expr2pb(right), negated, terms), soft=True)


def _product(left: Expression, right: Expression) -> Expression:
    """A term times a coefficient, in either order; two coefficients make a coefficient."""
    if isinstance(left, _Coefficient) and isinstance(right, _Coefficient):
        return _Coefficient(_grouped_sum(str(left)) + " * (" + str(right) + ")")
    return Expression(_grouped_sum(str(left)) + " * (" + _expr2pb(right) + ")", True)


def _operand_nesting(expr: Expression, text: str) -> int:
    """A bound on the nesting of an operand's text: exact for a text with
    many brackets, their count (which no nesting exceeds) for a small one."""
    chain = expr._chain
    if chain is not None and chain.operator != "+":
        return chain.nesting()
    brackets = text.count("(") + text.count("[")
    return brackets if brackets <= 8 else nesting(text)


def _boolean_step(operator: str, left: Expression, right: Expression) -> Expression:
    """left & right (| or ^): one more link when left is a chain of the same operator."""
    if not isinstance(right, Expression):
        _refuse(_EXPRESSION_OPERAND)
    chain = left._chain
    if chain is None or chain.operator != operator:
        text = _expr2bx(left)
        chain = Chain(None, operator, text, False, _operand_nesting(left, text))
    text = _expr2bx(right)
    return _chained(Chain(chain, operator, text, False, _operand_nesting(right, text)), soft=False)


class VariableProxy(Expression):
    """One element reference of a model variable, such as x(i + 1,j)."""

    def __init__(self, name: str) -> None:
        super().__init__(name, True)

    @property
    def name(self) -> str:
        return self._expr

    def __repr__(self):
        return self._expr


def _loop_values_text(name: str, values) -> str:
    """The text a loop runs over: a range, ints (numpy arrays included) or a
    range over earlier loops' indexes such as "range(i, 2)"; nothing else,
    since the text is evaluated."""
    if _is_dependent_range(values):
        return values.strip()
    if type(values) in (list, tuple) and all(type(value) is int for value in values):
        return format(values, "")  # keeps a one-element tuple's comma, (3,)
    if isinstance(values, (set, frozenset)):
        values = list(values)  # in the set's own order, as a loop over it runs
    return format(_snapshot_foralls({name: values})[name], "")


def _indexed_text(opening: str, operand_text, expr: Expression, indexes: dict) -> str:
    """The text of one operand repeated by a list comprehension whose clauses
    are the keyword index ranges, first keyword outermost."""
    if not isinstance(expr, Expression):
        _refuse(_COMBINATOR_OPERAND)
    _check_forall_names(indexes)
    fors = " ".join(
        "for " + name + " in " + _loop_values_text(name, values) for name, values in indexes.items()
    )
    return opening + operand_text(expr) + " " + fors + "])"


class Sum(Expression):
    def __init__(self, expr: Expression, **indexes) -> None:
        super().__init__(soft=True)
        self._expr = _indexed_text("Sum(*[", _term_text, expr, indexes)


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


def _sequence_text(expressions, opening: str, combinator: str, terms: bool, log_refusal: bool) -> str:
    """The opening, the operands' texts (terms or Boolean) joined by commas,
    then "])": written natively for a list or tuple of expressions that the
    operators know, checked and written here otherwise."""
    text = _native.joined_operands(opening, expressions, terms)
    if text is None:
        _check_sequence(expressions, combinator, log_refusal)
        text = opening + ", ".join(map(_term_text if terms else _expr2bx, expressions)) + "])"
    return text


class SumIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(_sequence_text(expressions, "Sum(*[", "SumIt", terms=True, log_refusal=True), True)
        self.ability_use_for_target = True


class AndIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(_sequence_text(expressions, "bx.and_s([", "AndIt", terms=False, log_refusal=False), False)


class OrIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(_sequence_text(expressions, "bx.or_s([", "OrIt", terms=False, log_refusal=False), False)


class XorIt(Expression):
    def __init__(self, expressions: tp.Sequence[Expression]) -> None:
        super().__init__(_sequence_text(expressions, "bx.xor_s([", "XorIt", terms=False, log_refusal=False), False)


# Boolean constants: soft False, so that a model refuses them as a target or a
# soft constraint (the PB term tree has no constant term) with its usual message.
One = Expression("bx.one()", False)
Zero = Expression("bx.zero()", False)


class _Coefficient(Expression):
    """An integer-valued expression, such as a power: a factor of a term, never a term."""

    def __init__(self, expr: str) -> None:
        super().__init__(expr, True)


def _power_operand_text(operand) -> str:
    if isinstance(operand, Integral):
        text = _int_text(operand)
    elif isinstance(operand, _Coefficient):
        text = str(operand)
    elif _is_index(operand) and _is_index_arithmetic(operand.expression):
        text = operand.expression
    elif _is_index_arithmetic(operand):
        text = operand  # index arithmetic written out, such as "62 - k"
    else:
        _refuse(_POWER_OPERAND + repr(operand)[:80])
    return _grouped(text, signed_integer_is_plain=False)


def _is_index(operand) -> bool:
    from .variables import Index  # imported here: that module builds on this one
    return isinstance(operand, Index)


def pow_expression(base: int, exp) -> Expression:
    """Integer power text; a compound or negative operand is parenthesised,
    since ``**`` binds tighter than unary minus and ``*``."""
    return _Coefficient(_power_operand_text(base) + " ** " + _power_operand_text(exp))


_native.register_expression_roads(
    Expression, VariableProxy, (Expression, VariableProxy, Sum, And, Or, Xor, Equiv, Implication, IfThenElse,
                                SumIt, AndIt, OrIt, XorIt),
    boolean_step=_boolean_step, sum_step=_sum_step, comparison=_comparison, not_equal=_not_equal,
    multiply=_multiply, negation=_negation)
