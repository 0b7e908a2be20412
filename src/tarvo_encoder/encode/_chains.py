"""Texts of chains of one operator, grown on the left: e = e + x[k], e = e & x[k].

Each step adds one link that points to the chain before it, so building a
chain of n operands costs O(n) and its text is written once, when it is
first read. A chain keeps the text that the operators have always written
(x(0).to_pb() + x(1).to_pb() - (x(2).to_pb()), bx.and_s([bx.and_s([a, b]),
c])) while Python's parser reads that text with room to spare; a longer one
is written flat, with the same meaning: Sum(*[a, b, -1 * (c)]) for a sum,
one bx.and_s([a, b, c]) for a conjunction, as SumIt and AndIt write them.
(and_s, or_s and xor_s flatten nested operands of their own kind, so the
flat call builds the formula that the nested calls build.)
"""
import re
import typing as tp

# Terms of a sum written as a + b - (c) ...: Python's compiler recurses once
# per term and gives up near 3,000.
SUM_TERMS_LIMIT = 1000
# Parentheses and brackets around an operand of a nested Boolean chain:
# Python's parser refuses more than 200 levels in all, so half of them are
# left for whatever the chain is put into.
NESTING_LIMIT = 100

_OPENINGS = {"&": "bx.and_s([", "|": "bx.or_s([", "^": "bx.xor_s(["}
_BRACKETS = re.compile(r"[^()\[\]{}]+")


def nesting(text: str) -> int:
    """The deepest level of parentheses and brackets in the text."""
    deepest = depth = 0
    for char in _BRACKETS.sub("", text):
        if char in "([{":
            depth += 1
            deepest = max(deepest, depth)
        else:
            depth -= 1
    return deepest


class Chain:
    """One operand of a chain and the chain before it.

    `operator` is "+" (a sum; each later operand is added or, with
    `negated`, subtracted) or one of "&", "|", "^". `size` is what decides
    between the two texts: for a sum, the terms that the nested text has at
    its top level; for a Boolean chain, a bound on the deepest nesting of its
    operands.
    """

    __slots__ = ("previous", "operator", "operand", "negated", "count", "size")

    def __init__(self, previous: tp.Optional["Chain"], operator: str, operand: str, negated: bool, size: int) -> None:
        self.previous = previous
        self.operator = operator
        self.operand = operand
        self.negated = negated
        if previous is None:
            self.count, self.size = 1, size
        else:
            self.count = previous.count + 1
            self.size = previous.size + size if operator == "+" else (
                size if size > previous.size else previous.size)

    @property
    def written_flat(self) -> bool:
        if self.operator == "+":
            return self.size > SUM_TERMS_LIMIT
        return 2 * (self.count - 1) + self.size > NESTING_LIMIT

    def terms(self) -> int:
        """Top-level terms that this sum adds to a sum it is an operand of."""
        return 1 if self.written_flat else self.size

    def nesting(self) -> int:
        """The deepest nesting in this Boolean chain's text."""
        return (2 if self.written_flat else 2 * (self.count - 1)) + self.size

    def links(self) -> tp.List["Chain"]:
        links, link = [], self
        while link is not None:
            links.append(link)
            link = link.previous
        links.reverse()
        return links

    def text(self) -> str:
        links = self.links()
        if self.operator == "+":
            return _sum_text(links, self.written_flat)
        return _boolean_text(_OPENINGS[self.operator], links, self.written_flat)


def _sum_text(links: tp.List[Chain], flat: bool) -> str:
    first, rest = links[0].operand, links[1:]
    if flat:
        members = [first] + ["-1 * (" + link.operand + ")" if link.negated else link.operand for link in rest]
        return "Sum(*[" + ", ".join(members) + "])"
    return first + "".join(" - (" + link.operand + ")" if link.negated else " + " + link.operand for link in rest)


def _boolean_text(opening: str, links: tp.List[Chain], flat: bool) -> str:
    operands = [link.operand for link in links]
    if flat:
        return opening + ", ".join(operands) + "])"
    return opening * (len(operands) - 1) + operands[0] + "".join(", " + operand + "])" for operand in operands[1:])
