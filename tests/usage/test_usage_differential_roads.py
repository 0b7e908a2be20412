"""Small models built on both roads (container mode and formula-encoder
mode) against brute force over their declared elements: hard constraints
over two foralls with index arithmetic, targets bounded by a border or by
a witness, weighted soft constraints, and the witness interpreter reading a
solver's model back by element name. Random models over elements without
foralls also check container mode's fast roads against its reference road."""
import contextlib
import logging
import random

import numpy as np
import pytest

from tarvo_encoder import (And, AndIt, Equiv, IfThenElse, Implication, One, Or, OrIt, Sum, SumIt, Xor, XorIt, Zero,
                           pow_expression)
from tarvo_encoder._exceptions import FormulaError
from roads_check import ROADS, Built, assignments, container_fast_roads_off

X, Y = dict(a=3), dict(a=2, b=2)  # x[0..2] and y[0..1, 0..1]: seven elements
TWO_BY_TWO = dict(i=range(2), j=range(2))

road = pytest.mark.parametrize("use_formula_encoder", ROADS.values(), ids=ROADS.keys())


@pytest.fixture(autouse=True)
def quiet_engine_log(caplog):
    # Contradictions and redundant constraints are logged; they are expected here.
    # Through caplog, so that the level is restored for the tests that follow.
    caplog.set_level(logging.CRITICAL, logger="velmont.corvane_engine")


def x_(a, k):
    return a[f"x[{k}]"]


def y_(a, p, q):
    return a[f"y[{p},{q}]"]


def instances(foralls):
    """(i, j) of every instance; an index without a forall is 0 (and unused)."""
    return [(i, j) for i in foralls.get("i", [0]) for j in foralls.get("j", [0])]


def hard_models(built, form, foralls):
    """The projected models of one constraint, or the empty set when container mode refuses a
    constraint that can never hold."""
    try:
        built.model.add_constraint(form(built.v), **foralls)
    except FormulaError:
        return set()
    built.model.build_cnf()
    return built.models()


