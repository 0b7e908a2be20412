"""A fast road for the formula text of a sum of simple terms.

SumIt over many terms writes one long text, CompiledSum([t, t, ...]); the
host's compiler takes tens of microseconds per term to parse it, far more
than evaluating it. When every term has one of the forms the expression
operators write for a number times an element, an element times an element,
or an element alone (2.5 * (x(3,1)), (x(0)) * (x(4)), x(7)), the text is read
here instead and the same calls are made in the same order: the variable
blocks with the same subscripts, the same operators, one CompiledSum of the
list. (A number times an element is added as its terms, which is what the
operators would make of it.) Any other text returns None and goes the reference road (the checked
evaluation in the linear model).
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


def _terms(text: str):
    """The groups of every term, or None when the text is not such a sum."""
    if not text.startswith(_OPENING) or not text.endswith(_CLOSING) or len(text) == len(_OPENING) + 2:
        return None
    position, end, terms = len(_OPENING), len(text) - len(_CLOSING), []
    while True:
        match = _TERM.match(text, position, end)
        if match is None:
            return None
        terms.append(match.groups())
        position = match.end()
        if position == end:
            return terms
        if not text.startswith(", ", position):
            return None
        position += 2


def _number(text: str):
    return float(text) if "." in text or "e" in text else int(text)


def _subscripts(text: str) -> tuple:
    return tuple(map(int, text.split(","))) if text else ()


def evaluated_sum(text: str, variables: dict):
    """The value of `text` as evaluation would give it, or None when this road does not take it."""
    terms = _terms(text)
    if terms is None:
        return None
    total = TermSum()
    for number, name, subscripts, left, left_subscripts, right, right_subscripts, alone, alone_subscripts in terms:
        names = (name,) if number else (left, right) if left else (alone,)
        if not all(block in variables for block in names):
            return None  # the reference road names the missing name
        if left:
            product = variables[left](*_subscripts(left_subscripts)) * variables[right](*_subscripts(right_subscripts))
            total.add_terms(product._constant, product._linear, product._height, product._quadratic, product._side)
            continue
        # number * x(...) is x(...) with its terms scaled: constant number * 0, coefficient 1 * number.
        factor = _number(number) if number else 1
        column = variables[name or alone]._column_of(_subscripts(subscripts or alone_subscripts))
        total.add_terms(factor * 0, {column: 1 * factor}, column + 1, None, None)
    return CompiledSum._of_sum(total)
