"""CNF and weighted-CNF builds in container mode: hand-off, log lines, refusals."""
import re
from datetime import datetime, timedelta

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder._exceptions import BuildError
from tarvo_encoder.encode._model_rules import duration_text
from tarvo_encoder.encode.model import Model

DURATION = r"\d\d:\d\d:\d\d\.\d\d\d"


def declared_model(cmanager=None):
    model = Model(ce.manager() if cmanager is None else cmanager, "demo")
    x = model.create_variables("x", i=2, j=3)
    return model, x


def test_cnf_build_hands_storage_and_interpreter_to_the_engine_manager(sink):
    cmanager = ce.manager()
    model, x = declared_model(cmanager)
    model.add_constraint(x[0, 0] | x[1, 2])
    sink.clear()

    assert model.build_cnf(7, None) is True

    assert cmanager.get_cnf_storage() is model.get_cnf_storage()
    interpreter = cmanager.get_witness_interpreter()
    assert interpreter is not None
    start, finish = sink.at("info")
    assert start == "      CNF build : started. Model <demo>; Target variables = 6"
    assert re.fullmatch("         action : CNF build finished. Duration = " + DURATION, finish)
    assert model.get_var_mapping().number_of("x[1,2]") == 6


def test_wcnf_build_log_lines(sink):
    cmanager = ce.manager()
    model, x = declared_model(cmanager)
    model.add_soft_constraint(x[0, 1], weight=4)
    sink.clear()

    assert model.build_wcnf() is True

    assert sink.at("info") == ["     WCNF build : started. Model <demo>; Target variables = 6",
                               "         action : WCNF build finished."]
    assert cmanager.get_cnf_storage() is model.get_cnf_storage()
    assert cmanager.get_witness_interpreter() is not None


@pytest.mark.parametrize("border, minimization", [(None, None), (7, None), (None, False), (0, True)])
def test_a_border_without_target_is_said_to_be_ignored(sink, border, minimization):
    # A loop that lowers the border until UNSAT would never end: the build must say why.
    model, x = declared_model()
    model.add_constraint(x[0, 0] | x[1, 2])
    sink.clear()
    assert model.build_cnf(border, minimization) is True
    ignored = ("The model has no target: build_cnf ignores the border and the minimization flag;"
               " add one with add_target to bound it")
    assert sink.at("warning") == ([] if border is minimization is None else [ignored])


def test_a_build_can_be_repeated_with_the_same_storage():
    cmanager = ce.manager()
    model, x = declared_model(cmanager)
    model.add_constraint(x[0, 0] | x[0, 1])
    assert model.build_cnf() is True
    storage = cmanager.get_cnf_storage()
    assert model.build_cnf() is True
    assert cmanager.get_cnf_storage() is storage


def make_soft(model, x):
    model.add_soft_constraint(x[0, 0])


def make_target(model, x):
    model.add_target(x[0, 0] + x[1, 1])


def make_hard(model, x):
    model.add_constraint(x[0, 0] | x[1, 1])


@pytest.mark.parametrize("prepare, build, message, started", [
    (make_soft, lambda m: m.build_cnf(), "This expression is defined for WCNF format", False),
    (make_target, lambda m: m.build_cnf(5), "Border or minimization arguments are not defined, but target is set",
     False),
    (make_target, lambda m: m.build_cnf(None, True),
     "Border or minimization arguments are not defined, but target is set", False),
    (lambda m, x: None, lambda m: m.build_cnf(), "The model doesn't contain any formula container", True),
    (make_hard, lambda m: m.build_wcnf(), "This expression is defined for CNF format", False),
    (make_target, lambda m: m.build_wcnf(), "This expression is defined for CNF format", False),
])
def test_build_refusals(sink, prepare, build, message, started):
    model, x = declared_model()
    prepare(model, x)
    sink.clear()

    with pytest.raises(BuildError) as raised:
        build(model)

    assert str(raised.value) == message and sink.at("error") == [message]
    assert bool(sink.at("info")) is started


@pytest.mark.parametrize("prepare, build", [
    (make_hard, lambda m: m.build_cnf()),
    (make_soft, lambda m: m.build_wcnf()),
])
def test_a_build_without_engine_manager_is_refused(sink, prepare, build):
    model = Model(None, "m")
    x = model.create_variables("x", i=2, j=2)
    prepare(model, x)
    with pytest.raises(BuildError, match="^Corvane manager is not set or empty$"):
        build(model)


def test_build_cnf_with_zero_border_and_false_minimization_is_valid():
    model, x = declared_model()
    model.add_target(x[0, 0] + x[0, 1])
    assert model.build_cnf(0, False) is True


def test_a_border_that_makes_the_target_redundant_drops_the_earlier_border(sink):
    cmanager = ce.manager()
    model = Model(cmanager, "m")
    x = model.create_variables("x", i=4)
    model.add_constraint(x[0] | x[3])
    model.add_target(x[0] + x[1] + x[2] + x[3])
    assert model.build_cnf(2, True) is True
    assert len(cmanager.get_cnf_storage().hard_clauses()) > 1

    assert model.build_cnf(4, True) is True

    storage = cmanager.get_cnf_storage()
    assert storage.hard_clauses() == [[1, 4]]
    assert (storage.clause_count, storage.variable_count) == (1, 4)
    assert list(model._formula_container.mapping) == ["dummy_var[0]", "x[0]", "x[1]", "x[2]", "x[3]"]
    assert "Redundant constraint was detected in target" in sink.at("warning")


@pytest.mark.parametrize("elapsed, text", [
    (timedelta(seconds=1.234567), "00:00:01.234"),
    (timedelta(milliseconds=999.9), "00:00:00.999"),
    (timedelta(hours=25), "01:00:00.000"),
    (timedelta(days=3, minutes=2, seconds=3), "00:02:03.000"),
    (timedelta(0), "00:00:00.000"),
    (timedelta(seconds=-5), "00:00:00.000"),
    (timedelta(days=-400), "00:00:00.000"),
])
def test_duration_text(elapsed, text):
    assert duration_text(elapsed) == text


def test_a_clock_that_went_back_logs_a_zero_duration(sink):
    model, x = declared_model()
    model.add_constraint(x[0, 0] | x[0, 1])
    model._start_time = datetime.now() + timedelta(hours=1)
    sink.clear()

    assert model.build_cnf() is True
    assert sink.at("info")[-1] == "         action : CNF build finished. Duration = 00:00:00.000"


def test_accessors_of_a_fresh_model_return_none(recording_manager):
    assert Model(ce.manager(), "m").get_var_mapping() is None
    assert Model(ce.manager(), "m").get_cnf_storage() is None
    fenc_model = Model(recording_manager, "f", use_formula_encoder=True)
    assert fenc_model.get_var_mapping() is None and fenc_model.get_cnf_storage() is None
    assert recording_manager.encoders == []
