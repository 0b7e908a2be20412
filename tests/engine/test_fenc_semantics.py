"""The formula encoder's CNF against a direct evaluation of the same text:
for every assignment of the declared elements, the clauses are satisfiable
exactly when the text holds (hard constraints), and the soft clauses cost
the objective up to a constant (soft constraints)."""

import pytest

from fenc_truth import DECLARED, TextWriter, assignments, element_numbers, evaluate, satisfiable_under
from velmont.corvane_engine import _fenc

FORALLS = "Foralls: {'i': range(0, 2)}"
NUMBERS = element_numbers()


def encoder():
    e = _fenc.FormulaEncoder("semantics")
    for name, sizes in DECLARED.items():
        e.create_variables(name, sizes)
    return e


@pytest.mark.parametrize("seed", range(150))
def test_hard_constraint_has_the_models_of_its_text(seed):
    writer = TextWriter(seed)
    text = writer.boolean(3, [("i", [0, 1])])
    e = encoder()
    e.add_constraint(text, FORALLS)
    e.generate_cnf()
    cases = list(assignments(NUMBERS))
    expected = [all(evaluate(text, value_of, {"i": i}) for i in range(2)) for value_of, _ in cases]
    assert satisfiable_under(e.get_cnf_storage().hard_clauses(), [lits for _, lits in cases]) == expected, text


@pytest.mark.parametrize("seed", range(60))
@pytest.mark.parametrize("minimization", [True, False])
def test_soft_clauses_cost_the_weighted_objective(seed, minimization):
    writer = TextWriter(1000 + seed)
    text = writer.pb(3, [("i", [0, 1])])
    weight = writer.rng.choice([1, 3, -2])
    e = encoder()
    e.add_soft_constraint(text, FORALLS, weight, minimization)
    e.generate_cnf()
    storage = e.get_cnf_storage()
    soft = storage.soft_clauses()
    assert all(w > 0 for _, w in soft)
    differences = set()
    for value_of, lits in assignments(NUMBERS):
        true = {l for l in lits if l > 0}
        cost = sum(w for clause, w in soft if not any((l in true) if l > 0 else (-l not in true) for l in clause))
        objective = weight * sum(evaluate(text, value_of, {"i": i}) for i in range(2))
        differences.add(cost - objective if minimization else cost + objective)
    assert len(differences) == 1, text


def test_soft_weight_limit_exceeds_every_penalty_sum():
    e = encoder()
    e.add_soft_constraint("Sum(*[3 * (x(i).to_pb()) for i in range(0, 3)])", "Foralls: {'k': range(0, 4)}", 2, True)
    e.generate_cnf()
    storage = e.get_cnf_storage()
    total = sum(w for _, w in storage.soft_clauses())
    assert total == 4 * 3 * 3 * 2
    assert storage.weight_limit == total + 1


def test_zero_weight_terms_are_dropped():
    e = encoder()
    e.add_soft_constraint("0 * (x(0).to_pb()) + x(1).to_pb()", "Foralls: {}", 5, True)
    e.add_soft_constraint("x(2).to_pb()", "Foralls: {}", 0, False)
    e.generate_cnf()
    assert e.get_cnf_storage().hard_clauses() == []
    assert e.get_cnf_storage().soft_clauses() == [([-2], 5)]
