"""Construction, variable and index declarations of the pseudo-Boolean model."""
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder._exceptions import VariableError
from tarvo_encoder.encode.model import Model
from tarvo_encoder.encode.variables import Index

RESERVED_NAMES = ["Sum", "FormulaPB", "bx", "pb", "manager", "range", "True", "None", "for", "lambda"]


@pytest.fixture
def model(sink):
    built = Model(ce.manager(), "m")
    sink.clear()
    return built


@pytest.mark.parametrize("flag, expected_lines", [
    (False, ["     model name : m", "           zolt : False", "    add new var : dummy_var{'d': 1} = [1]"]),
    (True, ["     model name : m", "           zolt : True"]),
    (1, ["     model name : m", "           zolt : 1"]),
])
def test_start_up_lines(sink, recording_manager, flag, expected_lines):
    model = Model(recording_manager, "m", use_formula_encoder=flag)

    assert sink.at("info") == [" python version : " + ce.get_python_version()] + expected_lines
    assert recording_manager.encoders == []
    if flag:
        assert model._shift_target_variable == 0 and model._variables == {}
    else:
        assert model._shift_target_variable == 1
        assert model._used_vars == {"dummy_var"} and list(model._variables) == ["dummy_var"]
        assert model._variables["dummy_var"].map == {"dummy_var[0]": 0}


def test_variables_are_numbered_row_major_after_the_dummy(model, sink):
    x = model.create_variables("x", i=2, j=3)
    s = model.create_variables("s")

    assert x.map == {"x[0,0]": 1, "x[0,1]": 2, "x[0,2]": 3, "x[1,0]": 4, "x[1,1]": 5, "x[1,2]": 6}
    assert s.map == {"s[]": 7}
    assert model._shift_target_variable == 8
    assert sink.at("info") == ["    add new var : x{'i': 2, 'j': 3} = [6]", "    add new var : s{} = [1]"]
    assert model.get_name() == "m"


@pytest.mark.parametrize("name, error, message", [
    ("", ValueError, "Variable must have a non-empty name containing only letters"),
    ("x1", ValueError, "Variable must have a non-empty name containing only letters"),
    ("my_var", ValueError, "Variable must have a non-empty name containing only letters"),
    ("x y", ValueError, "Variable must have a non-empty name containing only letters"),
    (None, ValueError, "Variable must have a non-empty name containing only letters"),
    (7, ValueError, "Variable must have a non-empty name containing only letters"),
    ("dummy_var", VariableError, "Variable named dummy_var is already in use"),
] + [(name, VariableError, "Name '" + name + "' is reserved by the expression evaluation of the model "
      "(FormulaPB, Sum, __builtins__, bx, manager, pb, range and Python keywords). Change the name to a valid one")
     for name in RESERVED_NAMES])
def test_refused_variable_names_log_and_change_nothing(model, sink, name, error, message):
    with pytest.raises(error) as raised:
        model.create_variables(name, i=2)

    assert str(raised.value) == message
    assert sink.at("error") == [message]
    assert model._shift_target_variable == 1 and list(model._variables) == ["dummy_var"]
    assert list(model._manager.name2genvar) == ["dummy_var"]


def test_names_of_non_ascii_letters_are_accepted(model):
    assert model.create_variables("ξψ", i=2).map == {"ξψ[0]": 1, "ξψ[1]": 2}


@pytest.mark.parametrize("size", [-1, 2.5, "3", True, None])
def test_dimension_sizes_must_be_non_negative_ints(model, sink, size):
    with pytest.raises(ValueError) as raised:
        model.create_variables("x", i=2, j=size)

    message = "Dimension 'j' of variable 'x' must have a non-negative int size, got " + repr(size)
    assert str(raised.value) == message and sink.at("error") == [message]
    assert model._shift_target_variable == 1 and "x" not in model._used_vars