# (form, foralls, predicate(assignment, i, j) of one instance)
HARD = {
    "pairs along i + 1": (lambda v: v.y[v.i, v.j] | v.y[v.i + 1, v.j], dict(i=[0], j=range(2)),
                          lambda a, i, j: y_(a, i, j) or y_(a, i + 1, j)),
    "2 * i implies x(j)": (lambda v: Implication(v.x[2 * v.i], v.y[v.j, v.i]), TWO_BY_TWO,
                           lambda a, i, j: not x_(a, 2 * i) or y_(a, j, i)),
    "index sum i + j": (lambda v: ~v.x[v.i + v.j], TWO_BY_TWO, lambda a, i, j: not x_(a, i + j)),
    "i + 1 - j": (lambda v: v.x[(v.i + 1) - v.j] ^ v.y[v.i, v.j], TWO_BY_TWO,
                  lambda a, i, j: x_(a, i + 1 - j) != y_(a, i, j)),
    "j outermost": (lambda v: v.y[v.i, v.j] | ~v.x[v.j + 1], dict(j=[1, 0], i=[1]),
                    lambda a, i, j: y_(a, i, j) or not x_(a, j + 1)),
    "row sum against a negative weight": (lambda v: Sum(v.y[v.i, v.k], k=range(2)) - 2 * v.x[v.i] >= 0,
                                          dict(i=range(2)),
                                          lambda a, i, j: y_(a, i, 0) + y_(a, i, 1) - 2 * x_(a, i) >= 0),
    "SumIt over two foralls": (lambda v: SumIt([v.y[v.i, v.j], v.x[v.i + v.j], v.x[2]]) == 1, TWO_BY_TWO,
                               lambda a, i, j: y_(a, i, j) + x_(a, i + j) + x_(a, 2) == 1),
    "XorIt with One": (lambda v: XorIt([v.y[v.i, v.j], v.x[v.j], One]), TWO_BY_TWO,
                       lambda a, i, j: y_(a, i, j) == x_(a, j)),
    "OrIt, AndIt, Zero": (lambda v: OrIt([AndIt([v.y[v.i, v.j], One]), Zero, v.x[v.j + 1]]), TWO_BY_TWO,
                          lambda a, i, j: y_(a, i, j) or x_(a, j + 1)),
    "AndIt of comparisons": (lambda v: AndIt([v.x[v.i] + v.y[v.i, v.j] <= 1, v.x[v.i + 1] - v.y[v.j, v.i] >= 0]),
                             TWO_BY_TWO,
                             lambda a, i, j: x_(a, i) + y_(a, i, j) <= 1 and x_(a, i + 1) >= y_(a, j, i)),
    "Equiv with One": (lambda v: Equiv(v.x[v.i], One, v.y[v.i, 1]), dict(i=range(2)),
                       lambda a, i, j: x_(a, i) and y_(a, i, 1)),
    "IfThenElse to Zero": (lambda v: IfThenElse(v.x[v.i], Zero, v.y[v.i, 0]), dict(i=range(2)),
                           lambda a, i, j: not x_(a, i) and y_(a, i, 0)),
    "Implication from One and to Zero": (lambda v: Implication(One, v.x[v.i]) & Implication(v.y[v.i, 0], Zero),
                                         dict(i=range(2)), lambda a, i, j: x_(a, i) and not y_(a, i, 0)),
    "Or of a loop inside foralls": (lambda v: Or(v.y[v.k, v.j] & v.x[v.i + v.k], k=range(2)), TWO_BY_TWO,
                                    lambda a, i, j: any(y_(a, k, j) and x_(a, i + k) for k in range(2))),
    "And of a loop inside a forall": (lambda v: And(v.y[v.i, v.k] | ~v.x[v.j + v.k], k=range(2)), TWO_BY_TWO,
                                      lambda a, i, j: all(y_(a, i, k) or not x_(a, j + k) for k in range(2))),
    "Xor of a loop": (lambda v: Xor(v.x[v.i + v.k], k=range(2)), dict(i=range(2)),
                      lambda a, i, j: x_(a, i) != x_(a, i + 1)),
    # The loop index on the left of a forall index: an int there in container mode's evaluation.
    "loop index plus a forall": (lambda v: Sum(v.x[v.k + v.i], k=range(2)) <= 1, dict(i=range(2)),
                                 lambda a, i, j: x_(a, i) + x_(a, i + 1) <= 1),
    "loop index less a forall": (lambda v: Or(v.y[v.k - v.i + 1, v.j], k=range(2)), dict(i=[1], j=range(2)),
                                 lambda a, i, j: y_(a, 0, j) or y_(a, 1, j)),
    # A loop over a range that a forall index bounds: its length changes from one instance to the next.
    "loop over a range a forall bounds": (lambda v: Or(v.x[v.k], k="range(i, 3)"), dict(i=range(3)),
                                          lambda a, i, j: any(x_(a, k) for k in range(i, 3))),
    "sum over a range a forall bounds": (lambda v: Sum(v.y[v.i, v.k], k="range(i, 2)") + v.x[v.i] <= 1,
                                         dict(i=range(2)),
                                         lambda a, i, j: sum(y_(a, i, k) for k in range(i, 2)) + x_(a, i) <= 1),
    "range two foralls bound": (lambda v: And(~v.x[v.k], k="range(j, i + 1)") | v.y[v.i, v.j], TWO_BY_TWO,
                                lambda a, i, j: all(not x_(a, k) for k in range(j, i + 1)) or y_(a, i, j)),
    "range a forall bounds empty in one instance": (lambda v: Or(v.x[v.k], k="range(i, 2)"), dict(i=range(3)),
                                                    lambda a, i, j: any(x_(a, k) for k in range(i, 2))),
    "twice the loop index less a forall": (lambda v: Or(v.x[2 * v.k - v.i + 1], k=range(2)), dict(i=[1]),
                                           lambda a, i, j: x_(a, 0) or x_(a, 2)),
    # Negative coefficients with the bound at the least and greatest values of the sum.
    "at most the least value": (lambda v: -3 * v.x[0] - 2 * v.x[1] + 4 * v.y[0, 0] <= -5, {},
                                lambda a, i, j: x_(a, 0) and x_(a, 1) and not y_(a, 0, 0)),
    "at least the greatest value": (lambda v: -3 * v.x[0] - 2 * v.x[1] + 4 * v.y[0, 0] >= 4, {},
                                    lambda a, i, j: not x_(a, 0) and not x_(a, 1) and y_(a, 0, 0)),
    "equal to the least value": (lambda v: -3 * v.x[0] - 2 * v.x[1] + 4 * v.y[0, 0] == -5, {},
                                 lambda a, i, j: x_(a, 0) and x_(a, 1) and not y_(a, 0, 0)),
    "negated at least the greatest": (lambda v: ~(-3 * v.x[0] - 2 * v.x[1] + 4 * v.y[0, 0] >= 4), {},
                                      lambda a, i, j: x_(a, 0) or x_(a, 1) or not y_(a, 0, 0)),
    "beyond the greatest value": (lambda v: (v.x[0] - 2 * v.x[1] >= 2) | v.y[1, 1], {},
                                  lambda a, i, j: y_(a, 1, 1)),
    "below the least value, negated": (lambda v: ~(v.x[0] - 2 * v.x[1] <= -3) & v.y[1, 0], {},
                                       lambda a, i, j: y_(a, 1, 0)),
    "large weights": (lambda v: Sum(pow_expression(2, "62 - k") * v.x[v.k], k=range(3)) >= 2 ** 62 + 2 ** 60, {},
                      lambda a, i, j: x_(a, 0) and (x_(a, 1) or x_(a, 2))),
    # Empty sums are 0.
    "empty Sum at most 0": (lambda v: (Sum(v.x[v.k], k=[]) <= 0) & v.x[0], {}, lambda a, i, j: x_(a, 0)),
    "empty Sum at least 1 or": (lambda v: (Sum(v.x[v.k], k=[]) >= 1) | v.x[0], {}, lambda a, i, j: x_(a, 0)),
    "empty SumIt equal to -1 or": (lambda v: (SumIt([]) == -1) | v.x[1], {}, lambda a, i, j: x_(a, 1)),
    "negated empty Sum": (lambda v: ~(Sum(v.x[v.k], k=[]) >= 1) & v.x[1], {}, lambda a, i, j: x_(a, 1)),
    "cancelled terms": (lambda v: (v.x[0] - v.x[0] + 0 * v.x[1] >= 1) | v.x[2], {}, lambda a, i, j: x_(a, 2)),
    # Powers as coefficients.
    "(-2) ** (k + 1)": (lambda v: Sum(pow_expression(-2, v.k + 1) * v.x[v.k], k=range(3)) <= -2, {},
                        lambda a, i, j: -2 * x_(a, 0) + 4 * x_(a, 1) - 8 * x_(a, 2) <= -2),
    "k ** k": (lambda v: Sum(pow_expression(v.k, v.k) * v.x[v.k], k=range(3)) == 5, {},
               lambda a, i, j: x_(a, 0) + x_(a, 1) + 4 * x_(a, 2) == 5),
    "power times power": (lambda v: Sum(pow_expression(2, v.k) * pow_expression(3, v.k) * v.x[v.k], k=range(3)) >= 7,
                          {}, lambda a, i, j: x_(a, 0) + 6 * x_(a, 1) + 36 * x_(a, 2) >= 7),
    "power times a difference": (lambda v: pow_expression(-1, 1) * (v.x[0] - v.x[1]) >= 1, {},
                                 lambda a, i, j: x_(a, 1) and not x_(a, 0)),
    "power of a row in a forall": (lambda v: Sum(pow_expression(2, v.k) * v.y[v.i, v.k], k=range(2)) + v.x[v.i] >= 2,
                                   dict(i=range(2)), lambda a, i, j: y_(a, i, 0) + 2 * y_(a, i, 1) + x_(a, i) >= 2),
}


