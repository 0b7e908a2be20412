"""Comparisons that keep their meaning wherever a hard constraint places them.

A comparison compiles into clauses over the PB encoder's aux variables, and
those clauses only say "the comparison holds" where the constraint needs it to
be true: negated, a choice of aux values always falsifies them, so
~(x + y + z >= 2) would constrain nothing. A hard constraint is therefore
evaluated twice. The first evaluation stands a placeholder variable in for
each comparison and reads from the formula's structure where each one must
hold and where it must fail. The second encodes each comparison for the
places it takes:

- only where it must hold: its own clauses;
- only where it must fail: the negation of its complement's clauses;
- both (under xor or equivalence, as an if condition): an aux indicator,
  defined by two formulas joined to the constraint at its top,
  indicator -> comparison and ~indicator -> complement.
"""
import typing as tp

import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb

from ..core.formulapb import FormulaPB

HOLDS = 1
FAILS = 2
EITHER = HOLDS | FAILS

_PLACEHOLDER_PREFIX = "_comparison_"


def _flipped(polarity: int) -> int:
    return ((polarity & HOLDS) << 1) | ((polarity & FAILS) >> 1)


def comparison_polarities(formula, placeholders: tp.Sequence) -> tp.List[int]:
    """For each placeholder, the union of the polarities of its occurrences in
    a constraint that must be true (0 when simplification dropped it)."""
    position = {str(placeholder): k for k, placeholder in enumerate(placeholders)}
    polarities = [0] * len(placeholders)
    pending = [(formula, HOLDS)]
    while pending:
        node, polarity = pending.pop()
        if isinstance(node, bx.Variable):
            k = position.get(str(node))
            if k is not None:
                polarities[k] |= polarity
        elif isinstance(node, (bx.And, bx.Or)):
            pending.extend((arg, polarity) for arg in node.get_args())
        elif isinstance(node, bx.Not):
            pending.append((node.get_args()[0], _flipped(polarity)))
        elif isinstance(node, bx.Impl):
            premise, conclusion = node.get_args()
            pending += [(premise, _flipped(polarity)), (conclusion, polarity)]
        elif isinstance(node, bx.Ite):
            condition, then_branch, else_branch = node.get_args()
            pending += [(condition, EITHER), (then_branch, polarity), (else_branch, polarity)]
        elif isinstance(node, (bx.Xor, bx.Eq)):
            pending.extend((arg, EITHER) for arg in node.get_args())
    return polarities


class _ProbedComparison:
    def __init__(self, probe: "ComparisonProbe") -> None:
        self._probe = probe

    def to_bx(self, manager):
        placeholder = manager.bx_context.get_var(_PLACEHOLDER_PREFIX + str(len(self._probe.placeholders)))
        self._probe.placeholders.append(placeholder)
        return placeholder


class ComparisonProbe:
    """Stands for `FormulaPB` in the first evaluation: every comparison
    becomes a placeholder variable, and nothing is encoded."""

    def __init__(self) -> None:
        self.placeholders: tp.List[bx.Variable] = []

    def __call__(self, expression, comparator, *border) -> _ProbedComparison:
        return _ProbedComparison(self)

    def plan(self, formula) -> "PlannedComparisons":
        return PlannedComparisons(comparison_polarities(formula, self.placeholders))


def _complement(expression, comparator, bound, manager):
    """A formula that holds exactly where the comparison fails."""
    if comparator == pb.Comparator_type.LEQ:
        return FormulaPB(expression, pb.Comparator_type.GEQ, bound + 1).to_bx(manager)
    if comparator == pb.Comparator_type.GEQ:
        return FormulaPB(expression, pb.Comparator_type.LEQ, bound - 1).to_bx(manager)
    return bx.or_s([FormulaPB(expression, pb.Comparator_type.LEQ, bound - 1).to_bx(manager),
                    FormulaPB(expression, pb.Comparator_type.GEQ, bound + 1).to_bx(manager)])


class _PlannedComparison(FormulaPB):
    def __init__(self, plan: "PlannedComparisons", expression, comparator, *border) -> None:
        super().__init__(expression, comparator, *border)
        self._plan = plan

    def to_bx(self, manager):
        polarity = self._plan.next_polarity()
        if polarity == FAILS:
            return ~_complement(self.expression, self.comparator, *self.border, manager)
        if polarity != EITHER:
            return super().to_bx(manager)
        indicator = manager.get_pb_var(manager.pb_var_manager.get_variable())
        holds = super().to_bx(manager)
        fails = _complement(self.expression, self.comparator, *self.border, manager)
        self._plan.definitions += [bx.or_s([~indicator, holds]), bx.or_s([indicator, fails])]
        return indicator


class PlannedComparisons:
    """Stands for `FormulaPB` in the second evaluation: the k-th comparison
    evaluated is encoded for the k-th polarity that the probe found."""

    def __init__(self, polarities: tp.Sequence[int]) -> None:
        self._polarities = list(polarities)
        self._next = 0
        self.definitions: tp.List = []

    def __call__(self, expression, comparator, *border) -> _PlannedComparison:
        return _PlannedComparison(self, expression, comparator, *border)

    def next_polarity(self) -> int:
        polarity = self._polarities[self._next] if self._next < len(self._polarities) else HOLDS
        self._next += 1
        return polarity

    def joined(self, formula):
        """The constraint with the indicators' definitions joined at its top."""
        return bx.and_s([formula, *self.definitions]) if self.definitions else formula