def test_a_zero_size_declares_an_empty_block(model):
    assert model.create_variables("x", i=0, j=3).map == {}
    assert model.create_variables("y", i=1).map == {"y[0]": 1}


def test_a_second_declaration_keeps_the_first(model):
    x = model.create_variables("x", i=2)
    with pytest.raises(VariableError, match="^Variable named x is already in use$"):
        model.create_variables("x", i=5)

    assert model._variables["x"] is x and model._shift_target_variable == 3


def test_formula_encoder_mode_forwards_declarations(sink, recording_manager):
    model = Model(recording_manager, "m", use_formula_encoder=True)
    model.create_variables("dummy_var", d=1)
    x = model.create_variables("x", i=2, j=3)

    encoder, = recording_manager.encoders
    assert encoder.name == "m"
    assert encoder.calls == [("create_variables", ("dummy_var", [1])), ("create_variables", ("x", [2, 3]))]
    assert x.st_shift == 0 and model._shift_target_variable == 7
    assert model._used_vars == set() and model._variables == {} and model._manager.name2genvar == {}


def test_indexes_come_singly_or_as_a_list(model):
    i = model.get_indexes(["i"])
    j, k = model.get_indexes("jk")
    pair = model.get_indexes(["a", "b"])

    assert isinstance(i, Index) and str(i) == "i"
    assert [str(j), str(k)] == ["j", "k"] and [str(p) for p in pair] == ["a", "b"]
    assert model._indexes == {"i": i, "j": j, "k": k, "a": pair[0], "b": pair[1]}


@pytest.mark.parametrize("indexes, error, message", [
    ([], ValueError, "The indexes parameter must contain a non-empty sequence of index names"),
    ("", ValueError, "The indexes parameter must contain a non-empty sequence of index names"),
    (["i", "_kelpa_aux"], VariableError,
     "Names '_dravo_aux' and '_kelpa_aux' are reserved. Change the name to a valid one"),
    (["i", "_dravo_aux"], VariableError,
     "Names '_dravo_aux' and '_kelpa_aux' are reserved. Change the name to a valid one"),
    (["i", "1j"], VariableError, "Index name '1j' is not a valid identifier"),
    (["i", "j k"], VariableError, "Index name 'j k' is not a valid identifier"),
    (["i", "j-1"], VariableError, "Index name 'j-1' is not a valid identifier"),
    (["i", 3], VariableError, "Index name 3 is not a valid identifier"),
    (["i", "dummy_var"], VariableError, "Index named dummy_var is already in use"),
] + [(["i", name], VariableError, "Name '" + name + "' is reserved by the expression evaluation of the model "
      "(FormulaPB, Sum, __builtins__, bx, manager, pb, range and Python keywords). Change the name to a valid one")
     for name in RESERVED_NAMES + ["__builtins__", "__debug__"]])
def test_refused_index_names_keep_earlier_indexes(model, sink, indexes, error, message):
    with pytest.raises(error) as raised:
        model.get_indexes(indexes)

    assert str(raised.value) == message and sink.at("error") == [message]
    assert list(model._indexes) == (["i"] if indexes else [])


def test_an_index_may_not_take_a_variable_name_in_container_mode(model, recording_manager):
    model.create_variables("x", i=2)
    with pytest.raises(VariableError, match="^Index named x is already in use$"):
        model.get_indexes(["x"])

    fenc_model = Model(recording_manager, "f", use_formula_encoder=True)
    fenc_model.create_variables("x", i=2)
    assert str(fenc_model.get_indexes(["x"])) == "x"


def test_a_variable_declared_after_an_index_of_its_name_wins_in_evaluation():
    cmanager = ce.manager()
    model = Model(cmanager, "m")
    model.get_indexes(["y"])
    y = model.create_variables("y", i=2)
    model.add_constraint(~y[0] & y[1])

    assert model.build_cnf() is True
    assert sorted(cmanager.get_cnf_storage().hard_clauses()) == [[-1], [2]]
