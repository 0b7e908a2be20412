from abc import ABC, abstractmethod

import velmont.corvane_engine.kelpa as pb

from .tarvo_logger import *
from .._log_wanted import DEBUG, log_wanted

# A chain of n `+` or `-` in one formula's text nests n AddOp nodes, so every
# walk over a tree below uses an explicit stack instead of recursion.


class PBBaseOp(ABC):
    def __add__(self, other):
        return AddOp(self, other)

    def __sub__(self, other):
        return AddOp(self, -other)

    @abstractmethod
    def __neg__(self):
        pass

    @abstractmethod
    def __rmul__(self, other):
        pass

    @abstractmethod
    def to_pb(self):
        pass

    @abstractmethod
    def to_maxsat(self):
        pass


class PBVariable(PBBaseOp):
    def __init__(self, pb_var, name, coefficient=1):
        self.pb_var = pb_var
        self.name = name
        self.coefficient = coefficient

    def __neg__(self):
        return PBVariable(self.pb_var, self.name, -self.coefficient)

    def __rmul__(self, other):
        return PBVariable(self.pb_var, self.name, other * self.coefficient)

    def __repr__(self):
        return f"Var(coeff: {self.coefficient}; pb num: {self.pb_var}; bx var: {self.name})"

    def to_pb(self):
        return [pb.WeightedLit(self.pb_var, self.coefficient)]

    def to_maxsat(self):
        return [(self.pb_var, self.coefficient)]


class AddOp(PBBaseOp):
    def __init__(self, first_variable, second_variable):
        self.first_variable = first_variable
        self.second_variable = second_variable

    def __neg__(self):
        return _negated(self)

    def __rmul__(self, other):
        return _scaled(self, other)

    def __repr__(self):
        return _text(self)

    def to_pb(self):
        return _weighted_lits(self)

    def to_maxsat(self):
        return _maxsat_pairs(self)


class Sum(PBBaseOp):
    def __init__(self, *variables):
        self.variables = variables

    def __neg__(self):
        return _negated(self)

    def __rmul__(self, other):
        return _scaled(self, other)

    def __repr__(self):
        return _text(self)

    def to_pb(self):
        return _weighted_lits(self)

    def to_maxsat(self):
        return _maxsat_pairs(self)


def _negated(root):
    return _rebuild(root, PBVariable.__neg__, lambda operand: -operand)


def _scaled(root, factor):
    return _rebuild(root, lambda leaf: leaf.__rmul__(factor), lambda operand: factor * operand)


def _weighted_lits(root):
    return _flatten(root, PBVariable.to_pb, lambda operand: operand.to_pb(), _log_sum_to_pb)


def _maxsat_pairs(root):
    return _flatten(root, PBVariable.to_maxsat, lambda operand: operand.to_maxsat(), None)


def _log_sum_to_pb(items):
    if log_wanted(DEBUG):  # the text of a long sum costs more than its flattening
        log_d("Sum to_pb result " + str(items))


class _SumEnd:
    """Marks, on the walk's stack, where the items of one Sum node end."""

    __slots__ = ("first_item",)

    def __init__(self, first_item):
        self.first_item = first_item


def _flatten(root, leaf_items, other_items, on_sum_done):
    """Items of every leaf in left-to-right order, depth first.

    A node that is not a term is asked for its own items, so an operand such
    as an integer fails exactly where the walk reaches it. `on_sum_done`,
    when given, receives the items of each Sum node as soon as they are
    complete, inner sums before the sums around them.
    """
    items = []
    pending = [root]
    while pending:
        node = pending.pop()
        if isinstance(node, PBVariable):
            items.extend(leaf_items(node))
        elif isinstance(node, AddOp):
            pending.append(node.second_variable)
            pending.append(node.first_variable)
        elif isinstance(node, Sum):
            if on_sum_done is not None:
                pending.append(_SumEnd(len(items)))
            pending.extend(reversed(node.variables))
        elif isinstance(node, _SumEnd):
            on_sum_done(items[node.first_item:])
        else:
            items.extend(other_items(node))
    return items


def _rebuild(root, map_leaf, map_other):
    """A tree of the same shape, every leaf replaced by map_leaf(leaf).

    Operands that are not terms go through map_other; leaves and operands are
    mapped left to right.
    """
    built = []
    pending = [(root, False)]
    while pending:
        node, children_built = pending.pop()
        if isinstance(node, PBVariable):
            built.append(map_leaf(node))
        elif isinstance(node, AddOp):
            if children_built:
                second = built.pop()
                first = built.pop()
                built.append(AddOp(first, second))
            else:
                pending.append((node, True))
                pending.append((node.second_variable, False))
                pending.append((node.first_variable, False))
        elif isinstance(node, Sum):
            if children_built:
                first_member = len(built) - len(node.variables)
                members = built[first_member:]
                del built[first_member:]
                built.append(Sum(*members))
            else:
                pending.append((node, True))
                pending.extend((member, False) for member in reversed(node.variables))
        else:
            built.append(map_other(node))
    return built[0]


def _text(root):
    """The nested repr of a tree, written without recursion."""
    parts = []
    pending = [root]
    while pending:
        node = pending.pop()
        if isinstance(node, str):
            parts.append(node)
        elif isinstance(node, AddOp):
            pending.extend((")", node.second_variable, ", ", node.first_variable, "AddOp("))
        elif isinstance(node, Sum):
            pending.append(")")
            for position in range(len(node.variables) - 1, -1, -1):
                pending.append(node.variables[position])
                if position:
                    pending.append(", ")
            pending.append("Sum(")
        else:
            parts.append(str(node))
    return "".join(parts)
