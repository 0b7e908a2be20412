"""Solving what a model hands to the engine manager with python-sat, and brute force to compare with."""
import itertools

from pysat.examples.rc2 import RC2
from pysat.formula import CNF, WCNF
from pysat.solvers import Solver


def element_numbers(*variables):
    """Element name -> variable number of the given declared variables, in declaration order."""
    numbers = {}
    for variable in variables:
        numbers.update(variable.map)
    return numbers


def assignments(names):
    """Every assignment of the names, as dicts name -> bool."""
    for values in itertools.product((False, True), repeat=len(names)):
        yield dict(zip(names, values))


def brute_force_models(names, predicate):
    """The assignments of `names` that satisfy `predicate`, as tuples of bools in name order."""
    return {tuple(a[n] for n in names) for a in assignments(names) if predicate(a)}


def clause_models(storage, numbers):
    """The assignments of the named variables that extend to a model of the storage's clauses."""
    cnf = CNF(from_string=storage.to_dimacs())
    names = list(numbers)
    with Solver(name="cadical153", bootstrap_with=cnf.clauses) as solver:
        for number in numbers.values():
            solver.add_clause([number, -number])  # makes every named variable known to the solver
        found = set()
        for values in itertools.product((False, True), repeat=len(names)):
            assumptions = [numbers[n] if v else -numbers[n] for n, v in zip(names, values)]
            if solver.solve(assumptions=assumptions):
                found.add(values)
    return found


def solve_cnf(storage):
    """A model of the storage's clauses (list of signed ints), or None when unsatisfiable."""
    cnf = CNF(from_string=storage.to_dimacs())
    with Solver(name="cadical153", bootstrap_with=cnf.clauses) as solver:
        return solver.get_model() if solver.solve() else None


def solve_wcnf(storage):
    """(model, cost) of an optimum of the storage's weighted clauses, or None when the hard part is unsatisfiable."""
    wcnf = WCNF(from_string=storage.to_dimacs())
    with RC2(wcnf) as rc2:
        model = rc2.compute()
        return None if model is None else (model, rc2.cost)
