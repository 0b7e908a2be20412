"""The container's road for the commonest hard constraint: one clause over
declared elements, such as x[1] | ~x[2] | y[0, 3], without foralls.

Its expression text is read in C++ straight into a clause storage, without
evaluating it, compiling a template or expanding one: the clause is what the
evaluation road stores for it, its literals sorted by absolute value, and
the formula has no aux variable. The reader takes a text only when that is
sure (every name a declared variable, every index inside its dimension,
every variable met once); any other text goes the evaluation road.
"""
import re
import typing as tp
from collections.abc import Sequence


# A variable reference with int indexes, negated when inside ~( ... ); not
# the calls of the methods (.to_bx()) and functions (bx.or_s([...])) around it.
_LITERAL = re.compile(r"(~\()?((?<![\w.])[A-Za-z_]\w*\((?:\d+(?:,\d+)*)?\))")


class PlainClauseTexts(Sequence):
    """The literal texts of a plain clause (one clause), written when first
    read: the order of the references in the text is the clause's order."""

    def __init__(self, text: str) -> None:
        self._text = text
        self._texts: tp.Optional[tp.List[tp.List[str]]] = None

    def __len__(self) -> int:
        return 1

    def __getitem__(self, position):
        if self._texts is None:
            self._texts = [[("-" if negated else "") + reference for negated, reference in _LITERAL.findall(self._text)]]
        return self._texts[position]