@road
@pytest.mark.parametrize("form, foralls, predicate", HARD.values(), ids=HARD.keys())
def test_hard_constraint_has_its_brute_force_models(use_formula_encoder, form, foralls, predicate):
    built = Built(use_formula_encoder, x=X, y=Y)
    expected = {values for values, a in assignments(built.names)
                if all(predicate(a, i, j) for i, j in instances(foralls))}
    assert hard_models(built, form, foralls) == expected


class Writer:
    """Random (expression, predicate(assignment, i, j)) pairs over x and y with the foralls i and j in
    range(2) and the loop index k, references written with index arithmetic."""

    X_INDEXES = [(lambda v: v.i, lambda i, j: i), (lambda v: v.i + 1, lambda i, j: i + 1),
                 (lambda v: 2 * v.i, lambda i, j: 2 * i), (lambda v: v.i + v.j, lambda i, j: i + j),
                 (lambda v: (v.i + 1) - v.j, lambda i, j: i + 1 - j), (lambda v: 2, lambda i, j: 2)]
    Y_INDEXES = [(lambda v: v.i, lambda i, j: i), (lambda v: v.j, lambda i, j: j), (lambda v: 1, lambda i, j: 1)]

    def __init__(self, seed, v):
        self.rng, self.v = random.Random(seed), v

    def ref(self):
        rng, v = self.rng, self.v
        if rng.random() < 0.6:
            write, at = rng.choice(self.X_INDEXES)
            return v.x[write(v)], lambda a, i, j: x_(a, at(i, j))
        (write_p, at_p), (write_q, at_q) = rng.choice(self.Y_INDEXES), rng.choice(self.Y_INDEXES)
        return v.y[write_p(v), write_q(v)], lambda a, i, j: y_(a, at_p(i, j), at_q(i, j))

    def term(self, depth):
        rng, v = self.rng, self.v
        r = rng.random()
        if depth <= 0 or r < 0.3:
            return self.ref()
        if r < 0.5:
            (e, p), (f, q) = self.term(depth - 1), self.term(depth - 1)
            if rng.random() < 0.5:
                return e + f, lambda a, i, j: p(a, i, j) + q(a, i, j)
            return e - f, lambda a, i, j: p(a, i, j) - q(a, i, j)
        if r < 0.65:
            c, (e, p) = rng.choice([-3, -1, 2, 3]), self.term(depth - 1)
            return c * e, lambda a, i, j: c * p(a, i, j)
        if r < 0.75:
            return (Sum(pow_expression(2, v.k) * v.y[v.i, v.k], k=range(2)),
                    lambda a, i, j: y_(a, i, 0) + 2 * y_(a, i, 1))
        if r < 0.85:
            return (Sum(pow_expression(-2, v.k) * v.x[v.k], k=range(3)),
                    lambda a, i, j: x_(a, 0) - 2 * x_(a, 1) + 4 * x_(a, 2))
        parts = [self.term(depth - 1) for _ in range(rng.randrange(3))]
        return SumIt([e for e, _ in parts]), lambda a, i, j: sum(p(a, i, j) for _, p in parts)

    def formula(self, depth):
        rng = self.rng
        r = rng.random()
        if depth <= 0 or r < 0.15:
            return self.ref()
        if r < 0.4:
            (t, p), bound = self.term(depth - 1), rng.randrange(-3, 5)
            return rng.choice([(t <= bound, lambda a, i, j: p(a, i, j) <= bound),
                               (t >= bound, lambda a, i, j: p(a, i, j) >= bound),
                               (t == bound, lambda a, i, j: p(a, i, j) == bound)])
        parts = [self.formula(depth - 1) for _ in range(3)]
        (e, p), (f, q), (g, s) = parts
        return rng.choice([
            (e & f, lambda a, i, j: p(a, i, j) and q(a, i, j)),
            (e | f, lambda a, i, j: p(a, i, j) or q(a, i, j)),
            (e ^ f, lambda a, i, j: bool(p(a, i, j)) != bool(q(a, i, j))),
            (~e, lambda a, i, j: not p(a, i, j)),
            (AndIt([e, f, g]), lambda a, i, j: all(h(a, i, j) for _, h in parts)),
            (OrIt([e, f]), lambda a, i, j: p(a, i, j) or q(a, i, j)),
            (XorIt([e, f, g]), lambda a, i, j: sum(bool(h(a, i, j)) for _, h in parts) % 2 == 1),
            (Equiv(e, f, g), lambda a, i, j: len({bool(h(a, i, j)) for _, h in parts}) == 1),
            (Implication(e, f), lambda a, i, j: not p(a, i, j) or q(a, i, j)),
            (IfThenElse(e, f, g), lambda a, i, j: q(a, i, j) if p(a, i, j) else s(a, i, j)),
            (e ^ One, lambda a, i, j: not p(a, i, j)),
            (Zero | e, p),
        ])

    def foralls(self):
        return self.rng.choice([TWO_BY_TWO, dict(j=[1, 0], i=[1]), dict(i=[0], j=[1])])

    def constraints(self):
        """[(form, predicate, foralls)] of one or two hard constraints."""
        return [(*self.formula(2), self.foralls()) for _ in range(self.rng.randrange(1, 3))]


