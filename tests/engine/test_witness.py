import itertools
import random

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from pysat.formula import CNF
from pysat.solvers import Solver

import velmont.corvane_engine as ce

AUX = ["_dravo_aux", "_kelpa_aux"]


def mapping_of(var_map):
    mapping = ce.var_mapping()
    mapping.set_var_map(var_map)
    mapping.build_inverse_map()
    return mapping


def interpreter_of(var_map, hide_auxiliary=True, prefixes=AUX):
    interpreter = ce.witness_interpreter()
    interpreter.set_var_mapping(mapping_of(var_map))
    interpreter.set_auxiliary_vars(prefixes)
    assert interpreter.build_mapping_tables(hide_auxiliary) is True
    return interpreter


@settings(max_examples=150, deadline=None)
@given(
    st.dictionaries(st.text("xyz[],0123", min_size=1, max_size=6), st.integers(0, 10), min_size=1, max_size=8).filter(
        lambda m: len(set(m.values())) == len(m)
    ),
    st.dictionaries(st.integers(1, 12), st.booleans()),
)
def test_interpret_gives_each_name_its_value(var_map, assignment):
    model = [number if value else -number for number, value in assignment.items()]
    expected = {name: assignment.get(number, False) for name, number in var_map.items()}
    result = interpreter_of(var_map).interpret(model)
    assert result == expected
    assert list(result) == list(var_map)  # mapping order


@pytest.mark.parametrize(
    "hide_auxiliary, prefixes, shown",
    [
        (True, AUX, ["x[0]", "x[1]", "aux_dravo_auxiliary"]),
        (True, [], ["x[0]", "x[1]", "_dravo_aux[0,0,0]", "_kelpa_aux[0,0,1]", "aux_dravo_auxiliary"]),
        (False, AUX, ["x[0]", "x[1]", "_dravo_aux[0,0,0]", "_kelpa_aux[0,0,1]", "aux_dravo_auxiliary"]),
        (True, ("x",), ["_dravo_aux[0,0,0]", "_kelpa_aux[0,0,1]", "aux_dravo_auxiliary"]),
    ],
)
def test_auxiliary_names_are_hidden_by_prefix(hide_auxiliary, prefixes, shown):
    var_map = {"x[0]": 1, "x[1]": 2, "_dravo_aux[0,0,0]": 3, "_kelpa_aux[0,0,1]": 4, "aux_dravo_auxiliary": 5}
    result = interpreter_of(var_map, hide_auxiliary, prefixes).interpret([1, -2, 3, 4, 5])
    assert list(result) == shown


@pytest.mark.parametrize("use_mapping, var_map", [(False, None), (True, {})])
def test_tables_do_not_build_without_names(use_mapping, var_map):
    interpreter = ce.witness_interpreter()
    if use_mapping:
        interpreter.set_var_mapping(mapping_of(var_map))
    interpreter.set_auxiliary_vars(AUX)
    assert interpreter.build_mapping_tables(True) is False
    with pytest.raises(RuntimeError, match="build_mapping_tables"):
        interpreter.interpret([1])


def test_dimacs_terminator_and_unmapped_variables_are_skipped():
    result = interpreter_of({"dummy_var": 0, "a": 1, "b": 2}).interpret((-1, 2, 99, -100, 0))
    assert result == {"dummy_var": False, "a": False, "b": True}


@pytest.mark.parametrize(
    "model, error",
    [
        ([1, -1], ValueError),
        ([1, 2.0], TypeError),
        ([True], TypeError),
        ("12", TypeError),
        (None, TypeError),
        ([2**64], OverflowError),
        ([-(2**63)], OverflowError),
    ],
)
def test_bad_model_is_refused(model, error):
    with pytest.raises(error):
        interpreter_of({"a": 1}).interpret(model)


@pytest.mark.parametrize(
    "prefixes, error",
    [("_dravo_aux", TypeError), ([1], TypeError), (None, TypeError), (["\ud800"], UnicodeEncodeError)],
)
def test_bad_prefixes_are_refused(prefixes, error):
    with pytest.raises(error):
        ce.witness_interpreter().set_auxiliary_vars(prefixes)


def test_solver_model_read_back_satisfies_every_clause_by_name():
    rng = random.Random(7)
    names = [f"v[{i}]" for i in range(8)]
    var_map = {name: number for number, name in enumerate(names, start=1)}
    storage = ce.wcnf_storage()
    clauses = []
    for _ in range(20):
        clause = [rng.choice([1, -1]) * number for number in rng.sample(range(1, 9), 3)]
        storage.add_hard_clause(clause)
        clauses.append(clause)
    brute_force_sat = any(
        all(any(bits[abs(lit) - 1] == (lit > 0) for lit in clause) for clause in clauses)
        for bits in itertools.product([False, True], repeat=8)
    )
    assert brute_force_sat  # the seed gives a satisfiable formula, so a model exists to check
    with Solver(name="glucose4", bootstrap_with=CNF(from_string=storage.to_dimacs()).clauses) as solver:
        assert solver.solve()
        values = interpreter_of(var_map).interpret(solver.get_model())
    assert all(any(values[names[abs(lit) - 1]] == (lit > 0) for lit in clause) for clause in clauses)
