"""The CNF's models projected on the constraint's variables are exactly the
assignments that satisfy the constraint (brute force over the inputs, SAT
solver for the auxiliary variables)."""
import random

import pytest
from pysat.solvers import Solver

import velmont.corvane_engine.kelpa as pb
from kelpa_check import assert_exact, encode, holds

COMPARATORS = [pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH]
CONSTRAINTS_PER_CASE = 40

WEIGHTS = {
    "small": lambda rng: rng.randint(-6, 6),
    "mixed": lambda rng: rng.choice([0, 1, -1, 2, 3, -5, 7, 12, -20, 33]),
    "large": lambda rng: rng.choice([-1, 1]) * rng.randint(0, 2**40),
    "huge": lambda rng: rng.choice([-1, 1]) * rng.choice([2**62, 2**63 - 1, 2**62 + 1, 3 * 2**60]),
}


def random_terms(rng, kind, num_vars):
    size = rng.randint(0, 8)
    if kind == "equal":  # cardinality constraints, also after sign flips and repeats
        w = rng.choice([1, 2, 5])
        return [(rng.choice([-1, 1]) * rng.randint(1, num_vars), rng.choice([-w, w])) for _ in range(size)]
    return [(rng.choice([-1, 1]) * rng.randint(1, num_vars), WEIGHTS[kind](rng)) for _ in range(size)]


def random_bound(rng, terms):
    low = sum(w for _, w in terms if w < 0)
    high = sum(w for _, w in terms if w > 0)
    bound = rng.choice([low - 1 - rng.randint(0, 3), low, high, high + 1 + rng.randint(0, 3),
                        rng.randint(low, high), rng.randint(low, high), rng.randint(low, high)])
    return max(-2**63, min(2**63 - 1, bound))


@pytest.mark.parametrize("comparator", COMPARATORS, ids=lambda c: c.name)
@pytest.mark.parametrize("kind", ["small", "mixed", "equal", "large", "huge"])
def test_projected_models_equal_satisfying_assignments(kind, comparator):
    rng = random.Random(f"{kind}-{comparator.name}")
    for _ in range(CONSTRAINTS_PER_CASE):
        num_vars = rng.randint(1, 6)
        terms = random_terms(rng, kind, num_vars)
        assert_exact(terms, comparator, random_bound(rng, terms), num_vars)


CARDINALITIES = [(3, 1), (4, 1), (6, 1), (7, 1), (7, 2), (8, 3), (8, 4), (8, 6), (8, 7), (10, 2), (10, 5),
                 (10, 8), (11, 6)]


@pytest.mark.parametrize("limit", [None, 0], ids=["smallest", "adder"])
@pytest.mark.parametrize("n, k", CARDINALITIES)
@pytest.mark.parametrize("comparator", COMPARATORS, ids=lambda c: c.name)
def test_cardinality_encodings_exact(n, k, comparator, limit):
    """Every cardinality route: single clause, pairwise, counter, totalizer in
    either direction, and the adder when the clause limit leaves no room."""
    terms = [(v if v % 3 else -v, 1) for v in range(1, n + 1)]
    assert_exact(terms, comparator, k, n, limit=limit)


def test_best_encodes_like_adder():
    rng = random.Random(7)
    for _ in range(20):
        terms = random_terms(rng, "mixed", 5)
        bound = random_bound(rng, terms)
        for comparator in COMPARATORS:
            assert_exact(terms, comparator, bound, 5, pb.PB_Encoder_type.BEST)


@pytest.mark.parametrize("comparator", COMPARATORS, ids=lambda c: c.name)
def test_larger_constraints_agree_with_solver(comparator):
    """40 variables, the bound the sum of a reference assignment: that assignment,
    its one-flip neighbours and random ones are models exactly when they satisfy
    the constraint."""
    rng = random.Random(comparator.name)
    num_vars = 40
    terms = [(rng.choice([-1, 1]) * v, rng.randint(-1000, 1000)) for v in range(1, num_vars + 1)]
    reference = {v: rng.random() < 0.5 for v in range(1, num_vars + 1)}
    bound = sum(w for lit, w in terms if reference[abs(lit)] == (lit > 0))
    neighbours = [{**reference, v: not reference[v]} for v in range(1, num_vars + 1)]
    randoms = [{v: rng.random() < 0.5 for v in range(1, num_vars + 1)} for _ in range(100)]
    clauses, _ = encode(terms, comparator, bound, num_vars + 1)
    with Solver(name="minisat22", bootstrap_with=clauses) as solver:
        for assignment in [reference, *neighbours, *randoms]:
            assumptions = [v if value else -v for v, value in assignment.items()]
            assert solver.solve(assumptions=assumptions) == holds(terms, comparator, bound, assignment)