def random_model(use_formula_encoder, seed):
    """A model with random hard constraints: (built, writer, feasible(assignment), accepted), accepted
    false when container mode refused a constraint that can never hold."""
    built = Built(use_formula_encoder, x=X, y=Y)
    writer = Writer(seed, built.v)
    constraints = writer.constraints()
    feasible = lambda a: all(p(a, i, j) for _, p, foralls in constraints for i, j in instances(foralls))  # noqa: E731
    try:
        for form, _, foralls in constraints:
            built.model.add_constraint(form, **foralls)
    except FormulaError:
        return built, writer, feasible, False
    return built, writer, feasible, True


@road
@pytest.mark.parametrize("seed", range(40))
def test_random_constraints_over_two_foralls_have_their_brute_force_models(use_formula_encoder, seed):
    built, _, feasible, accepted = random_model(use_formula_encoder, seed)
    expected = {values for values, a in assignments(built.names) if feasible(a)}
    if not accepted:
        assert not expected
        return
    built.model.build_cnf()
    assert built.models() == expected


class ElementWriter(Writer):
    """Writer over elements named by ints, without foralls: the texts that container mode reads without
    evaluating them (one clause, a flat sum compared with a bound or weighted) and the comparisons it
    takes to the container as numbered clauses, among the other forms."""

    X_INDEXES = [(lambda v, k=k: k, lambda i, j, k=k: k) for k in range(3)]
    Y_INDEXES = [(lambda v, k=k: k, lambda i, j, k=k: k) for k in range(2)]

    def term(self, depth):
        rng, v = self.rng, self.v
        r = rng.random()
        if r < 0.15:
            p, q = rng.randrange(2), rng.randrange(2)
            c = rng.choice([-2, 1, 3])
            return (Sum(c * v.y[p, v.k] + v.x[v.k + q], k=range(2)),
                    lambda a, i, j: sum(c * y_(a, p, k) + x_(a, k + q) for k in range(2)))
        if r < 0.5:
            parts = [self.ref() for _ in range(rng.randrange(1, 5))]
            weights = [rng.choice([-3, -1, 1, 2, 5]) for _ in parts]
            return (SumIt([w * e for w, (e, _) in zip(weights, parts)]),
                    lambda a, i, j: sum(w * p(a, i, j) for w, (_, p) in zip(weights, parts)))
        if depth <= 0 or r < 0.6:
            return self.ref()
        (e, p), (f, q), c = self.term(depth - 1), self.term(depth - 1), rng.choice([-3, -1, 2])
        return rng.choice([(e + f, lambda a, i, j: p(a, i, j) + q(a, i, j)),
                           (e - c * f, lambda a, i, j: p(a, i, j) - c * q(a, i, j)),
                           (Sum(pow_expression(-2, v.k) * v.x[v.k], k=range(3)) + c * e,
                            lambda a, i, j: x_(a, 0) - 2 * x_(a, 1) + 4 * x_(a, 2) + c * p(a, i, j))])

    def clause(self):
        """One clause of one to four literals in a random grouping, now and then an element twice."""
        literals = []
        for _ in range(self.rng.randrange(1, 5)):
            (e, p), negated = self.ref(), self.rng.random() < 0.4
            literals.append((~e, lambda a, i, j, p=p: not p(a, i, j)) if negated else (e, p))
        if self.rng.random() < 0.2:
            literals.append(self.rng.choice(literals))
        while len(literals) > 1:
            at = self.rng.randrange(len(literals) - 1)
            (e, p), (f, q) = literals[at: at + 2]
            literals[at: at + 2] = [(e | f, lambda a, i, j, p=p, q=q: p(a, i, j) or q(a, i, j))]
        return literals[0]

    def formula(self, depth):
        return self.clause() if self.rng.random() < 0.35 else super().formula(depth)

    def foralls(self):
        return {}


