"""Reading a built pseudo-Boolean model back as a user would: every
assignment of its declared elements that extends to a model of the clauses,
and brute force over the same elements to compare with."""
import itertools

from pysat.solvers import Solver


def element_names(name, *sizes):
    """Element names of a declared variable, row-major: x[0,0], x[0,1], ..."""
    return [name + "[" + ",".join(map(str, values)) + "]" for values in itertools.product(*map(range, sizes))]


def projected_models(model, cmanager, names):
    """The value tuples of `names` (in that order) of all models of the hard
    clauses the build handed to the engine manager, aux variables projected away."""
    mapping = model.get_var_mapping()
    numbers = [mapping.number_of(name) for name in names]
    # The hard clauses: the soft ones of a weighted CNF restrict nothing.
    clauses = cmanager.get_cnf_storage().hard_clauses()
    found = set()
    with Solver(name="cadical153", bootstrap_with=clauses) as solver:
        for number in numbers:
            solver.add_clause([number, -number])  # every element known to the solver
        while solver.solve():
            true = {literal for literal in solver.get_model() if literal > 0}
            values = tuple(number in true for number in numbers)
            found.add(values)
            solver.add_clause([-n if v else n for n, v in zip(numbers, values)])
    return found


def brute_force(names, predicate):
    """The value tuples of `names` for which predicate(name -> bool) holds."""
    return {values for values in itertools.product((False, True), repeat=len(names))
            if predicate(dict(zip(names, values)))}
