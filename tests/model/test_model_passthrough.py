"""Pass-through methods to the formula encoder, variable indexes and preliminary values."""
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder.encode.model import Model

PASS_THROUGH = [
    ("save_metrics_json", ("metrics.json",), False),
    ("save_metrics_csv", ("metrics.csv",), False),
    ("check_another_witness", (), False),
    ("reset", (), None),
    ("set_witness", ([1, -2],), None),
    ("set_another_witness", ([-1, 2],), None),
]


@pytest.mark.parametrize("method, args, idle_result", PASS_THROUGH)
def test_without_an_encoder_nothing_is_forwarded(recording_manager, sink, method, args, idle_result):
    container_model = Model(recording_manager, "c")
    fenc_model = Model(recording_manager, "f", use_formula_encoder=True)
    sink.clear()

    assert getattr(container_model, method)(*args) is idle_result
    # Container mode says so: a witness loop would otherwise run on without a word.
    assert sink.at("warning") == [method + " works in formula-encoder mode only; container mode ignores it"]
    sink.clear()
    assert getattr(fenc_model, method)(*args) is idle_result
    assert sink.records == []
    assert recording_manager.encoders == []


@pytest.mark.parametrize("method, args, idle_result", PASS_THROUGH)
def test_with_an_encoder_calls_are_forwarded(recording_manager, method, args, idle_result):
    model = Model(recording_manager, "f", use_formula_encoder=True)
    model.create_variables("x", i=2)
    encoder, = recording_manager.encoders
    encoder.results[method] = "encoder says"

    result = getattr(model, method)(*args)

    assert encoder.calls[-1] == (method, args)
    assert result == ("encoder says" if idle_result is False else None)


def test_reset_leaves_the_model_as_it_was(recording_manager):
    model = Model(recording_manager, "f", use_formula_encoder=True)
    x = model.create_variables("x", i=2)
    model.add_soft_constraint(x[0])
    model.reset()
    assert model._is_wcnf is True and model._shift_target_variable == 2


@pytest.mark.parametrize("var, negative, literal", [(7, False, 7), (7, True, -7), (-7, True, 7), (3, 0, 3)])
def test_preliminary_values_reach_the_storage_the_manager_holds(sink, var, negative, literal):
    cmanager = ce.manager()
    model = Model(cmanager, "m")
    storage = ce.wcnf_storage()
    cmanager.set_cnf_storage(storage)
    sink.clear()

    model.add_preliminary_var_value(var, negative)
    model.add_preliminary_var_value(var, negative)

    assert list(storage.prefatory_values()) == [literal, literal]
    assert sink.at("debug") == ["Preliminary variable value was added: " + str(literal)] * 2


def test_a_preliminary_value_without_storage_is_only_logged(sink):
    model = Model(ce.manager(), "m")
    sink.clear()
    model.add_preliminary_var_value(4, True)
    assert sink.at("debug") == ["Preliminary variable value was added: -4"]


def test_get_var_index_returns_its_argument():
    model = Model(ce.manager(), "m")
    marker = object()
    assert model.get_var_index(5) == 5 and model.get_var_index(marker) is marker
