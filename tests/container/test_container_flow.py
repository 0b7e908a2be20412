"""The container: numbering, flushes one behind, clause order, targets and headers."""
import pytest

from container_helpers import Template, declared_variables, new_container
from tarvo_encoder.core.formula_container import FormulaContainer

X = {(a, b): 1 + 4 * a + b for a in range(2) for b in range(4)}


def test_fresh_container_and_its_build():
    container = new_container()
    assert list(vars(container))[:12] == [
        "_target_variables",
        "_cur_init_shift_variable",
        "_num_formula",
        "_num_clauses",
        "_target_num_clauses",
        "_cur_count_clauses_hard_constraints",
        "_cur_count_clauses_soft_constraints",
        "_list_hard_constraint_dump_args",
        "_list_soft_constraint_dump_args",
        "_cnf_stor",
        "_mappings",
        "hard_weight",
    ]
    mapping = container.mapping
    assert mapping == {"dummy_var[0]": 0} | {f"x[{a},{b}]": n for (a, b), n in X.items()}
    assert container.num_clauses == 0
    storage = container.cnf_storage()
    assert storage is container.cnf_storage()
    assert storage.hard_clauses() == [] and storage.variable_count is None
    container.build_cnf_formula("empty")
    assert (storage.model_name, storage.variable_count, storage.clause_count) == ("empty", 8, 0)
    assert storage.weight_limit is None


def test_formula_over_six_instances_takes_its_aux_area_and_waits_for_the_next_add():
    t = Template()
    # 4 template clauses, P = 2, B = 3.
    formula = t.cnf(
        ["x(i,j)", "_kelpa_aux_0"],
        ["~x(i,j + 1)", "~_kelpa_aux_1", "_dravo_aux_2"],
        ["_dravo_aux_0", "~_dravo_aux_1"],
        ["~_kelpa_aux_0"],
    )
    container = new_container()
    container.add_hard_constraint(formula, {"i": range(2), "j": [0, 1, 2]}, 2, 3)
    assert container.num_clauses == 24 and container._cur_count_clauses_hard_constraints == 24
    assert container._cur_init_shift_variable == 9 + 30
    assert container._num_formula == 1
    assert len(container._list_hard_constraint_dump_args) == 1
    assert container.cnf_storage().hard_clauses() == []
    assert not any(name.startswith("_") for name in container.mapping)

    container.add_hard_constraint(t.cnf(["x(0,0)"]), {}, 0, 0)
    assert container._cur_count_clauses_hard_constraints == 1 and container.num_clauses == 25
    assert container._list_hard_constraint_dump_args[0].num_formula == 1
    clauses = container.cnf_storage().hard_clauses()
    assert len(clauses) == 24
    for n, (i, j) in enumerate((i, j) for i in range(2) for j in range(3)):
        s = 9 + 5 * n
        assert clauses[4 * n : 4 * n + 4] == [
            [X[i, j], s],
            [-X[i, j + 1], -(s + 1), s + 4],
            [s + 2, -(s + 3)],
            [-s],
        ]
    aux = {name: number for name, number in container.mapping.items() if name.startswith("_")}
    assert len(aux) == 30 and sorted(aux.values()) == list(range(9, 39))
    assert aux["_kelpa_aux[0,5,1]"] == 9 + 25 + 1 and aux["_dravo_aux[0,1,2]"] == 9 + 5 + 2 + 2


def test_empty_forall_takes_an_ordinal_but_no_numbers():
    t = Template()
    container = new_container()
    container.add_hard_constraint(t.cnf(["x(i,0)", "_kelpa_aux_0"]), {"i": []}, 1, 0)
    assert (container._num_formula, container._cur_init_shift_variable, container.num_clauses) == (1, 9, 0)
    container.add_hard_constraint(t.cnf(["x(1,1)"]), {}, 0, 0)
    # The flush found no pending clauses, so the empty formula is still pending.
    assert [args.num_formula for args in container._list_hard_constraint_dump_args] == [0, 1]
    container.build_cnf_formula("m")
    assert container.cnf_storage().hard_clauses() == [[X[1, 1]]]
    assert container.mapping["x[1,3]"] == 8 and len(container.mapping) == 9


