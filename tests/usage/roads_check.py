"""One small model built on both roads (container mode and formula-encoder
mode), read back through the engine manager as a user would, and brute force
over its declared elements to compare with."""
import itertools
import types

from pysat.examples.rc2 import RC2
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from maxsat_check import storage_wcnf
from fast_roads import fast_roads_off
from tarvo_encoder import Model
from usage_solving import element_names, projected_models

ROADS = {"container": False, "formula encoder": True}


class Built:
    """A model on one road with its variables (by name), indexes i, j, k and
    the element names of every declared variable, in declaration order."""

    def __init__(self, use_formula_encoder, **declarations):
        self.cmanager = ce.manager()
        self.model = Model(self.cmanager, "roads", use_formula_encoder=use_formula_encoder)
        self.v = types.SimpleNamespace()
        self.names = []
        for name, sizes in declarations.items():
            setattr(self.v, name, self.model.create_variables(name, **sizes))
            self.names += element_names(name, *sizes.values())
        self.v.i, self.v.j, self.v.k = self.model.get_indexes("ijk")

    def models(self):
        """The element assignments (tuples in name order) the handed-over CNF allows."""
        return projected_models(self.model, self.cmanager, self.names)

    def solver_model(self, assumptions=()):
        """A model of the handed-over hard clauses, or None."""
        with Solver(name="cadical153", bootstrap_with=self.hard_clauses()) as solver:
            return solver.get_model() if solver.solve(assumptions=list(assumptions)) else None

    def hard_clauses(self):
        return self.cmanager.get_cnf_storage().hard_clauses()

    def read_back(self, solver_model):
        """The witness interpreter's element values of a solver model, checked to name exactly the elements."""
        named = self.cmanager.get_witness_interpreter().interpret(solver_model)
        shown = {name: value for name, value in named.items() if name != "dummy_var[0]"}
        assert set(shown) == set(self.names)
        return tuple(shown[name] for name in self.names)

    def optimum(self):
        """(cost, element values read back) of an optimum of the handed-over weighted CNF, or None."""
        with RC2(storage_wcnf(self.cmanager.get_cnf_storage())) as rc2:
            found = rc2.compute()
            return None if found is None else (rc2.cost, self.read_back(found))

    def soft_costs(self):
        """Weight of the soft clauses each element assignment (in name order) violates; the soft
        clauses must speak of elements only, so that the cost is a function of them."""
        mapping = self.model.get_var_mapping()
        number = {mapping.number_of(name): k for k, name in enumerate(self.names)}
        soft = self.cmanager.get_cnf_storage().soft_clauses()
        assert all(abs(lit) in number for clause, _ in soft for lit in clause)
        costs = {}
        for values in itertools.product((False, True), repeat=len(self.names)):
            holds = lambda lit: values[number[abs(lit)]] == (lit > 0)  # noqa: E731
            costs[values] = sum(weight for clause, weight in soft if not any(map(holds, clause)))
        return costs


# Container mode on its reference road: every text evaluated, every
# comparison encoded from its evaluation and put through engine formula
# nodes, every template expanded by evaluating its expansion text.
container_fast_roads_off = fast_roads_off


def assignments(names):
    """Every assignment of the names, as (value tuple, name -> bool)."""
    for values in itertools.product((False, True), repeat=len(names)):
        yield values, dict(zip(names, values))