def element_model_run(seed, fast_roads):
    """A random model over elements built in container mode: hard constraints among refused ones,
    then maybe soft constraints or a target built twice. (built, [outcome or build], hard predicates,
    (kind of ending, its soft constraints or target borders))."""
    built = Built(False, x=X, y=Y)
    writer = ElementWriter(seed, built.v)
    with contextlib.nullcontext() if fast_roads else container_fast_roads_off():
        steps, hard = [], []
        for _ in range(writer.rng.randrange(1, 5)):
            if writer.rng.random() < 0.2:  # refused, past the end of x, and the model goes on
                v = built.v
                with pytest.raises(IndexError):
                    built.model.add_constraint(writer.rng.choice([v.x[3] | ~v.y[0, 1],
                                                                  SumIt([v.x[0], 2 * v.x[3], v.y[1, 1]]) <= 1]))
            form, predicate = writer.formula(2)
            try:
                built.model.add_constraint(form)
                hard.append(predicate)
                steps.append(None)
            except FormulaError as error:  # a contradiction: refused, and the model goes on without it
                steps.append(str(error))
                assert not any(predicate(a, 0, 0) for _, a in assignments(built.names))
        kind, ending = writer.rng.choice(["hard", "soft", "target"]), []
        if kind == "soft":
            ending = [(*writer.term(2), writer.rng.choice([-2, 1, 3]), writer.rng.random() < 0.5)
                      for _ in range(writer.rng.randrange(1, 3))]
            for term, _, weight, minimization in ending:
                built.model.add_soft_constraint(term, weight, minimization)
            built.model.build_wcnf()
            steps.append(built.hard_clauses() + built.cmanager.get_cnf_storage().soft_clauses())
        elif kind == "target":
            term, value = writer.term(2)
            ending = [(value, writer.rng.randrange(-4, 6), writer.rng.random() < 0.5) for _ in range(2)]
            built.model.add_target(term)
            for _, border, minimization in ending:
                try:
                    built.model.build_cnf(border, minimization)
                    steps.append((built.hard_clauses(), built.models()))
                except FormulaError as error:  # a border beyond every value of the target
                    steps.append(str(error))
        else:
            built.model.build_cnf()
        steps.append((built.model.get_cnf_storage().to_dimacs(), list(built.model._formula_container.mapping.items())))
    return built, steps, hard, (kind, ending)


@pytest.mark.parametrize("seed", range(40))
def test_random_element_models_match_the_reference_road_and_brute_force(seed):
    built, steps, hard, (kind, ending) = element_model_run(seed, fast_roads=True)
    assert steps == element_model_run(seed, fast_roads=False)[1]
    feasible = lambda a: all(p(a, 0, 0) for p in hard)  # noqa: E731
    if kind == "hard":
        assert built.models() == {values for values, a in assignments(built.names) if feasible(a)}
    elif kind == "target":
        for (value, border, minimization), step in zip(ending, steps[-3:-1]):
            expected = {values for values, a in assignments(built.names) if feasible(a)
                        and (value(a, 0, 0) <= border if minimization else value(a, 0, 0) >= border)}
            assert step == "Contradiction was detected in target" and not expected or step[1] == expected
    else:
        assert built.models() == {values for values, a in assignments(built.names) if feasible(a)}
        costs = built.soft_costs()
        objective_of = lambda a: sum((w if m else -w) * value(a, 0, 0) for _, value, w, m in ending)  # noqa: E731
        assert len({costs[values] - objective_of(a) for values, a in assignments(built.names)}) == 1


def cover(built):
    """x[k] or x[k + 1] for every k: a hard part that rules out the trivial optimum."""
    v = built.v
    built.model.add_constraint(v.x[v.i] | v.x[v.i + 1], i=range(len(built.names) - 1))


def covers(a, n):
    return all(x_(a, k) or x_(a, k + 1) for k in range(n - 1))


WEIGHTS = [3, -2, 1, -1, 2]


def weighted(v):
    return SumIt([c * v.x[k] for k, c in enumerate(WEIGHTS)])


def weighted_value(a):
    return sum(c * x_(a, k) for k, c in enumerate(WEIGHTS))


# Borders down, up again, past both ends, for both directions: each build bounds by its own border only.
BORDERS = [(0, True), (3, True), (-2, True), (-3, True), (-4, True), (2, True),
           (1, False), (6, False), (7, False), (4, False), (-3, False), (-4, False)]


