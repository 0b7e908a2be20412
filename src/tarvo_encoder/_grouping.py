import re

_UNSIGNED_INTEGER = re.compile(r"[0-9]+")
_SIGNED_INTEGER = re.compile(r"-?[0-9]+")


def grouped(text: str, signed_integer_is_plain: bool) -> str:
    """Wrap an operand text in parentheses unless it is a plain name or an
    integer literal, so that joining it with an operator keeps its meaning.

    A leading minus binds tighter than ``+``, ``-`` and ``*`` (so ``i + -1``
    needs no parentheses) but looser than ``**`` (``-2 ** 2`` is -4), which
    is why the caller says whether a signed integer counts as plain.
    """
    integer = _SIGNED_INTEGER if signed_integer_is_plain else _UNSIGNED_INTEGER
    if text.isidentifier() or integer.fullmatch(text):
        return text
    return "(" + text + ")"


def grouped_sum(text: str) -> str:
    """Wrap a text in parentheses when it is a sum or difference at its top
    level: as the left factor of ``*`` it would otherwise give only its last
    term the factor.  Every other text (a power, a call) is kept as it is."""
    depth = 0
    for position, char in enumerate(text):
        if char in "([{":
            depth += 1
        elif char in ")]}":
            depth -= 1
        elif depth == 0 and char in "+-" and text[position - 1:position] == " " and text[position + 1:position + 2] == " ":
            return "(" + text + ")"
    return text
