"""Declarations of the linear model: engine calls, names and their refusals."""
import numpy as np
import pytest

from tarvo_encoder._exceptions import VariableError
from tarvo_encoder.linear_parser import LinearModel, VariableType, inf
from tarvo_encoder.linear_parser.linear_variables import Index
from tarvo_encoder.linear_parser2 import LinearModel as ArrayModel
from velmont.corvane_engine import tovric


def test_worked_example_engine_calls(recording):
    model = LinearModel(False, time_limit=5.0, log_to_console=False)
    x = model.get_variables("x", VariableType.INTEGER, 0, 10, i=2, j=3)
    y = model.get_variables("y", VariableType.REAL)
    z = model.get_variables("z", VariableType.BINARY, 5, 7, k=4)
    engine = model._tovric_model
    assert engine.named("setOptionValue") == [("log_to_console", False), ("time_limit", 5.0), ("log_to_console", False)]
    added = engine.named("addVars")
    assert [(n, lower.dtype.name, list(lower), list(upper)) for n, lower, upper in added] == [
        (6, "int32", [0] * 6, [10] * 6), (1, "float64", [-inf], [inf]), (4, "int32", [0] * 4, [1] * 4)]
    integral = engine.named("changeColsIntegrality")
    assert [(n, list(columns), set(kinds)) for n, columns, kinds in integral] == [
        (6, list(range(6)), {tovric.TovricVarType.kInteger}), (4, [7, 8, 9, 10], {tovric.TovricVarType.kInteger})]
    assert (x.type, y.type, z.type) == ("int32", "float64", "int32")
    assert (z.lo, z.hi, y.lo, y.hi) == (5, 7, -inf, inf)
    assert (x.map[0], y.map, z.map) == (0, (6,), (7, 8, 9, 10))
    assert model._general_shift_variable == 11


def test_zero_size_block_and_accepted_names():
    model = LinearModel()
    empty = model.get_variables("x1", VariableType.REAL, k=0)
    assert empty.map == () and model._general_shift_variable == 0
    model.get_variables("_x", VariableType.BINARY)
    assert model._general_shift_variable == 1
    model.get_variables("n", VariableType.INTEGER, -2**31, 2**31 - 1)
    model.get_variables("match", VariableType.REAL)  # a soft keyword is a name
    assert model._general_shift_variable == 3


NAME_TEXT = "Linear variable must have a non-empty name containing only letters"
INT_TEXT = "For integer variables, the boundaries must be integers"
INT32_TEXT = "The boundaries of integer variables must lie in the 32-bit range -2147483648 .. 2147483647"


def reserved(name):
    return (f"Name '{name}' is reserved by the formula evaluation of the linear model (range, __builtins__ and "
            "Python keywords). Change the name to a valid one")


def folded(kind, name, folded_name):
    return f"{kind} name {name!r} reads as {folded_name!r} in evaluated text (NFKC form): use that name"


