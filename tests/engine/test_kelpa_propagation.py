"""Unit propagation alone decides a constraint once all its inputs are
assigned: a violating assignment conflicts without any search, a satisfying
one propagates without conflict. Solvers feel this directly: an encoding that
lacks it makes them branch on auxiliary variables."""
import random

import pytest
from pysat.solvers import Solver

import velmont.corvane_engine.kelpa as pb
from kelpa_check import assert_no_variable_twice, encode, holds

COMPARATORS = [pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH]
CONSTRAINTS_PER_CASE = 60
ASSIGNMENTS_PER_CONSTRAINT = 24

WEIGHTS = {
    "general": lambda rng: rng.choice([-1, 1]) * rng.randint(1, 2**rng.randint(1, 20)),
    "cardinality": lambda rng: rng.choice([-3, 3]),  # equal after normalisation
}


def random_constraint(rng, kind):
    num_vars = rng.randint(3, 40)
    terms = [(v * rng.choice([-1, 1]), WEIGHTS[kind](rng)) for v in range(1, num_vars + 1)]
    terms += [(rng.randint(1, num_vars) * rng.choice([-1, 1]), WEIGHTS[kind](rng))
              for _ in range(rng.randint(0, 3))]  # repeated variables
    return num_vars, terms


def sum_under(terms, assignment):
    return sum(w for lit, w in terms if assignment[abs(lit)] == (lit > 0))


@pytest.mark.parametrize("comparator", COMPARATORS, ids=lambda c: c.name)
@pytest.mark.parametrize("kind", sorted(WEIGHTS))
def test_full_assignments_are_decided_by_propagation(kind, comparator):
    rng = random.Random(f"propagation-{kind}-{comparator.name}")
    for _ in range(CONSTRAINTS_PER_CASE):
        num_vars, terms = random_constraint(rng, kind)
        assignments = [{v: rng.random() < rng.random() for v in range(1, num_vars + 1)}
                       for _ in range(ASSIGNMENTS_PER_CONSTRAINT)]
        # a bound at the sum of one of them keeps both outcomes frequent
        bound = sum_under(terms, rng.choice(assignments)) + rng.choice([-1, 0, 0, 1])
        clauses, _ = encode(terms, comparator, bound, num_vars + 1)
        assert_no_variable_twice(clauses)
        with Solver(name="minisat22", bootstrap_with=clauses) as solver:
            for assignment in assignments:
                assumptions = [v if value else -v for v, value in assignment.items()]
                no_conflict, _ = solver.propagate(assumptions=assumptions)
                assert no_conflict == holds(terms, comparator, bound, assignment), (terms, comparator, bound)
