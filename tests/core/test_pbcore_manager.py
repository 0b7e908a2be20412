import pytest

import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder.core.manager import Manager
from tarvo_encoder.core.pboperations import PBVariable
from tarvo_encoder.core.variable import GeneratorVariable, Variable


@pytest.fixture
def manager():
    return Manager()


def test_fresh_manager_holds_the_encoder_settings(manager):
    assert manager.pb_config.pb_encoder == pb.PB_Encoder_type.ADDER
    assert manager.pb_config.max_clauses_per_constraint == 1000000
    assert (manager.name2genvar, manager.name2pb, manager.pb2bx, manager.cnt_pbvar) == ({}, {}, {}, 0)
    assert list(vars(manager)) == ["bx_context", "pb_config", "pb_var_manager", "name2genvar",
                                   "name2pb", "pb2bx", "cnt_pbvar"]


def test_add_variable_pairs_each_name_once(manager):
    first = manager.add_variable("x(0)")
    second = manager.add_variable("x(1)")
    assert (first[1], second[1]) == (1, 2)
    assert str(first[0]) == "x(0)" and isinstance(first[0], bx.Variable)
    again = manager.add_variable("x(0)")
    assert again[0] is first[0] and again[1] == 1
    assert manager.add_variable("x(2)")[1] == 3
    assert manager.name2pb == {"x(0)": 1, "x(1)": 2, "x(2)": 3}
    assert manager.cnt_pbvar == 0


def test_get_pb_var_names_new_numbers_in_order_of_first_request(manager):
    bx_x, number_x = manager.add_variable("x")
    assert manager.get_pb_var(number_x) is bx_x
    assert manager.cnt_pbvar == 0
    aux_7 = manager.get_pb_var(7)
    aux_5 = manager.get_pb_var(5)
    assert (str(aux_7), str(aux_5)) == ("_kelpa_aux_0", "_kelpa_aux_1")
    assert manager.get_pb_var(7) is aux_7
    assert manager.cnt_pbvar == 2
    assert manager.add_variable("_kelpa_aux_0") == (aux_7, 7)
    # Every prefix shares the one counter.
    assert str(manager.get_pb_var(9, "p")) == "p_2"
    assert manager.cnt_pbvar == 3
    assert manager.name2pb == {"x": 1, "_kelpa_aux_0": 7, "_kelpa_aux_1": 5, "p_2": 9}
    assert set(manager.pb2bx) == {1, 7, 5, 9}


def test_reset_starts_a_new_formula_and_keeps_generators(manager):
    manager.registration_generator_variables("x")
    generator = manager.name2genvar["x"]
    old_context = manager.bx_context
    old_var, _ = manager.add_variable("x(0)")
    manager.get_pb_var(12)
    tables = (manager.name2pb, manager.pb2bx)
    manager.reset()
    assert (manager.name2pb, manager.pb2bx, manager.cnt_pbvar) == ({}, {}, 0)
    assert manager.name2pb is tables[0] and manager.pb2bx is tables[1]
    assert manager.bx_context is not old_context
    assert manager.pb_config.pb_encoder == pb.PB_Encoder_type.ADDER
    assert manager.pb_config.max_clauses_per_constraint == 1000000
    assert manager.name2genvar == {"x": generator} and manager.name2genvar["x"] is generator
    new_var, number = manager.add_variable("x(0)")
    assert number == 1 and new_var is not old_var
    assert str(manager.get_pb_var(2)) == "_kelpa_aux_0"


def test_registration_keeps_the_first_generator(manager):
    manager.registration_generator_variables("x")
    first = manager.name2genvar["x"]
    manager.registration_generator_variables("x")
    manager.registration_generator_variables("y")
    assert manager.name2genvar["x"] is first
    assert isinstance(first, GeneratorVariable)
    assert (first.name, first.manager) == ("x", manager)
    assert list(manager.name2genvar) == ["x", "y"]


class IndexText:
    def __init__(self, text):
        self.text = text

    def __str__(self):
        return self.text


@pytest.mark.parametrize(
    "items,name",
    [
        ((IndexText("i + 1"), IndexText("j")), "x(i + 1,j)"),
        ((0, 1), "x(0,1)"),
        ((), "x()"),
        ((IndexText("3*k - 2"),), "x(3*k - 2)"),
    ],
)
def test_generator_call_names_the_reference(manager, items, name):
    manager.registration_generator_variables("x")
    variable = manager.name2genvar["x"](*items)
    assert isinstance(variable, Variable)
    assert variable.name == name
    assert str(variable.bx_var) == name
    assert manager.name2pb == {name: variable.pb_var}


def test_same_reference_shares_engine_variable_and_number(manager):
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    first, second = x(0, 1), x(0, 1)
    assert first is not second
    assert first.bx_var is second.bx_var and first.pb_var == second.pb_var == 1
    assert x(1, 0).pb_var == 2
    assert first.to_bx() is first.bx_var
    leaves = first.to_pb(), first.to_pb()
    assert leaves[0] is not leaves[1]
    for leaf in leaves:
        assert isinstance(leaf, PBVariable)
        assert (leaf.pb_var, leaf.name, leaf.coefficient) == (1, "x(0,1)", 1)


def test_reference_after_reset_is_paired_anew(manager):
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    x(5)
    before = x(7)
    manager.reset()
    assert manager.name2genvar["x"] is x
    after = x(7)
    assert after.pb_var == 1 and before.pb_var == 2
    assert after.bx_var is not before.bx_var