def test_hard_then_target_then_hard_merge_in_order_a_t_b():
    t = Template()
    container = new_container()
    container.add_hard_constraint(t.cnf(["x(0,0)", "_kelpa_aux_0"]), {}, 1, 0)  # A, aux 9
    container.add_hard_constraint(t.cnf(["x(0,1)", "_dravo_aux_0"]), {}, 0, 1)  # B, aux 10
    target = t.cnf(["x(1,0)", "_kelpa_aux_0"], ["~_kelpa_aux_0", "_dravo_aux_0"])
    container.add_target_constraint(target, {}, 1, 1)  # T, aux 11 and 12
    storage = container.cnf_storage()
    assert storage.hard_clauses() == [[1, 9], [5, 11], [-11, 12]]
    assert container._target_num_clauses == 2 and container.num_clauses == 2
    assert container._num_formula == 2 and container._cur_init_shift_variable == 11
    assert [args.num_formula for args in container._list_hard_constraint_dump_args] == [1]  # B waits
    container.build_cnf_formula("order")
    assert storage.hard_clauses() == [[1, 9], [5, 11], [-11, 12], [2, 10]]
    assert (storage.variable_count, storage.clause_count) == (12, 4)
    # A build with nothing pending sets the same header again.
    container.build_cnf_formula("again")
    assert storage.hard_clauses() == [[1, 9], [5, 11], [-11, 12], [2, 10]]
    assert (storage.model_name, storage.variable_count, storage.clause_count) == ("again", 12, 4)
    assert {k: v for k, v in container.mapping.items() if k.startswith("_")} == {
        "_kelpa_aux[0,0,0]": 9,
        "_kelpa_aux[2,0,0]": 11,
        "_dravo_aux[2,0,0]": 12,
        "_dravo_aux[1,0,0]": 10,
    }


def test_soft_hard_soft_merge_in_order_s1_a_s2_and_weight_limit_counts_every_instance():
    t = Template()
    container = new_container()
    container.add_hard_constraint(t.cnf(["x(0,0)", "x(0,1)"]), {}, 0, 0)  # A
    container.add_soft_formula(t.cnf(["x(i,2)"], ["~x(i,3)"]), [2, 5], {"i": range(2)}, 0, 0)  # S1
    container.add_soft_formula(t.cnf(["x(j,0)"]), [3], {"j": [1, 0, 1]}, 0, 0)  # S2
    container.build_wcnf_formula("weights")
    storage = container.cnf_storage()
    assert storage.to_dimacs().splitlines()[-8:] == [
        "2 3 0",
        "5 -4 0",
        "2 7 0",
        "5 -8 0",
        f"{storage.weight_limit} 1 2 0",
        "3 5 0",
        "3 1 0",
        "3 5 0",
    ]
    assert container.hard_weight == 1 + 2 * (2 + 5) + 3 * 3
    assert (storage.weight_limit, storage.clause_count, storage.variable_count) == (24, 8, 8)


def test_repeated_cnf_builds_replace_the_target():
    t = Template()
    container = new_container()
    container.add_hard_constraint(t.cnf(["x(0,0)"]), {}, 0, 0)  # A
    container.add_hard_constraint(t.cnf(["x(0,1)"]), {}, 0, 0)  # B
    first = t.cnf(["x(1,0)", "_kelpa_aux_0"], ["~_kelpa_aux_0", "_kelpa_aux_1"], ["~_kelpa_aux_1"])
    container.add_target_constraint(first, {}, 2, 0)
    container.build_cnf_formula("m")
    container.reset_target()
    built = container.cnf_storage()
    assert built.hard_clauses() == [[1], [5, 9], [-9, 10], [-10], [2]]
    assert (built.clause_count, built.variable_count) == (5, 10)

    second = t.cnf(["x(1,1)", "_kelpa_aux_0"])
    assert built.hard_clauses() == [[1], [5, 9], [-9, 10], [-10], [2]]  # retired, still in place
    container.add_target_constraint(second, {}, 1, 0)
    container.build_cnf_formula("m")
    storage = container.cnf_storage()
    assert storage is built  # replaced inside the one storage the model hands over
    assert storage.hard_clauses() == [[1], [2], [6, 9]]
    assert (storage.clause_count, storage.variable_count) == (3, 9)
    assert [k for k in container.mapping if k.startswith("_")] == ["_kelpa_aux[2,0,0]"]

    with pytest.raises(ValueError, match="reset it before adding another one"):
        container.add_target_constraint(second, {}, 1, 0)
    assert storage.hard_clauses() == [[1], [2], [6, 9]]


def test_snapshot_of_foralls_keeps_aux_area_and_clauses_together():
    t = Template()
    container = new_container()
    values = [0, 1]
    container.add_hard_constraint(t.cnf(["x(i,0)", "_kelpa_aux_0"]), {"i": values}, 1, 0)
    values.append(1)
    container.build_cnf_formula("m")
    assert container.cnf_storage().hard_clauses() == [[1, 9], [5, 10]]
    assert container._cur_init_shift_variable == 11


def test_registered_variables_are_copies_taken_at_the_add():
    t = Template()
    variables = declared_variables()
    container = FormulaContainer(variables, 9)
    container.add_hard_constraint(t.cnf(["x(1,3)"]), {}, 0, 0)
    variables["x"].st_shift = 100
    container.build_cnf_formula("m")
    assert container.cnf_storage().hard_clauses() == [[8]]
