"""Which road a constraint takes in container mode: each fast road gets the
constraints it is for, the one switch sends every constraint to the
evaluation road, and the trace line names the road taken."""
import logging
import pathlib
import re

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder import Model, Or, _native
from tarvo_encoder.core import roads

from fast_roads import ROAD_LINE, fast_roads_off, roads_taken

TRACE = ce.log_level_type.trace.value
ROOT = pathlib.Path(__file__).resolve().parents[2]


def hard(write, **foralls):
    return lambda model, x, i: model.add_constraint(write(x, i), **foralls)


def soft(write):
    return lambda model, x, i: model.add_soft_constraint(write(x, i), weight=2)


# (what is added, the road it takes, the road it takes with debug lines wanted)
ADDS = [
    (hard(lambda x, i: x[0] + 2 * x[1] <= 2), "small comparison", "evaluation"),
    (hard(lambda x, i: x[0] | ~x[1] | x[3]), "plain clause", "plain clause"),
    (hard(lambda x, i: (x[0] & x[1]) | ~x[2]), "plain formula", "evaluation"),
    (hard(lambda x, i: (x[1] + x[2] <= 1) | x[3]), "recalled shape", "evaluation"),
    (hard(lambda x, i: x[i] | x[i + 1], i=range(3)), "evaluation", "evaluation"),
    (hard(lambda x, i: Or(x[i], i=range(3)) | (x[0] + x[1] >= 1)), "evaluation", "evaluation"),
    (soft(lambda x, i: x[0] + 3 * x[2]), "plain soft sum", "evaluation"),  # last: no hard constraint after it
]


def model_with_a_shape():
    """A model whose evaluation road has recorded the shape of (x[a] + x[b] <= 1) | x[c]."""
    model = Model(ce.manager(), "roads")
    x = model.create_variables("x", k=5)
    i = model.get_indexes(["i"])
    model.add_constraint((x[0] + x[3] <= 1) | x[4])
    return model, x, i


@pytest.mark.parametrize("add, road, _", ADDS)
def test_each_road_gets_its_constraints(add, road, _):
    model, x, i = model_with_a_shape()
    with roads_taken() as taken:
        add(model, x, i)
    assert taken == [road]


@pytest.mark.parametrize("add, _, road", ADDS)
def test_with_debug_lines_wanted_the_roads_without_them_step_aside(caplog, add, _, road):
    model, x, i = model_with_a_shape()
    caplog.set_level(logging.DEBUG, logger="velmont.corvane_engine")
    with roads_taken() as taken:
        add(model, x, i)
    assert taken == [road]


@pytest.mark.parametrize("add, _, road", ADDS)
def test_the_trace_line_names_the_road(caplog, add, _, road):
    model, x, i = model_with_a_shape()
    caplog.set_level(TRACE, logger="velmont.corvane_engine")
    caplog.clear()
    add(model, x, i)
    lines = [r.getMessage() for r in caplog.records if r.getMessage().startswith(ROAD_LINE)]
    assert lines == [ROAD_LINE + road]


def lines_and_clauses(adds, monkeypatch):
    """Every line the sink gets (the road's name left out) and the clauses, once `adds` are added."""
    lines = []
    monkeypatch.setattr(ce, "log_encoder", lambda msg, level: msg.startswith(ROAD_LINE) or lines.append((level, msg)))
    model, x, i = model_with_a_shape()
    for add in adds:
        add(model, x, i)
    model.build_wcnf() if model._is_wcnf else model.build_cnf()
    monkeypatch.undo()
    storage = model.get_cnf_storage()
    return [(level, msg) for level, msg in lines if "Duration" not in msg], storage.hard_clauses(), \
        storage.soft_clauses()


@pytest.mark.parametrize("adds", [[add] for add, _, _ in ADDS] + [[add for add, _, _ in ADDS]])
def test_with_debug_and_trace_lines_wanted_every_road_writes_the_lines_of_the_evaluation(adds, monkeypatch):
    # A sink of another kind takes lines of every level.
    fast = lines_and_clauses(adds, monkeypatch)
    with fast_roads_off():
        assert lines_and_clauses(adds, monkeypatch) == fast
    assert any(level == ce.log_level_type.trace for level, _ in fast[0])


@pytest.mark.parametrize("add", [add for add, _, _ in ADDS])
def test_with_the_fast_roads_off_every_constraint_is_evaluated(add):
    model, x, i = model_with_a_shape()
    with fast_roads_off(), roads_taken() as taken:
        assert not _native.expression_fast_road()
        add(model, x, i)
    assert taken == ["evaluation"]
    assert _native.expression_fast_road() and roads.closed_roads() == []


def test_one_road_switched_off_leaves_the_others_on():
    model, x, i = model_with_a_shape()
    with fast_roads_off("plain clause"), roads_taken() as taken:
        assert roads.closed_roads() == ["plain clause"]
        model.add_constraint(x[0] | x[1])
        model.add_constraint(x[0] + x[1] <= 1)
    # A clause is a formula too.
    assert taken == ["plain formula", "small comparison"]


def test_a_road_unknown_by_name_is_refused_and_logged(caplog):
    with pytest.raises(ValueError, match="No fast road is named 'plain clauses'"):
        roads.set_fast_roads(False, "plain clause", "plain clauses")
    assert roads.closed_roads() == []
    assert [r.getMessage() for r in caplog.records if r.levelno == logging.ERROR] == [
        "No fast road is named 'plain clauses'"]


@pytest.mark.parametrize("road", roads.FAST_ROADS + (roads.EVALUATION,), ids=lambda road: road.name)
def test_the_map_names_files_that_are_there(road):
    named = re.findall(r"[\w/]+\.(?:py|hpp|cpp)", road.lives + " " + road.tested)
    assert named and road.tested.startswith("tests/")
    for path in named:
        assert any((base / path).is_file() for base in (ROOT, ROOT / "src" / "tarvo_encoder", ROOT / "cpp")), path
