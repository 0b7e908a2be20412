"""A failing add raises from that very call and leaves the container as it was."""
import pytest

from container_helpers import Template, new_container


def state(container):
    return (
        container._num_formula,
        container._cur_init_shift_variable,
        container.num_clauses,
        container.hard_weight,
        container.mapping,
        container.cnf_storage().hard_clauses(),
    )


@pytest.mark.parametrize(
    "clauses, foralls, error",
    [
        ([["x(i,k)"]], {"i": range(2)}, NameError),  # k bound by no forall
        ([["x(i + 1,0)"]], {"i": range(2)}, IndexError),  # x has only two rows
        ([["x(i,0)"]], {"i": [0.5]}, TypeError),
        ([["x(i,0)"]], {"i; import os": [0]}, TypeError),
        ([["x(0,0)", "stray"]], {}, ValueError),  # a name without aux prefix
        ([["x(0,0)", "_kelpa_aux_1"]], {}, ValueError),  # P = 1
        ([["x(0,0)", "_dravo_aux_0"]], {}, ValueError),  # B = 0
        ([["x(0,0)", "~dummy_var(0)"]], {}, ValueError),  # number 0 is no literal
    ],
)
@pytest.mark.parametrize("kind", ["hard", "soft", "target"])
def test_failing_add_changes_nothing(kind, clauses, foralls, error):
    t = Template()
    container = new_container()
    container.add_hard_constraint(t.cnf(["x(0,0)", "_kelpa_aux_0"]), {}, 1, 0)
    container.add_soft_formula(t.cnf(["x(1,1)"]), [4], {}, 0, 0)
    before = state(container)
    formula = t.cnf(*clauses)
    with pytest.raises(error):
        if kind == "hard":
            container.add_hard_constraint(formula, foralls, 1, 0)
        elif kind == "soft":
            container.add_soft_formula(formula, [3] * len(clauses), foralls, 1, 0)
        else:
            container.add_target_constraint(formula, foralls, 1, 0)
    assert state(container) == before

    # The container goes on as if the failing call had not been made.
    container.add_hard_constraint(t.cnf(["x(1,0)", "_kelpa_aux_0"]), {}, 1, 0)
    container.build_wcnf_formula("after")
    storage = container.cnf_storage()
    assert storage.hard_clauses() == [[1, 9], [5, 10]]
    assert storage.soft_clauses() == [([6], 4)]
    assert (storage.clause_count, storage.variable_count, storage.weight_limit) == (3, 10, 5)


def test_too_few_weights_fail_at_the_soft_add():
    t = Template()
    container = new_container()
    with pytest.raises(IndexError):
        container.add_soft_formula(t.cnf(["x(0,0)"], ["x(0,1)"]), [1], {}, 0, 0)
    assert container.num_clauses == 0 and container.hard_weight == 1
