"""Builds repeated with new borders replace the target inside the one storage
that the model hands over; a SAT solver gives the models, Python the truth."""
import itertools

import pytest
from pysat.formula import CNF
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode.expressions import SumIt
from tarvo_encoder.encode.model import Model

ROWS, COLUMNS = 2, 3
COST = {(0, 0): 3, (0, 1): 1, (0, 2): 2, (1, 0): 2, (1, 1): 4, (1, 2): 1}
ELEMENTS = list(COST)


def declared_model():
    """x over 2 x 3: at most two per row, at least one per column, and a weighted target."""
    cmanager = ce.manager()
    model = Model(cmanager, "borders")
    x = model.create_variables("x", r=ROWS, c=COLUMNS)
    r, c = model.get_indexes(["r", "c"])
    model.add_constraint(x[r, 0] + x[r, 1] + x[r, 2] <= 2, r=range(ROWS))
    model.add_constraint(x[0, c] | x[1, c], c=range(COLUMNS))
    model.add_target(SumIt([weight * x[element] for element, weight in COST.items()]))
    return cmanager, model


def within(cost, border, minimization):
    return cost <= border if minimization else cost >= border


def holds(truth, border, minimization):
    rows = all(sum(truth[row, col] for col in range(COLUMNS)) <= 2 for row in range(ROWS))
    columns = all(truth[0, col] or truth[1, col] for col in range(COLUMNS))
    return rows and columns and within(sum(weight * truth[e] for e, weight in COST.items()), border, minimization)


def models_on_elements(storage, mapping):
    """The assignments of x that extend to a model of the storage's clauses."""
    numbers = [mapping[f"x[{row},{col}]"] for row, col in ELEMENTS]
    found = set()
    with Solver(name="cadical153", bootstrap_with=CNF(from_string=storage.to_dimacs()).clauses) as solver:
        for values in itertools.product((False, True), repeat=len(numbers)):
            if solver.solve(assumptions=[n if v else -n for n, v in zip(numbers, values)]):
                found.add(values)
    return found


def assert_consistent(storage, mapping):
    assert storage.clause_count == storage.stored_clause_count
    assert storage.variable_count == max(mapping.values())
    # Every aux variable in a clause has its name in the mapping, and no name outlives its clauses.
    used = {abs(lit) for clause in storage.hard_clauses() for lit in clause}
    declared = {mapping[f"x[{row},{col}]"] for row, col in ELEMENTS}
    aux_numbers = {number for name, number in mapping.items() if name.startswith("_")}
    assert used - declared == aux_numbers


# The bounded target changes size from border to border: tight, loose, always
# true (an empty target), constant false (refused), unsatisfiable only together
# with the hard constraints, and tight again.
@pytest.mark.parametrize(
    "minimization, borders",
    [(True, [4, 9, 13, -1, 3, 5]), (False, [11, 4, 0, 14, 12, 8])],
    ids=["minimise", "maximise"],
)
def test_builds_with_new_borders_keep_one_storage_and_match_a_fresh_model(minimization, borders):
    cmanager, model = declared_model()
    storage = None
    for border in borders:
        truth = {
            values
            for values in itertools.product((False, True), repeat=len(ELEMENTS))
            if holds(dict(zip(ELEMENTS, values)), border, minimization)
        }
        if not within(0 if minimization else sum(COST.values()), border, minimization):
            with pytest.raises(FormulaError, match="Contradiction was detected in target"):
                model.build_cnf(border, minimization)
            continue
        assert model.build_cnf(border, minimization) is True
        if storage is None:
            storage = model.get_cnf_storage()
            model.add_preliminary_var_value(1, negative=True)
        assert cmanager.get_cnf_storage() is storage is model.get_cnf_storage()
        mapping = model._formula_container.mapping
        assert_consistent(storage, mapping)
        assert models_on_elements(storage, mapping) == truth, border

        fresh_manager, fresh = declared_model()
        assert fresh.build_cnf(border, minimization) is True
        fresh_storage = fresh_manager.get_cnf_storage()
        # The same clauses under the same numbers; only the target's place in the order differs.
        assert fresh._formula_container.mapping == mapping
        assert sorted(fresh_storage.hard_clauses()) == sorted(storage.hard_clauses())
        assert (fresh_storage.clause_count, fresh_storage.variable_count) == (
            storage.clause_count, storage.variable_count,
        )
    assert storage.prefatory_values() == [-1]  # a value given to the handed-over storage stays with it
