"""Texts of symbolic index arithmetic, shared by the index types of the
pseudo-Boolean and the linear models.

Each step writes onto the index's current text, so (i + 1) + 1 is i + 1 + 1
and 2 * (i + 1) keeps its parentheses: a derived index addresses the element
its arithmetic says."""
from ._grouping import grouped


def _operand_text(operand) -> str:
    # A compound operand keeps its own arithmetic: 2 * (i + 1), i - (j + 1).
    return grouped(format(operand, ""), signed_integer_is_plain=True)


# The left operand of + and - needs no parentheses: these operators associate
# to the left and bind no tighter than anything in an index text.
def shifted_text(expression: str, operator: str, shift) -> str:
    return expression + " " + operator + " " + _operand_text(shift)


def scaled_text(factor, index) -> str:
    return _operand_text(factor) + " * " + _operand_text(index)
