"""The formula encoder's shortcut for conjunctions of comparisons and
literals (the PB encoder's clauses read as the clause form) against the
general road of formula nodes and the Tseytin transformation: the same
DIMACS text, variable mapping and refusals for every model."""

import functools
import random

import pytest

import velmont.corvane_engine as ce
from velmont.corvane_engine import _fenc, _manager
from tarvo_encoder.encode import AndIt, SumIt
from tarvo_encoder.encode.model import Model


class Writer:
    """Random constraints over x (size 6) and y (2 x 3) with the forall index i in range(0, 2)."""

    def __init__(self, seed, x, y, i):
        self.rng, self.x, self.y, self.i = random.Random(seed), x, y, i
        self.indexed = True  # whether the formula being written may use i

    def ref(self):
        x, y, i = self.x, self.y, self.i
        plain = [x[0], x[1], x[2], x[3], x[4], x[5], y[0, 2]]
        return self.rng.choice(plain + [x[i], x[i + 3], y[i, 0], y[1, i]] if self.indexed else plain)

    def comparison(self, refs=None):
        rng = self.rng
        cardinality = rng.random() < 0.3
        refs = refs if refs is not None else [self.ref() for _ in range(rng.randrange(1, 7))]
        scale = 2 ** 59 if rng.random() < 0.1 else 1  # weights and bounds near the 64-bit limit
        weights = [scale * (1 if cardinality else rng.choice([-7, -3, -1, 1, 2, 5, 9])) for _ in refs]
        total = SumIt([w * ref for w, ref in zip(weights, refs)])
        low, high = sum(w for w in weights if w < 0), sum(w for w in weights if w > 0)
        # Bounds past either end of the sum's range make the comparison trivially true or false.
        bound = rng.randrange(low - 2 * scale, high + 3 * scale, scale)
        return rng.choice([lambda: total <= bound, lambda: total >= bound, lambda: total == bound])()

    def literal(self):
        return self.ref() if self.rng.random() < 0.5 else ~self.ref()

    def conjunction(self, parts):
        """The parts joined by & in a random grouping, or by one AndIt."""
        if len(parts) == 1:
            return parts[0]
        if self.rng.random() < 0.2:
            return AndIt(parts)
        k = self.rng.randrange(1, len(parts))
        return self.conjunction(parts[:k]) & self.conjunction(parts[k:])

    def constraint(self):
        """Mostly shapes the shortcut takes (lone or joined comparisons and literals), now and then one it leaves."""
        rng = self.rng
        r = rng.random()
        if r < 0.4:
            return self.comparison()
        if r < 0.6:
            parts = [self.comparison() if rng.random() < 0.6 else self.literal() for _ in range(rng.randrange(2, 5))]
            return self.conjunction(parts)
        if r < 0.75:
            # Literals over the comparison's own variables, mostly before it: unit
            # clauses whose variables may last occur in one clause of its encoding.
            refs = [self.ref() for _ in range(rng.randrange(2, 5))]
            units = [ref if rng.random() < 0.5 else ~ref for ref in rng.sample(refs, rng.randrange(1, len(refs) + 1))]
            parts = units + [self.comparison(refs)] if rng.random() < 0.8 else [self.comparison(refs)] + units
            return self.conjunction(parts)
        if r < 0.8:
            return self.literal()
        return rng.choice([lambda: ~self.comparison(), lambda: self.comparison() | self.literal(),
                           lambda: self.comparison() ^ self.comparison(), lambda: ~self.literal() & ~self.literal()])()

    def pb(self):
        return SumIt([self.rng.choice([-2, 1, 3]) * self.ref() for _ in range(self.rng.randrange(1, 4))])


def build(seed, shortcuts, monkeypatch):
    """A random model's DIMACS text and numbered names, or the type and text of its refusal."""
    make = functools.partial(_fenc.FormulaEncoder, clause_form_shortcuts=shortcuts)
    monkeypatch.setattr(_manager, "FormulaEncoder", make)
    m = Model(ce.manager(), f"shortcut{seed}", use_formula_encoder=True)
    x = m.create_variables("x", a=6)
    y = m.create_variables("y", a=2, b=3)
    i = m.get_indexes(["i"])
    writer = Writer(seed, x, y, i)
    soft, target = seed % 4 == 1, seed % 4 == 2
    try:
        for _ in range(writer.rng.randrange(1, 5)):
            foralls = writer.rng.choice([{}, {"i": range(2)}, {"i": [1]}])
            writer.indexed = bool(foralls)
            m.add_constraint(writer.constraint(), **foralls)
        writer.indexed = True
        if soft:
            m.add_soft_constraint(writer.pb(), weight=writer.rng.choice([1, 3]), i=range(2))
            m.build_wcnf()
        elif target:
            writer.indexed = False
            m.add_target(writer.pb())
            m.build_cnf(writer.rng.randrange(-2, 4), True)
        else:
            m.build_cnf()
    except Exception as e:  # noqa: BLE001 - whatever a road raises, the other must raise the same
        return type(e), str(e)
    storage, mapping = m.get_cnf_storage(), m.get_var_mapping()
    mapping.build_inverse_map()
    return storage.to_dimacs(), [mapping.name_of(n) for n in range(1, len(mapping) + 1)]


pytestmark = pytest.mark.usefixtures("quiet_engine_log")


@pytest.mark.parametrize("seed", range(300))
def test_shortcut_writes_the_same_cnf_as_the_general_road(seed, monkeypatch):
    assert build(seed, True, monkeypatch) == build(seed, False, monkeypatch)
