"""The mode flag: which adds and builds a container-mode model accepts in each state."""
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder._exceptions import BuildError, FormulaError, TargetError, VariableError
from tarvo_encoder import Sum
from tarvo_encoder.encode.model import Model


def model_in_state(state):
    """A container-mode model with x[0..2] whose mode flag is None, False or True."""
    model = Model(ce.manager(), "m")
    x = model.create_variables("x", i=3)
    model.add_constraint(x[0] + x[1] <= 1)
    if state is False:
        model.add_target(x[0] + x[2])
    elif state is True:
        model.add_soft_constraint(x[2])
    return model, x


CALLS = {
    "add_constraint": lambda model, x: model.add_constraint(x[1] | x[2]),
    "add_soft_constraint": lambda model, x: model.add_soft_constraint(x[0] + x[1], weight=2),
    "add_target": lambda model, x: model.add_target(x[1] + x[2]),
    "build_cnf": lambda model, x: model.build_cnf(1, True),
    "build_wcnf": lambda model, x: model.build_wcnf(),
}


@pytest.mark.parametrize("call, state, outcome", [
    ("add_constraint", None, None),
    ("add_constraint", False, (TargetError, "Target has already been defined")),
    ("add_constraint", True, (TargetError, "Soft constraint has already been defined")),
    ("add_soft_constraint", None, True),
    ("add_soft_constraint", False, (FormulaError, "Current model already works with CNF")),
    ("add_soft_constraint", True, True),
    ("add_target", None, False),
    ("add_target", False, False),
    ("add_target", True, (FormulaError, "Current model already works with WCNF")),
    ("build_cnf", None, None),
    ("build_cnf", False, False),
    ("build_cnf", True, (BuildError, "This expression is defined for WCNF format")),
    ("build_wcnf", None, (BuildError, "This expression is defined for CNF format")),
    ("build_wcnf", False, (BuildError, "This expression is defined for CNF format")),
    ("build_wcnf", True, True),
])
def test_mode_flag_table(sink, call, state, outcome):
    model, x = model_in_state(state)
    sink.clear()

    if isinstance(outcome, tuple):
        error, message = outcome
        with pytest.raises(error) as raised:
            CALLS[call](model, x)
        assert str(raised.value) == message and sink.at("error") == [message]
        assert model._is_wcnf is state
    else:
        result = CALLS[call](model, x)
        assert model._is_wcnf is outcome
        assert result is (True if call.startswith("build") else None)
    assert model.use_target is (model._is_wcnf is False)


def test_use_target_follows_the_flag():
    model = Model(ce.manager(), "m")
    x = model.create_variables("x", i=2)
    assert model.use_target is False
    model.add_target(x[0] + x[1])
    assert model.use_target is True

    soft = Model(ce.manager(), "s")
    y = soft.create_variables("y", i=2)
    soft.add_soft_constraint(y[0])
    assert soft.use_target is False


@pytest.mark.parametrize("first_formula", [
    lambda model, x: model.add_constraint(x[0] | x[1]),
    lambda model, x: model.add_soft_constraint(x[0]),
    lambda model, x: model.add_target(x[0] + x[1]),
    lambda model, x: pytest.raises(TargetError, model.add_target, x[0] | x[1]),
], ids=["hard", "soft", "target", "refused-target"])
def test_declarations_after_the_first_formula_are_refused(sink, first_formula):
    model = Model(ce.manager(), "m")
    x = model.create_variables("x", i=2)
    first_formula(model, x)
    sink.clear()

    with pytest.raises(VariableError) as raised:
        model.create_variables("y", i=2)

    message = ("Variable y cannot be declared after the first constraint, soft constraint or target. "
               "Declare every variable before them")
    assert str(raised.value) == message and sink.at("error") == [message]
    assert "y" not in model._used_vars and "y" not in model._manager.name2genvar
    assert model._shift_target_variable == 3


def test_indexes_may_be_declared_at_any_time():
    model = Model(ce.manager(), "m")
    x = model.create_variables("x", i=3)
    model.add_constraint(x[0] | x[1])
    i = model.get_indexes(["i"])
    model.add_constraint(x[i] | x[i + 1], i=range(2))
    assert model.build_cnf() is True


def test_both_modes_encode_a_large_cardinality_constraint_alike():
    """The clause limit only chooses among encodings, by one rule on both roads:
    here a totalizer of about 1.08 million clauses does not fit and the adder
    takes over, in container mode and in the formula encoder alike."""
    counts = []
    for use_formula_encoder in (False, True):
        cmanager = ce.manager()
        model = Model(cmanager, "card", use_formula_encoder=use_formula_encoder)
        x = model.create_variables("x", i=5000)
        i = model.get_indexes("i")
        model.add_constraint(Sum(x[i], i=range(5000)) <= 210)
        model.build_cnf()
        counts.append(cmanager.get_cnf_storage().stored_clause_count)
    assert counts[0] == counts[1] < 100000
