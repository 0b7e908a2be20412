"""Compilation of hard constraints, soft constraints and the target in container mode."""
import inspect
import linecache

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder._exceptions import FormulaError, TargetError
from tarvo_encoder.encode.expressions import One, Zero, pow_expression
from tarvo_encoder.encode.model import Model


@pytest.fixture
def model(sink):
    built = Model(ce.manager(), "m")
    built.x = built.create_variables("x", i=3)
    built.i = built.get_indexes(["i"])
    sink.clear()
    return built


def assert_manager_is_fresh(model):
    assert model._manager.cnt_pbvar == 0 and model._manager.name2pb == {} and model._manager.pb2bx == {}


def test_log_lines_of_a_compilation(model, sink):
    x, i = model.x, model.i
    model.add_constraint(x[i] | x[i + 1], i=range(2))
    model.add_soft_constraint(x[0] + x[1], weight=3)

    constraint = "bx.or_s([x(i).to_bx(), x(i + 1).to_bx()])"
    assert sink.at("debug")[0] == "     constraint : " + constraint + "___{'i': range(0, 2)}"
    assert "Building soft constraint: x(0).to_pb() + x(1).to_pb()" in sink.at("debug")
    assert "Enumerating hard utility variables" in sink.at("trace")
    assert sink.at("error") == [] and sink.at("warning") == []


@pytest.mark.parametrize("constraint", [
    lambda x: x[0] + x[1] + x[2] >= 4,
    lambda x: x[0] & ~x[0],
    lambda x: Zero,
], ids=["pb-bound", "conjunction", "constant"])
def test_a_contradiction_names_the_callers_source_line(model, sink, constraint):
    expression = constraint(model.x)
    line = inspect.currentframe().f_lineno + 2
    with pytest.raises(FormulaError) as raised:
        model.add_constraint(expression)

    message = "Contradiction was detected in formula model.add_constraint(expression), line " + str(line)
    assert str(raised.value) == message and sink.at("error") == [message]
    assert_manager_is_fresh(model)
    model.add_constraint(model.x[0] | model.x[1])
    assert model._is_wcnf is None and model.build_cnf() is True


@pytest.mark.parametrize("file_name", ["generated_model.py", "generated\nmodel.py"])
def test_the_source_line_is_read_whatever_the_file_name(model, sink, file_name):
    source = "model.add_constraint(x[0] & ~x[0])\n"
    linecache.cache[file_name] = (len(source), None, [source], file_name)
    try:
        with pytest.raises(FormulaError) as raised:
            exec(compile(source, file_name, "exec"), {"model": model, "x": model.x})
    finally:
        del linecache.cache[file_name]

    message = "Contradiction was detected in formula model.add_constraint(x[0] & ~x[0]), line 1"
    assert str(raised.value) == message and sink.at("error") == [message]


@pytest.mark.parametrize("constraint", [
    lambda x: x[0] + x[1] <= 2,
    lambda x: x[0] | ~x[0],
    lambda x: One,
], ids=["pb-bound", "disjunction", "constant"])
def test_a_redundant_constraint_is_dropped_with_a_warning(model, sink, constraint):
    expression = constraint(model.x)
    line = inspect.currentframe().f_lineno + 1
    model.add_constraint(expression)

    assert sink.at("warning") == [
        "Redundant constraint was detected in formula model.add_constraint(expression), line " + str(line)]
    assert_manager_is_fresh(model)
    assert model._is_wcnf is None
    assert model._formula_container.num_clauses == 0


@pytest.mark.parametrize("failing_call, flag_after", [
    (lambda m, x: m.add_constraint(x[0] + x[1]), None),
    (lambda m, x: m.add_constraint((x[0] + x[1] + x[2] <= 1) & (x[0] + x[1])), None),
    (lambda m, x: m.add_soft_constraint(x[0] * x[1]), None),
    (lambda m, x: m.add_target(x[1] + pow_expression(2, m.i) * x[0]), None),
    (lambda m, x: (m.add_target(x[1] + 2 * x[0]), m.build_cnf(2**70, True)), False),
], ids=["term-without-bound", "term-in-conjunction", "soft-product", "target", "bounded target"])
def test_the_manager_is_reset_after_a_failing_compilation(model, failing_call, flag_after):
    with pytest.raises(Exception):
        failing_call(model, model.x)

    assert_manager_is_fresh(model)
    assert model._is_wcnf is flag_after


def test_argument_checks(model, sink):
    model.add_soft_constraint(model.x[0])
    with pytest.raises(TypeError, match="^Variable 'constraint' must contain only objects of type 'Expression'$"):
        model.add_constraint(5)
    with pytest.raises(FormulaError, match="^Input constraint cannot be converted to a soft constraints$"):
        model.add_soft_constraint(model.x[0] + model.x[1] <= 1)
    assert sink.at("error") == ["Variable 'constraint' must contain only objects of type 'Expression'",
                                "Input constraint cannot be converted to a soft constraints"]


def test_target_storage(model, sink):
    x = model.x
    first, second = x[0] + x[1], x[1] + x[2]
    model.add_target(first)
    model.add_target(second)
    with pytest.raises(TargetError, match="^Target is not a pseudo-boolean function without border$"):
        model.add_target(x[0] & x[1])

    assert sink.at("warning") == ["Target already used"]
    assert model._template_target is second and model.use_target


def test_a_refused_first_target_still_creates_the_container(model):
    with pytest.raises(TargetError):
        model.add_target(model.x[0] <= 1)
    assert model._is_wcnf is None and model._formula_container is not None


@pytest.mark.parametrize("bounded_target, error_or_warning", [
    (lambda x: (x[0] + x[1], 5, False), (FormulaError, "Contradiction was detected in target")),
    (lambda x: (x[0] + x[1], 5, True), "Redundant constraint was detected in target"),
])
def test_constant_bounded_targets(model, sink, bounded_target, error_or_warning):
    target, border, minimization = bounded_target(model.x)
    model.add_constraint(model.x[0] | model.x[2])
    model.add_target(target)
    if isinstance(error_or_warning, tuple):
        with pytest.raises(error_or_warning[0], match="^" + error_or_warning[1] + "$"):
            model.build_cnf(border, minimization)
        assert sink.at("error") == [error_or_warning[1]]
    else:
        assert model.build_cnf(border, minimization) is True
        assert sink.at("warning") == [error_or_warning]
    assert "Building target" in sink.at("info")
    assert_manager_is_fresh(model)
