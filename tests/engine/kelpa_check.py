"""Checks a kelpa encoding against the constraint it encodes."""
import itertools

from pysat.solvers import Solver

import velmont.corvane_engine.kelpa as pb

COMPARE = {
    pb.Comparator_type.LEQ: lambda s, k: s <= k,
    pb.Comparator_type.GEQ: lambda s, k: s >= k,
    pb.Comparator_type.BOTH: lambda s, k: s == k,
}


def encode(terms, comparator, bound, first, encoder=pb.PB_Encoder_type.ADDER, limit=None):
    """Clauses of the constraint and the first number the allocator still holds."""
    config = pb.PBConfig()
    config.pb_encoder = encoder
    if limit is not None:
        config.max_clauses_per_constraint = limit
    aux = pb.AuxVarManager(first)
    database = pb.VectorClauseDatabase(config)
    constraint = pb.PBConstraint([pb.WeightedLit(lit, w) for lit, w in terms], comparator, bound)
    pb.pb2cnf(config).encode2(constraint, database, aux)
    return database.get_clauses(), aux.get_variable()


def holds(terms, comparator, bound, assignment):
    """assignment maps variable -> bool."""
    total = sum(w for lit, w in terms if assignment[abs(lit)] == (lit > 0))
    return COMPARE[comparator](total, bound)


def assert_no_variable_twice(clauses):
    """A clause never holds a variable twice: no repeated literal, no tautology."""
    for clause in clauses:
        assert len({abs(lit) for lit in clause}) == len(clause), clause


def assert_exact(terms, comparator, bound, num_vars, encoder=pb.PB_Encoder_type.ADDER, limit=None):
    """Models projected on variables 1..num_vars == assignments satisfying the constraint."""
    first = num_vars + 1
    clauses, next_free = encode(terms, comparator, bound, first, encoder, limit)
    assert_no_variable_twice(clauses)
    for clause in clauses:
        for lit in clause:
            assert 0 < abs(lit) <= num_vars or first <= abs(lit) < next_free, (lit, clauses)
    if [] in clauses:
        assert not any(holds(terms, comparator, bound, dict(enumerate(bits, 1)))
                       for bits in itertools.product([False, True], repeat=num_vars))
        return clauses
    with Solver(name="minisat22", bootstrap_with=clauses) as solver:
        for bits in itertools.product([False, True], repeat=num_vars):
            assignment = dict(enumerate(bits, 1))
            assumptions = [v if value else -v for v, value in assignment.items()]
            expected = holds(terms, comparator, bound, assignment)
            assert solver.solve(assumptions=assumptions) == expected, (terms, comparator, bound, bits)
    return clauses