def test_container_target_builds_are_bounded_by_their_own_border_only():
    built = Built(False, x=dict(a=5))
    cover(built)
    built.model.add_target(weighted(built.v))
    for border, minimization in BORDERS:
        expected = {values for values, a in assignments(built.names) if covers(a, 5)
                    and (weighted_value(a) <= border if minimization else weighted_value(a) >= border)}
        try:
            built.model.build_cnf(border, minimization)
        except FormulaError as error:  # a border beyond every value of the sum
            assert str(error) == "Contradiction was detected in target" and not expected
            continue
        assert built.models() == expected, (border, minimization)
        solution = built.solver_model()
        assert solution is not None and built.read_back(solution) in expected


def witness_loop(built, value, feasible):
    """Solve, hand the solver's model to the model as its witness, build again, until no model is left;
    after each witness the models are exactly the feasible ones of a smaller value. The values found."""
    built.model.build_cnf()
    found = []
    while (solution := built.solver_model()) is not None:
        assert len(found) < 2 ** len(built.names)
        a = dict(zip(built.names, built.read_back(solution)))
        found.append(value(a))
        built.model.set_witness(solution)
        built.model.build_cnf()
        assert built.models() == {values for values, b in assignments(built.names)
                                  if feasible(b) and value(b) < found[-1]}
    return found


# (target, value, more: a further step on the model after add_target, feasible beyond the cover)
TARGETS = {
    "negative weights": (weighted, weighted_value, None, None),
    "an element twice": (lambda v: v.x[0] + v.x[0] - v.x[1], lambda a: 2 * x_(a, 0) - x_(a, 1), None, None),
    "cancelled element": (lambda v: v.x[0] - v.x[0] + v.x[1], lambda a: x_(a, 1), None, None),
    "empty SumIt": (lambda v: SumIt([]), lambda a: 0, None, None),
    "empty Sum": (lambda v: Sum(v.x[v.k], k=[]), lambda a: 0, None, None),
    "powers of two": (lambda v: Sum(pow_expression(2, v.k) * v.x[v.k], k=range(5)),
                      lambda a: sum(2 ** k * x_(a, k) for k in range(5)), None, None),
    "powers of minus two": (lambda v: Sum(pow_expression(-2, v.k) * v.x[v.k], k=range(5)),
                            lambda a: sum((-2) ** k * x_(a, k) for k in range(5)), None, None),
    "index arithmetic": (lambda v: Sum(v.x[2 * v.k] - v.x[v.k + 1], k=range(3)),
                         lambda a: sum(x_(a, 2 * k) - x_(a, k + 1) for k in range(3)), None, None),
    "negated sum": (lambda v: -1 * Sum(v.x[v.k], k=range(5)), lambda a: -sum(x_(a, k) for k in range(5)), None, None),
    "replaced target": (lambda v: v.x[0], lambda a: x_(a, 0) + 2 * x_(a, 1),
                        lambda m, v: m.add_target(v.x[0] + 2 * v.x[1]), None),
    "constraint after the target": (lambda v: 2 * v.x[1] + v.x[3], lambda a: 2 * x_(a, 1) + x_(a, 3),
                                    lambda m, v: m.add_constraint(v.x[1] | v.x[3]), lambda a: x_(a, 1) or x_(a, 3)),
}


@pytest.mark.parametrize("target, value, more, also", TARGETS.values(), ids=TARGETS.keys())
def test_witness_loop_improves_strictly_to_the_brute_force_minimum(target, value, more, also):
    built = Built(True, x=dict(a=5))
    cover(built)
    built.model.add_target(target(built.v))
    if more is not None:
        more(built.model, built.v)
    feasible = lambda a: covers(a, 5) and (also is None or also(a))  # noqa: E731
    found = witness_loop(built, value, feasible)
    assert found == sorted(set(found), reverse=True)
    assert found[-1] == min(value(a) for _, a in assignments(built.names) if feasible(a))


@pytest.mark.parametrize("seed", range(15))
def test_random_witness_loop_over_random_constraints_ends_at_the_minimum(seed):
    built, writer, feasible, _ = random_model(True, seed)  # the formula encoder takes every constraint
    v = built.v
    terms = [(c * v.x[k], c, f"x[{k}]") for c, k in ((writer.rng.choice([-3, -1, 2, 4]), k) for k in range(3))]
    terms += [(c * v.y[p, q], c, f"y[{p},{q}]") for c, p, q in ((writer.rng.choice([-2, 1, 3]), p, q)
                                                                for p in range(2) for q in range(2))]
    built.model.add_target(SumIt([term for term, _, _ in terms]))
    value = lambda a: sum(c * a[name] for _, c, name in terms)  # noqa: E731
    found = witness_loop(built, value, feasible)
    values = [value(a) for _, a in assignments(built.names) if feasible(a)]
    assert found[-1:] == ([min(values)] if values else [])


def apply_softs(built, softs):
    for form, weight, minimization, foralls, _ in softs:
        built.model.add_soft_constraint(form(built.v), weight, minimization, **foralls)


