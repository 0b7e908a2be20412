"""Names of variables, indexes and foralls: one rule on both roads. A name
that the host would fold to another under NFKC (the fullwidth x is x in
evaluated text) is refused; letters outside ASCII are names like any other."""
import pytest

import velmont.corvane_engine as ce
from roads_check import ROADS, Built
from tarvo_encoder import Model, Sum
from tarvo_encoder._exceptions import VariableError


def logged_errors(caplog):
    return [record.getMessage() for record in caplog.records if record.levelname == "ERROR"]


@pytest.mark.parametrize("declare", [
    lambda m: m.create_variables("\uff58", i=2),  # fullwidth x
    lambda m: m.create_variables("\u210cx", i=2),  # script H, which folds to H
    lambda m: m.get_indexes(["\uff49"]),  # fullwidth i
    lambda m: m.get_indexes(["k", "\ufb01"]),  # the ligature fi
], ids=["fullwidth variable", "script variable", "fullwidth index", "ligature index"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_name_that_folds_to_another_is_refused(road, declare, caplog):
    model = Model(ce.manager(), "names", use_formula_encoder=road)
    x = model.create_variables("x", i=2)
    with pytest.raises(VariableError, match="NFKC") as raised:
        declare(model)
    assert str(raised.value) in logged_errors(caplog)
    assert "\uff58" not in model._variables and "\uff49" not in model._indexes


@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_forall_name_that_folds_to_an_index_is_refused(road, caplog):
    built = Built(road, x={"a": 3})
    with pytest.raises(VariableError, match="NFKC") as raised:
        built.model.add_constraint(built.v.x[built.v.i], **{"\uff49": range(2)})
    assert str(raised.value) in logged_errors(caplog)
    with pytest.raises(VariableError, match="NFKC"):
        Sum(built.v.x[built.v.i], **{"\uff49": range(2)})


def test_fullwidth_variable_no_longer_aliases_its_ascii_twin():
    built = Built(False, x={"a": 2})
    with pytest.raises(VariableError):
        built.model.create_variables("\uff58", a=2)
    built.model.add_constraint(built.v.x[0])
    built.model.build_cnf()
    assert built.models() == {(True, False), (True, True)}


@pytest.mark.parametrize("name", ["_dravo_aux", "_kelpa_aux_0", "i_dravo_aux"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_index_name_holding_an_aux_prefix_is_refused(road, name, caplog):
    model = Model(ce.manager(), "names", use_formula_encoder=road)
    with pytest.raises(VariableError, match="are reserved") as raised:
        model.get_indexes([name])
    assert str(raised.value) in logged_errors(caplog)


@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_letters_outside_ascii_name_variables_and_indexes_on_both_roads(road):
    model = Model(ce.manager(), "names", use_formula_encoder=road)
    cafe = model.create_variables("café", ξψ=3)
    xi = model.get_indexes(["ξψ"])
    model.add_constraint(cafe[xi] | cafe[xi + 1], ξψ=range(2))
    model.add_constraint(~cafe[1])
    model.build_cnf()
    built_names = ["café[0]", "café[1]", "café[2]"]
    mapping = model.get_var_mapping()
    numbers = [mapping.number_of(name) for name in built_names]
    assert sorted(numbers) == [1, 2, 3]
    assert [sorted(abs(lit) for lit in clause) for clause in model.get_cnf_storage().hard_clauses()] \
        == [[numbers[0], numbers[1]], [numbers[1], numbers[2]], [numbers[1]]]
