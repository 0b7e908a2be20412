"""The formula encoder encodes target bounds of any size: the model gives it
no clause limit, so none may stop a big model's optimisation loop."""

from velmont.corvane_engine import _fenc

# Enough unit terms that the target bound's adder network needs over a million clauses.
ELEMENTS = 160_000


def test_target_bound_over_a_million_clauses_is_encoded():
    e = _fenc.FormulaEncoder("big")
    e.create_variables("x", [ELEMENTS])
    e.add_target(f"Sum(*[x(i).to_pb() for i in range(0, {ELEMENTS})])")
    e.generate_cnf()
    assert e.get_cnf_storage().clause_count == 0  # no witness, no bound
    e.set_witness([k if k % 2 else -k for k in range(1, ELEMENTS + 1)])
    e.generate_cnf()
    storage = e.get_cnf_storage()
    assert storage.clause_count > 1_000_000
    assert storage.variable_count > ELEMENTS