@pytest.mark.parametrize("args, kwargs, error, text, reserved", [
    (("", VariableType.REAL), {}, ValueError, NAME_TEXT, False),
    (("1x", VariableType.REAL), {}, ValueError, NAME_TEXT, False),
    (("x-y", VariableType.REAL), {}, ValueError, NAME_TEXT, False),
    ((5, VariableType.REAL), {}, ValueError, NAME_TEXT, False),
    (("v", VariableType.INTEGER), {}, ValueError, INT_TEXT, True),
    (("v", VariableType.INTEGER, 0.0, 5), {}, ValueError, INT_TEXT, True),
    (("v", VariableType.INTEGER, np.int64(0), 5), {}, ValueError, INT_TEXT, True),
    (("v", 2), {}, ValueError, "Invalid variable format", True),
    (("v", VariableType.REAL), {"k": -1}, ValueError, "The sizes of a linear variable must be non-negative integers",
     False),
    (("v", VariableType.REAL), {"k": 2.0}, ValueError, "The sizes of a linear variable must be non-negative integers",
     False),
    # Formula text calls a variable by its name: these would not parse or would hide what the text needs.
    (("for", VariableType.REAL), {}, VariableError, reserved("for"), False),
    (("None", VariableType.REAL), {}, VariableError, reserved("None"), False),
    (("range", VariableType.REAL), {}, VariableError, reserved("range"), False),
    (("__builtins__", VariableType.REAL), {}, VariableError, reserved("__builtins__"), False),
    (("__debug__", VariableType.REAL), {}, VariableError, reserved("__debug__"), False),
    # Formula text would call the variable by the name's NFKC form: another variable's, or none.
    (("\ufb01", VariableType.REAL), {}, VariableError, folded("Linear variable", "\ufb01", "fi"), False),
    # The engine holds integer bounds as int32.
    (("v", VariableType.INTEGER, 0, 2**31), {}, ValueError, INT32_TEXT, False),
    (("v", VariableType.INTEGER, -2**31 - 1, 0), {}, ValueError, INT32_TEXT, False),
    (("v", VariableType.INTEGER, -2**40, 2**40), {"k": 2}, ValueError, INT32_TEXT, False),
])
def test_declaration_refusals(sink, args, kwargs, error, text, reserved):
    model = LinearModel()
    with pytest.raises(error) as raised:
        model.get_variables(*args, **kwargs)
    assert str(raised.value) == text and sink.records == [("error", text)]
    assert model._general_shift_variable == 0 and not model._variables
    assert (args[0] in model._used_vars) == reserved


def test_a_failed_declaration_keeps_its_name(sink):
    model = LinearModel()
    with pytest.raises(ValueError):
        model.get_variables("v", VariableType.INTEGER)
    with pytest.raises(VariableError, match="^Linear variable named v is already in use$"):
        model.get_variables("v", VariableType.INTEGER, 0, 1)
    assert model._general_shift_variable == 0
    assert model.get_variables("w", VariableType.INTEGER, False, True).map == (0,)


def test_indexes(sink):
    model = LinearModel()
    single = model.get_indexes(["i"])
    assert isinstance(single, Index) and str(single) == "i"
    assert [str(index) for index in model.get_indexes("ij")] == ["i", "j"]
    model.get_variables("x", VariableType.REAL)
    model.get_variables("i", VariableType.REAL)
    with pytest.raises(VariableError, match="^Index named x is already in use$"):
        model.get_indexes(["k", "x"])
    with pytest.raises(ValueError, match="^The indexes parameter must contain a non-empty sequence of index names$"):
        model.get_indexes([])
    assert [msg for _, msg in sink.records] == [
        "Index named x is already in use", "The indexes parameter must contain a non-empty sequence of index names"]


@pytest.mark.parametrize("name, text", [
    ("0), x(1", "Index name '0), x(1' is not a valid identifier"),
    ("i j", "Index name 'i j' is not a valid identifier"),
    ("", "Index name '' is not a valid identifier"),
    (5, "Index name 5 is not a valid identifier"),
    ("for", reserved("for")),
    ("True", reserved("True")),
    ("range", reserved("range")),
    ("__builtins__", reserved("__builtins__")),
    ("__debug__", reserved("__debug__")),
    ("\uff49", folded("Index", "\uff49", "i")),
])
def test_index_names_must_be_plain_names(sink, name, text):
    # An index's name is pasted into formula text: "0), x(1" turned one row into two of another meaning.
    model = LinearModel()
    with pytest.raises(VariableError) as raised:
        model.get_indexes(["i", name])
    assert str(raised.value) == text and sink.records == [("error", text)]


@pytest.mark.parametrize("model_class", [LinearModel, ArrayModel])
@pytest.mark.parametrize("flag, prints", [(1, True), (0, False), (np.True_, True), (np.False_, False)])
def test_a_log_flag_of_any_truth_type_switches_the_solver_log(capfd, model_class, flag, prints):
    model = model_class(flag)
    model._tovric_model.run()
    printed = capfd.readouterr()
    assert bool(printed.out) == prints and printed.err == ""


def test_unknown_option_is_refused():
    with pytest.raises(ValueError, match="no_such_option"):
        LinearModel(no_such_option=3)
