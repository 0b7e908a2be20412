"""Recognisers for the caller texts that the expression text may carry.

Expression text is evaluated, so a text that came from a caller may only hold
index arithmetic: names, decimal integers, + - * and grouping parentheses.
A parenthesis never follows a name or a closing one, so nothing is called,
and no attribute, subscript or keyword can appear.
"""
import functools
import re
import typing as tp

from ._text_rules import is_plain_name

_TOKEN = re.compile(r"\s*(?:([0-9]+)|([^\W\d]\w*)|([-+*(),]))")
_RANGE = re.compile(r"\s*range\s*\((.*)\)\s*", re.DOTALL)


def _tokens(text: str) -> tp.Optional[tp.List[str]]:
    tokens, position = [], 0
    while position < len(text):
        found = _TOKEN.match(text, position)
        if found is None:
            return None if text[position:].strip() else tokens
        if found.group(2) is not None and not is_plain_name(found.group(2)):
            return None
        tokens.append(found.group(found.lastindex))
        position = found.end()
    return tokens


def _is_arithmetic(tokens: tp.Sequence[str]) -> bool:
    depth, expect_operand = 0, True
    for token in tokens:
        if expect_operand:
            if token == "(":
                depth += 1
            elif token not in ("-", "+"):
                if token in ("*", ")", ","):
                    return False
                expect_operand = False
        elif token == ")" and depth > 0:
            depth -= 1
        elif token in ("+", "-", "*"):
            expect_operand = True
        else:
            return False
    return depth == 0 and not expect_operand


def is_index_arithmetic(text: object) -> bool:
    """True for a text such as i, i + 1, 2 * (i - 1) or i - j."""
    return type(text) is str and _is_index_arithmetic_text(text)


@functools.lru_cache(maxsize=4096)
def _is_index_arithmetic_text(text: str) -> bool:
    # Cached: a model subscripts with the same few index texts over and over.
    tokens = _tokens(text)
    return tokens is not None and _is_arithmetic(tokens)


def is_dependent_range(text: object) -> bool:
    """True for a text such as range(i, 2) or range(0, n - i, 2): one to three
    index arithmetic arguments of range."""
    found = _RANGE.fullmatch(text) if isinstance(text, str) else None
    tokens = None if found is None else _tokens(found.group(1))
    if not tokens:
        return False
    arguments, depth, current = [], 0, []
    for token in tokens:
        depth += (token == "(") - (token == ")")
        if token == "," and depth == 0:
            arguments.append(current)
            current = []
        else:
            current.append(token)
    arguments.append(current)
    return 1 <= len(arguments) <= 3 and all(map(_is_arithmetic, arguments))
