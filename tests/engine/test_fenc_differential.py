"""Formula-encoder mode against container mode on random small models
written with the library's operators: the same models projected on the
declared elements, and the same weighted optimum."""

import random

import pytest
from pysat.examples.rc2 import RC2

import velmont.corvane_engine as ce
from fenc_truth import satisfiable_under
from maxsat_check import storage_wcnf
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode import (And, AndIt, Equiv, IfThenElse, Implication, One, Or, OrIt, Sum, SumIt, Xor,
                                  XorIt, Zero, pow_expression)
from tarvo_encoder.encode.model import Model


class Writer:
    """Random expressions over x (size 3) and y (2 x 2) with the forall index i in range(0, 2)."""

    def __init__(self, seed, x, y, i, j):
        self.rng, self.x, self.y, self.i, self.j = random.Random(seed), x, y, i, j

    def ref(self):
        x, y, i = self.x, self.y, self.i
        return self.rng.choice([x[i], x[i + 1], x[2], y[i, 0], y[1, i], y[0, 1]])

    def coefficient(self):
        return self.rng.choice([-2, -1, 2, 3])

    def pb(self, depth):
        x, y, i, j, rng = self.x, self.y, self.i, self.j, self.rng
        r = rng.random()
        if depth <= 0 or r < 0.3:
            return self.ref()
        if r < 0.45:
            return self.pb(depth - 1) + self.pb(depth - 1)
        if r < 0.55:
            return self.pb(depth - 1) - self.pb(depth - 1)
        if r < 0.7:
            return self.coefficient() * self.pb(depth - 1)
        return rng.choice([
            lambda: Sum(x[j], j=range(3)),
            lambda: Sum(y[i, j], j=range(2)),
            lambda: Sum(pow_expression(2, j) * x[j], j=range(3)),
            lambda: SumIt([self.pb(depth - 1), self.ref()]),
        ])()

    def boolean(self, depth):
        x, y, i, j, rng = self.x, self.y, self.i, self.j, self.rng
        r = rng.random()
        if depth <= 0 or r < 0.15:
            return self.ref()
        if r < 0.4:
            term, bound = self.pb(depth - 1), rng.randrange(-2, 5)
            return rng.choice([lambda: term <= bound, lambda: term >= bound, lambda: term == bound,
                               lambda: bound <= term])()
        sub = lambda: self.boolean(depth - 1)  # noqa: E731
        return rng.choice([
            lambda: sub() & sub(), lambda: sub() | sub(), lambda: sub() ^ sub(), lambda: ~sub(),
            lambda: AndIt([sub(), sub()]), lambda: OrIt([sub()]), lambda: XorIt([sub(), sub(), sub()]),
            lambda: Equiv(sub(), sub()), lambda: Implication(sub(), sub()),
            lambda: IfThenElse(sub(), sub(), sub()), lambda: And(x[j], j=range(3)),
            lambda: Or(y[i, j] & x[j], j=range(2)), lambda: Xor(x[j], j=[0, 2]),
            lambda: One & sub(), lambda: Zero | sub(),
        ])()


def build(use_formula_encoder, seed, soft):
    """A random model; returns its storage and element name -> number, or None on a contradiction."""
    m = Model(ce.manager(), f"random{seed}", use_formula_encoder=use_formula_encoder)
    x = m.create_variables("x", a=3)
    y = m.create_variables("y", a=2, b=2)
    i, j = m.get_indexes(["i", "j"])
    writer = Writer(seed, x, y, i, j)
    try:
        for _ in range(writer.rng.randrange(1, 3)):
            m.add_constraint(writer.boolean(2), i=writer.rng.choice([range(2), [1]]))
        if soft:
            for _ in range(writer.rng.randrange(1, 3)):
                m.add_soft_constraint(writer.pb(2), weight=writer.rng.choice([1, 2, 5]),
                                      minimization=writer.rng.random() < 0.5, i=range(2))
            m.build_wcnf()
        else:
            m.build_cnf()
    except FormulaError:  # container mode refuses a constraint that can never hold
        return None
    mapping = m.get_var_mapping()
    names = [f"x[{a}]" for a in range(3)] + [f"y[{a},{b}]" for a in range(2) for b in range(2)]
    return m.get_cnf_storage(), [mapping.number_of(n) for n in names]


def projected_models(storage, numbers):
    cases = [[n if (bits >> k) & 1 else -n for k, n in enumerate(numbers)] for bits in range(1 << len(numbers))]
    return satisfiable_under(storage.hard_clauses(), cases)


pytestmark = pytest.mark.usefixtures("quiet_engine_log")


@pytest.mark.parametrize("seed", range(200))
def test_same_models_on_the_declared_elements(seed):
    container = build(False, seed, soft=False)
    encoded = build(True, seed, soft=False)
    if container is None:  # a contradiction: the native road's CNF has no model
        assert not any(projected_models(*encoded))
    else:
        assert projected_models(*encoded) == projected_models(*container)


def optimum(storage):
    with RC2(storage_wcnf(storage)) as rc2:
        return rc2.cost if rc2.compute() is not None else None


@pytest.mark.parametrize("seed", range(100))
def test_same_weighted_optimum(seed):
    container = build(False, 10000 + seed, soft=True)
    encoded = build(True, 10000 + seed, soft=True)
    if container is None:
        assert optimum(encoded[0]) is None
    else:
        assert optimum(encoded[0]) == optimum(container[0])