def objective(softs):
    """What the soft constraints minimise: each instance's sum times its weight, negated when maximising."""
    return lambda a: sum((weight if minimization else -weight) * value(a, i, j)
                         for _, weight, minimization, foralls, value in softs for i, j in instances(foralls))


def hard_part(built):
    v = built.v
    built.model.add_constraint(Sum(v.x[v.k], k=range(3)) + Sum(v.y[v.i, v.k], i=range(2), k=range(2)) >= 3)
    built.model.add_constraint(v.x[v.i] | v.y[v.i, 1], i=range(2))


def in_hard_part(a):
    return (sum(x_(a, k) for k in range(3)) + sum(y_(a, p, q) for p in range(2) for q in range(2)) >= 3
            and all(x_(a, i) or y_(a, i, 1) for i in range(2)))


# (form, weight, minimization, foralls, value(assignment, i, j) of one instance)
SOFTS = {
    "mixed weights and directions": [
        (lambda v: 2 * v.x[0] - 3 * v.x[1] + v.x[2], 2, True, {}, lambda a, i, j: 2 * x_(a, 0) - 3 * x_(a, 1) + x_(a, 2)),
        (lambda v: v.x[1] + v.y[1, 1], -1, False, {}, lambda a, i, j: x_(a, 1) + y_(a, 1, 1)),
        (lambda v: v.y[0, 0] - v.x[0], 3, False, {}, lambda a, i, j: y_(a, 0, 0) - x_(a, 0)),
    ],
    "two foralls with index arithmetic": [
        (lambda v: v.y[v.i, v.j] - 2 * v.x[v.i + v.j], 1, True, TWO_BY_TWO,
         lambda a, i, j: y_(a, i, j) - 2 * x_(a, i + j)),
        (lambda v: v.x[2 * v.i], -3, True, dict(i=range(2)), lambda a, i, j: x_(a, 2 * i)),
    ],
    "zero weight, an element twice, cancelled terms": [
        (lambda v: v.x[0] + v.x[0] - v.x[1], 1, True, {}, lambda a, i, j: 2 * x_(a, 0) - x_(a, 1)),
        (lambda v: v.x[2], 0, True, {}, lambda a, i, j: 0),
        (lambda v: v.y[0, 1] - v.y[0, 1], 5, False, {}, lambda a, i, j: 0),
    ],
    "powers and sums over a forall": [
        (lambda v: Sum(pow_expression(2, v.k) * v.x[v.k], k=range(3)), 1, False, {},
         lambda a, i, j: x_(a, 0) + 2 * x_(a, 1) + 4 * x_(a, 2)),
        (lambda v: Sum(v.y[v.k, v.j], k=range(2)), 4, True, dict(j=range(2)),
         lambda a, i, j: y_(a, 0, j) + y_(a, 1, j)),
    ],
    "sums over a range a forall bounds": [
        (lambda v: Sum(v.x[v.k], k="range(i, 3)"), 2, True, dict(i=range(3)),
         lambda a, i, j: sum(x_(a, k) for k in range(i, 3))),
        (lambda v: Sum(v.y[v.i, v.k] - v.x[v.k + v.j], k="range(j, 2)"), 3, False, TWO_BY_TWO,
         lambda a, i, j: sum(y_(a, i, k) - x_(a, k + j) for k in range(j, 2))),
    ],
    "SumIt, empty and not": [
        (lambda v: SumIt([]), 7, True, {}, lambda a, i, j: 0),
        (lambda v: SumIt([v.x[v.i], -2 * v.y[v.i, 0], Sum(v.x[v.k], k=[])]), 2, False, dict(i=range(2)),
         lambda a, i, j: x_(a, i) - 2 * y_(a, i, 0)),
    ],
}


@road
@pytest.mark.parametrize("softs", SOFTS.values(), ids=SOFTS.keys())
def test_soft_constraints_cost_their_objective_and_reach_its_optimum(use_formula_encoder, softs):
    built = Built(use_formula_encoder, x=X, y=Y)
    hard_part(built)
    apply_softs(built, softs)
    assert built.model.build_wcnf() is True
    value = objective(softs)
    costs = built.soft_costs()
    # The cost of an assignment is its objective value plus one constant.
    assert len({costs[values] - value(a) for values, a in assignments(built.names)}) == 1
    _, best = built.optimum()
    best_named = dict(zip(built.names, best))
    assert in_hard_part(best_named)
    assert value(best_named) == min(value(a) for _, a in assignments(built.names) if in_hard_part(a))


@road
@pytest.mark.parametrize("seed", range(30))
def test_random_soft_constraints_reach_the_brute_force_optimum(use_formula_encoder, seed):
    built, writer, feasible, accepted = random_model(use_formula_encoder, seed)
    if not accepted:
        return
    softs = []
    for _ in range(writer.rng.randrange(1, 4)):
        term, value = writer.term(2)
        weight, minimization = writer.rng.choice([-2, -1, 1, 3]), writer.rng.random() < 0.5
        softs.append((lambda v, term=term: term, weight, minimization, writer.foralls(), value))
    apply_softs(built, softs)
    built.model.build_wcnf()
    value = objective(softs)
    values = [value(a) for _, a in assignments(built.names) if feasible(a)]
    found = built.optimum()
    assert (found is None) == (not values)
    if values:
        best = dict(zip(built.names, found[1]))
        assert feasible(best) and value(best) == min(values)


