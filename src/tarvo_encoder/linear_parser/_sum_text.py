"""A fast road for the formula text of a sum of simple terms, products included.

SumIt over many terms writes one long text, CompiledSum([t, t, ...]); the
host's compiler takes tens of microseconds per term to parse it, far more
than evaluating it. The native row reader (_row_reader) reads linear texts
first; this road takes the sums it leaves, chiefly quadratic targets. When every term has one of the forms the expression
operators write for a number times an element, an element times an element,
or an element alone (2.5 * (x(3,1)), (x(0)) * (x(4)), x(7)), and every
element lies in its block, the text is read here and its terms are added up
as the operators and CompiledSum would add them: the same value. Any other
text returns None and goes the reference road (the checked evaluation in the
linear model), which also reports every fault.
"""
import re

from ._compiled_terms import TermSum
from .compiled_linear_expressions import CompiledSum

_INT = r"-?(?:0|[1-9][0-9]*)"
_NUMBER = r"-?(?:[0-9]+\.[0-9]+(?:e[-+][0-9]+)?|[0-9]+e[-+][0-9]+|0|[1-9][0-9]*)"
_ELEMENT = rf"([A-Za-z_][A-Za-z_0-9]*)\(((?:{_INT}(?:,{_INT})*)?)\)"
# Groups: number, element | element, element | element.
_TERM = re.compile(rf"({_NUMBER}) \* \({_ELEMENT}\)|\({_ELEMENT}\) \* \({_ELEMENT}\)|{_ELEMENT}")
_OPENING, _CLOSING = "CompiledSum([", "])"


def _number(text: str):
    return float(text) if "." in text or "e" in text else int(text)


def _column(variables: dict, name: str, subscripts: str):
    """The column of a plain element reference, or None for anything the reference road must judge."""
    block = variables.get(name)
    return None if block is None else block._column_in_range(tuple(map(int, subscripts.split(","))) if subscripts else ())


def evaluated_sum(text: str, variables: dict):
    """The value of `text` as evaluation would give it, or None when this road does not take it.

    One pass, term by term, holding no list of terms (10^5 objects held for a
    moment cost the garbage collector more than the reading). Nothing is
    raised or logged on this road: a term it cannot take, anywhere in the
    text, sends the whole text to the reference road."""
    if not text.startswith(_OPENING) or not text.endswith(_CLOSING) or len(text) == len(_OPENING) + len(_CLOSING):
        return None
    total, position, end = TermSum(), len(_OPENING), len(text) - len(_CLOSING)
    while True:
        match = _TERM.match(text, position, end)
        if match is None:
            return None
        number, name, subscripts, left, left_subscripts, right, right_subscripts, alone, alone_subscripts = match.groups()
        if left:
            columns = _column(variables, left, left_subscripts), _column(variables, right, right_subscripts)
            if None in columns:
                return None
            product = variables[left]._element(columns[0]) * variables[right]._element(columns[1])
            total.add_terms(product._constant, product._linear, product._height, product._quadratic, product._side)
        else:
            column = _column(variables, name, subscripts) if number else _column(variables, alone, alone_subscripts)
            if column is None:
                return None
            # number * x(...) is x(...) with its terms scaled: constant number * 0, coefficient 1 * number.
            factor = _number(number) if number else 1
            total.add_terms(factor * 0, {column: 1 * factor}, column + 1, None, None)
        position = match.end()
        if position == end:
            return CompiledSum._of_sum(total)
        if not text.startswith(", ", position):
            return None
        position += 2