@road
@pytest.mark.parametrize("minimization, minimizing", [
    (True, True), (1, True), (np.bool_(True), True), (False, False), (0, False), (None, False)])
def test_minimization_flag_is_read_by_its_truth_value(use_formula_encoder, minimization, minimizing):
    built = Built(use_formula_encoder, x=dict(a=2))
    built.model.add_soft_constraint(built.v.x[0] - 2 * built.v.x[1], 1, minimization)
    built.model.build_wcnf()
    sign = 1 if minimizing else -1
    costs = built.soft_costs()
    assert len({costs[values] - sign * (x_(a, 0) - 2 * x_(a, 1)) for values, a in assignments(built.names)}) == 1


@road
def test_soft_weight_beyond_64_bits_is_refused_when_added_and_the_model_still_builds(use_formula_encoder):
    # -2 * 2 ** 62 fits a signed 64-bit integer, its magnitude (the clause weight) does not.
    built = Built(use_formula_encoder, x=dict(a=2))
    built.model.add_soft_constraint(built.v.x[0], 3, True)
    with pytest.raises(OverflowError):
        built.model.add_soft_constraint(built.v.x[0] - 2 * built.v.x[1], 2 ** 62, True)
    assert built.model.build_wcnf() is True
    assert built.soft_costs() == {values: 3 * x_(a, 0) for values, a in assignments(built.names)}


@road
@pytest.mark.parametrize("weight, scale", [(True, 1), (np.int64(3), 3), (np.int8(-2), -2), (np.uint16(5), 5)])
def test_integral_soft_weights_of_any_type_weigh_as_their_int(use_formula_encoder, weight, scale):
    built = Built(use_formula_encoder, x=dict(a=2))
    built.model.add_soft_constraint(built.v.x[0] - 2 * built.v.x[1], weight, True)
    built.model.build_wcnf()
    costs = built.soft_costs()
    objective_of = lambda a: scale * (x_(a, 0) - 2 * x_(a, 1))  # noqa: E731
    assert len({costs[values] - objective_of(a) for values, a in assignments(built.names)}) == 1


# Sums whose loop index stands left of a forall index, or runs over a range that a forall
# index bounds, with their values; i and j run over range(2).
FORALL_LOOP_SUMS = [
    (lambda v: Sum(v.x[v.k + v.i], k=range(2)), lambda a, i, j: x_(a, i) + x_(a, i + 1)),
    (lambda v: Sum(v.x[v.k - v.i + 1], k=range(2)), lambda a, i, j: x_(a, 1 - i) + x_(a, 2 - i)),
    (lambda v: Sum(v.y[v.i, v.k], k="range(j, 2)"), lambda a, i, j: sum(y_(a, i, k) for k in range(j, 2))),
    (lambda v: Sum(v.x[v.k], k="range(i, i + 2)"), lambda a, i, j: x_(a, i) + x_(a, i + 1)),
    (lambda v: Sum(v.y[v.k, v.j], k="range(1 - i, 2)"), lambda a, i, j: sum(y_(a, k, j) for k in range(1 - i, 2))),
]


@road
@pytest.mark.parametrize("seed", range(20))
def test_random_sums_over_forall_loops_have_their_brute_force_models(use_formula_encoder, seed):
    rng = random.Random(seed)
    built = Built(use_formula_encoder, x=X, y=Y)
    constraints = []
    for _ in range(rng.randrange(1, 4)):
        (e, p), (f, q) = rng.choice(FORALL_LOOP_SUMS), rng.choice(FORALL_LOOP_SUMS)
        c, d, bound = rng.choice([-2, 1, 3]), rng.choice([-1, 2]), rng.randrange(-2, 4)
        form, holds = rng.choice([
            (c * e(built.v) + d * f(built.v) <= bound, lambda a, i, j, p=p, q=q, c=c, d=d, b=bound:
             c * p(a, i, j) + d * q(a, i, j) <= b),
            ((c * e(built.v) >= bound) | built.v.y[built.v.i, built.v.j], lambda a, i, j, p=p, c=c, b=bound:
             c * p(a, i, j) >= b or y_(a, i, j)),
        ])
        foralls = rng.choice([TWO_BY_TWO, dict(j=range(2), i=[1])])
        constraints.append((form, holds, foralls))
    expected = {values for values, a in assignments(built.names)
                if all(holds(a, i, j) for _, holds, foralls in constraints for i, j in instances(foralls))}
    try:
        for form, _, foralls in constraints:
            built.model.add_constraint(form, **foralls)
    except FormulaError:  # container mode refuses a constraint that can never hold
        assert not use_formula_encoder and not expected
        return
    built.model.build_cnf()
    assert built.models() == expected
