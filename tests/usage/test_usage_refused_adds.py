"""Adds refused on both roads with a logged error at the call that caused
them, leaving a model that still builds what it held before."""
import contextlib
import re

import pytest

from roads_check import ROADS, Built, container_fast_roads_off
from tarvo_encoder import Implication, Or, Sum, pow_expression
from tarvo_encoder._exceptions import FormulaError, TargetError


def logged_errors(caplog):
    return [record.getMessage() for record in caplog.records if record.levelname == "ERROR"]


def still_builds(built):
    """The model takes a hard constraint and builds exactly its models."""
    built.model.add_constraint(Sum(built.v.x[built.v.i], i=range(3)) == 1)
    built.model.build_cnf()
    assert built.models() == {(True, False, False), (False, True, False), (False, False, True)}


@pytest.mark.parametrize("add, error, message", [
    (lambda m, v: m.add_constraint(v.x[0] + v.x[1]), FormulaError, "A pseudo-Boolean sum or number is not a constraint"),
    (lambda m, v: m.add_constraint(Sum(v.x[v.i], i=range(3))), FormulaError,
     "A pseudo-Boolean sum or number is not a constraint"),
    (lambda m, v: m.add_constraint(pow_expression(2, 3)), FormulaError,
     "A pseudo-Boolean sum or number is not a constraint"),
    (lambda m, v: m.add_target(pow_expression(2, 3)), TargetError, "Target is not a pseudo-boolean function"),
    (lambda m, v: m.add_soft_constraint(pow_expression(2, 3)), FormulaError,
     "Input constraint cannot be converted to a soft constraints"),
], ids=["sum", "Sum", "power", "power target", "power soft"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_what_is_no_constraint_is_refused_at_the_add(road, add, error, message, caplog):
    built = Built(road, x={"a": 3})
    with pytest.raises(error, match="^" + message) as raised:
        add(built.model, built.v)
    assert str(raised.value) in logged_errors(caplog)
    assert built.model._is_wcnf is None
    still_builds(built)


@pytest.mark.parametrize("foralls", [{"j": range(2)}, {}], ids=["other forall", "no forall"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_index_bound_by_no_forall_is_refused_at_the_add(road, foralls, caplog):
    built = Built(road, x={"a": 3})
    with pytest.raises(ValueError) as raised:
        built.model.add_constraint(built.v.x[built.v.i] | built.v.x[built.v.k], k=range(2), **foralls)
    assert str(raised.value) in logged_errors(caplog)
    assert str(raised.value) == ("Index i of the expression is bound by no forall"
                                 + ("; forall 'j' names no index of the expression" if foralls else "")
                                 + "; the expression uses the indexes i, k")
    still_builds(built)


@pytest.mark.parametrize("add", [
    lambda m, v, foralls: m.add_constraint(v.x[v.i] | v.y[0], i=range(2), **foralls),
    lambda m, v, foralls: m.add_constraint(Sum(v.x[v.i], i=range(3)) <= 1, **foralls),
    lambda m, v, foralls: m.add_soft_constraint(v.x[v.i] + v.y[0], 1, True, i=range(2), **foralls),
], ids=["clause using it", "comparison not using it", "soft constraint using it"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_forall_named_like_a_variable_is_refused(road, add, caplog):
    # Container mode used to call the loop value in place of the variable (an
    # unlogged TypeError) where formula-encoder mode built the model.
    built = Built(road, x={"a": 3}, y={"b": 1})
    with pytest.raises(ValueError) as raised:
        add(built.model, built.v, {"y": [0]})
    assert str(raised.value) == ("Forall 'y' is named like a declared variable;"
                                 " name each forall after an index of the expression")
    assert str(raised.value) in logged_errors(caplog)
    assert built.model._is_wcnf is None
    built.model.add_constraint(Sum(built.v.x[built.v.i], i=range(3)) == 1)
    built.model.build_cnf()
    one_hot = [(True, False, False), (False, True, False), (False, False, True)]
    assert built.models() == {x + (y,) for x in one_hot for y in (False, True)}


@pytest.mark.parametrize("write", [
    lambda m, v: m.add_constraint(v.x[0] + v.x[1] <= 10**5000),
    lambda m, v: m.add_constraint(10**5000 * v.x[0] + v.x[1] <= 1),
    lambda m, v: m.add_soft_constraint(v.x[0], 10**5000),
], ids=["bound", "factor", "soft weight"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_integers_too_long_to_write_are_refused_as_too_large(road, write, caplog):
    # Python refuses to write an int of more than 4300 digits: that was an unlogged ValueError.
    built = Built(road, x={"a": 3})
    with pytest.raises(OverflowError, match=r"integer of 16610 bits\)? does not fit in 64 bits$") as raised:
        write(built.model, built.v)
    assert str(raised.value) in logged_errors(caplog)
    still_builds(built)


@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_soft_constraint_over_an_unbound_index_is_refused(road, caplog):
    built = Built(road, x={"a": 3})
    with pytest.raises(ValueError, match="^Index i of the expression is bound by no forall; forall 'j'"):
        built.model.add_soft_constraint(built.v.x[built.v.i], 1, True, j=range(2))
    assert built.model._is_wcnf is None
    still_builds(built)


@pytest.mark.parametrize("foralls, error", [
    ({"i": ["a"]}, TypeError), ({"i": range(2), "k": [0.5]}, TypeError), ({}, ValueError),
], ids=["text value", "float value", "unbound index"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_refused_soft_constraint_leaves_hard_constraints_welcome(road, foralls, error, caplog):
    built = Built(road, x={"a": 3})
    with pytest.raises(error) as raised:
        built.model.add_soft_constraint(built.v.x[built.v.i], 1, True, **foralls)
    assert str(raised.value) in logged_errors(caplog)
    assert built.model._is_wcnf is None
    still_builds(built)


@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_soft_weights_beyond_the_weight_limit_are_refused_at_the_add(road, caplog):
    built = Built(road, x={"a": 3})
    v = built.v
    built.model.add_soft_constraint(v.x[v.i], 2**61, True, i=range(2))
    with pytest.raises(OverflowError) as raised:
        built.model.add_soft_constraint(v.x[v.i], 2**62, True, i=range(2))
    assert str(raised.value) in logged_errors(caplog)
    with pytest.raises(OverflowError):  # one beyond: the weights would fill the limit itself
        built.model.add_soft_constraint(v.x[2], 2**63 - 2**62 - 1, True)
    built.model.add_soft_constraint(v.x[2], 2**63 - 2**62 - 2, True)
    # The refused adds left nothing behind: the build holds the accepted soft clauses only.
    assert built.model.build_wcnf()
    storage = built.cmanager.get_cnf_storage()
    assert storage.weight_limit == 2**63 - 1
    assert sorted(weight for _, weight in storage.soft_clauses()) == [2**61, 2**61, 2**63 - 2**62 - 2]


def test_metrics_files_take_the_paths_write_dimacs_takes(tmp_path, caplog):
    built = Built(True, x={"a": 3})
    built.model.add_constraint(built.v.x[0])
    built.model.build_cnf()
    assert built.model.save_metrics_json(tmp_path / "m.json") and built.model.save_metrics_csv(bytes(tmp_path / "m.csv"))
    assert sorted(path.name for path in tmp_path.iterdir()) == ["m.csv", "m.json"]
    with pytest.raises(ValueError):
        built.model.save_metrics_json(str(tmp_path / "cut\0.json"))
    assert sorted(path.name for path in tmp_path.iterdir()) == ["m.csv", "m.json"]


@pytest.mark.parametrize("foralls, count", [
    ({"i": range(100_000), "k": range(100_000)}, "10000000000"),
    ({"i": range(2**31)}, "2147483648"),
    ({"i": range(-2**63, 2**63, 3), "k": [0, 1]}, str(2 * len(range(-2**63, 2**63, 3)))),
], ids=["two foralls", "one range", "beyond 64 bits"])
@pytest.mark.parametrize("soft", [False, True], ids=["hard", "soft"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_foralls_beyond_the_instances_of_a_formula_are_refused_up_front(road, soft, foralls, count, caplog):
    built = Built(road, x={"a": 3})
    add = built.model.add_soft_constraint if soft else built.model.add_constraint
    message = f"The foralls make {count} instances; a formula has at most 2147483647"
    with pytest.raises(ValueError, match="^" + message + "$"):
        add(built.v.x[0], **foralls)
    assert message in logged_errors(caplog)
    still_builds(built)


@pytest.mark.parametrize("add", [
    lambda m, v: m.add_constraint(v.x[v.i] + v.x[0] >= 3, i=range(0)),
    lambda m, v: m.add_constraint(v.x[v.i] + v.x[0] <= 3, i=[]),
    lambda m, v: m.add_constraint(v.x[v.i] & ~v.x[v.i], i=range(2), k=range(5, 5)),
], ids=["contradiction", "redundant", "empty inner forall"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_constant_constraint_over_no_instance_adds_nothing(road, add, caplog):
    # A constant formula repeated zero times holds no contradiction and repeats nothing.
    built = Built(road, x={"a": 3})
    add(built.model, built.v)
    assert [r.getMessage() for r in caplog.records if r.levelname in ("ERROR", "WARNING")] == []
    still_builds(built)


@pytest.mark.parametrize("write", [
    lambda m, v: m.add_constraint(v.x[0] + v.x[1] <= 2**70),
    lambda m, v: m.add_constraint(v.x[0] + v.x[1] >= -2**64),
    lambda m, v: m.add_constraint(v.x[v.i] + v.x[2] <= 2**63, i=range(2)),
    lambda m, v: m.add_constraint(2**70 * v.x[0] + v.x[1] <= 1),
    lambda m, v: m.add_constraint(v.x[0] | (v.x[0] + v.x[1] <= 2**70)),
], ids=["bound", "negative bound", "bound with foralls", "factor", "comparison in a formula"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_numbers_beyond_64_bits_are_refused_with_a_log_line(road, write, caplog):
    built = Built(road, x={"a": 3})
    with pytest.raises(OverflowError, match="does not fit in(to)? 64 bits$") as raised:
        write(built.model, built.v)
    assert logged_errors(caplog) == [str(raised.value)]
    still_builds(built)


@pytest.mark.parametrize("target, border, minimization", [
    (lambda v: v.x[0] + v.x[1], 2**70, True), (lambda v: v.x[0] + v.x[1], -2**64, False),
    (lambda v: 2**70 * v.x[0] + v.x[1], 1, True),
], ids=["border", "negative border", "factor"])
def test_target_beyond_64_bits_is_refused_at_the_build_with_a_log_line(target, border, minimization, caplog):
    built = Built(False, x={"a": 2})
    built.model.add_target(target(built.v))
    with pytest.raises(OverflowError, match="does not fit in 64 bits$") as raised:
        built.model.build_cnf(border, minimization)
    assert logged_errors(caplog) == [str(raised.value)]
    # The model takes the next build's target as if the refused one had never been.
    built.model.add_target(built.v.x[0] + built.v.x[1])
    assert built.model.build_cnf(0, True)
    assert built.models() == {(False, False)}


# Container mode on its fast roads and on its reference road alone, and formula-encoder mode.
EVERY_ROAD = {"container": (False, contextlib.nullcontext), "container reference road": (False, container_fast_roads_off),
              "formula encoder": (True, contextlib.nullcontext)}


@pytest.mark.parametrize("add, value", [
    (lambda m, v: m.add_constraint(v.x[7] <= 1), 7),
    (lambda m, v: m.add_constraint(v.x[0] & (v.x[7] <= 1)), 7),
    (lambda m, v: m.add_constraint(v.x[0] | ~v.x[0] | v.x[7]), 7),
    (lambda m, v: m.add_constraint(v.x[-1] <= 1), -1),
    (lambda m, v: m.add_constraint(v.x[7] | v.x[0]), 7),
    (lambda m, v: m.add_constraint(Sum(v.x[v.k], k=range(8)) <= 8), 3),
    (lambda m, v: m.add_constraint(v.x[0] | (v.x[v.i] + v.x[7] <= 2), i=range(2)), 7),
    (lambda m, v: m.add_soft_constraint(v.x[7], 0), 7),
    (lambda m, v: m.add_soft_constraint(v.x[0] + 0 * v.x[7]), 7),
    (lambda m, v: m.add_target(v.x[0] + v.x[7]), 7),
    (lambda m, v: m.add_constraint(v.x[v.i + 7] <= 1, i=range(2)), 7),
    (lambda m, v: m.add_constraint(v.x[0] & (v.x[v.i + 7] <= 1), i=range(2)), 7),
    (lambda m, v: m.add_constraint(v.x[v.i] | ~v.x[v.i] | v.x[v.i + 2], i=range(2)), 3),
    (lambda m, v: m.add_soft_constraint(v.x[v.i] + 0 * v.x[v.i + 2], 1, True, i=range(2)), 3),
], ids=["redundant comparison", "dropped by and", "tautology", "negative index", "clause", "folded sum",
        "with foralls", "weight 0", "factor 0", "target", "forall index folded", "forall index dropped by and",
        "forall index in a tautology", "forall index of factor 0"])
@pytest.mark.parametrize("road", EVERY_ROAD, ids=EVERY_ROAD)
def test_element_outside_its_variable_is_refused_at_the_add(road, add, value, caplog):
    # Where the comparison folds away, the element never reached the expansion that checks it.
    use_formula_encoder, roads = EVERY_ROAD[road]
    built = Built(use_formula_encoder, x={"a": 3})
    with roads(), pytest.raises(ValueError if use_formula_encoder else IndexError) as raised:
        add(built.model, built.v)
    assert str(raised.value).startswith(
        f"element x({value}) is out of range: 'x' has the sizes 3" if use_formula_encoder else
        f"Index value {value} at position 0 of variable 'x' is outside dimension 'a' of size 3")
    assert logged_errors(caplog) == [str(raised.value)]
    assert built.model._is_wcnf is None
    with roads():
        still_builds(built)


@pytest.mark.parametrize("add, count", [
    (lambda m, v: m.add_constraint(v.z[1] | v.x[0]), 1),
    (lambda m, v: m.add_constraint(v.z[1] + v.x[0] <= 1), 1),
    (lambda m, v: m.add_constraint(v.z[0, 1, 1] + v.x[0] <= 5), 3),
    (lambda m, v: m.add_constraint(Sum(v.z[v.k], k=range(2)) <= 1), 1),
    (lambda m, v: m.add_constraint(v.z[v.i] | v.x[0], i=range(2)), 1),
    (lambda m, v: m.add_soft_constraint(v.z[1]), 1),
    (lambda m, v: m.add_target(v.z[1] + v.x[0]), 1),
], ids=["clause", "comparison", "too many", "combinator", "with foralls", "soft", "target"])
@pytest.mark.parametrize("road", EVERY_ROAD, ids=EVERY_ROAD)
def test_wrong_number_of_indexes_is_refused_at_the_add(road, add, count, caplog):
    use_formula_encoder, roads = EVERY_ROAD[road]
    built = Built(use_formula_encoder, x={"a": 3}, z={"a": 2, "b": 2})
    with roads(), pytest.raises(ValueError if use_formula_encoder else TypeError) as raised:
        add(built.model, built.v)
    assert str(raised.value).startswith(f"variable 'z' takes 2 indexes, got {count}")
    assert logged_errors(caplog) == [str(raised.value)]
    assert built.model._is_wcnf is None
    with roads():
        built.model.add_constraint(Sum(built.v.x[built.v.i], i=range(3)) == 1)
        built.model.build_cnf()
    assert {values[:3] for values in built.models()} == {(True, False, False), (False, True, False),
                                                          (False, False, True)}


@pytest.mark.parametrize("declarations, refused", [
    ([{"a": 2**31}], "variable 'y' has 2147483648 elements; a model holds at most 2147483647 elements in all"
                     " (3 declared before)"),
    ([{"a": 2**30}, {"a": 2**16, "b": 2**14}], "variable 'y' has 1073741824 elements; a model holds at most"
                                               " 2147483647 elements in all (1073741827 declared before)"),
    ([{"a": 2**31 - 4, "b": 1}, {"a": 1}], "variable 'y' has 1 elements; a model holds at most 2147483647"
                                           " elements in all (2147483647 declared before)"),
], ids=["one variable", "two variables", "one element too many"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_declarations_beyond_the_elements_of_a_model_are_refused(road, declarations, refused, caplog):
    # Accepted, the first add failed on building names for them all.
    built = Built(road, x={"a": 3})
    *accepted, last = declarations
    for k, sizes in enumerate(accepted):
        built.model.create_variables("w" * (k + 1), **sizes)
    with pytest.raises(ValueError, match="^" + re.escape(refused) + "$"):
        built.model.create_variables("y", **last)
    assert logged_errors(caplog) == [refused]
    if not accepted:
        still_builds(built)


def nested(step, depth=3000):
    def build(v):
        expression = v.x[0]
        for _ in range(depth):
            expression = step(expression, v)
        return expression
    return build


@pytest.mark.parametrize("add", [
    lambda m, v: m.add_constraint(nested(lambda e, v: ~e)(v)),
    lambda m, v: m.add_constraint(nested(lambda e, v: (e & v.x[1]) | v.x[2])(v)),
    lambda m, v: m.add_constraint(nested(lambda e, v: Implication(v.x[1], e))(v), i=range(2)),
    lambda m, v: m.add_constraint((v.x[0] + v.x[1] <= 1) | nested(lambda e, v: ~e, 301)(v)),
], ids=["negations", "and-or", "implications with foralls", "beside a comparison"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_expression_nesting_too_deeply_for_container_mode_is_refused(road, add, caplog):
    built = Built(road, x={"a": 3})
    if road:  # the engine's reader takes it
        add(built.model, built.v)
        return
    with pytest.raises(ValueError, match="^The expression nests too deeply for container mode") as raised:
        add(built.model, built.v)
    assert "~~e is e" in str(raised.value)
    assert logged_errors(caplog) == [str(raised.value)]
    still_builds(built)


@pytest.mark.parametrize("add, error, message", [
    (lambda m, v: m.add_constraint(Or(v.x[v.k], k="range(i, 2)"), i=range(3)), FormulaError,
     r"^Contradiction was detected in formula .*, line \d+ \(instance i = 2\)$"),
    (lambda m, v: m.add_constraint(Or(v.x[v.k] | v.x[v.j], k="range(i, 2)"), i=range(2)), ValueError,
     r"^Index j of the expression is bound by no forall; the expression uses the indexes i, j$"),
], ids=["contradiction in the last instance", "unbound index"])
def test_constraint_over_a_range_a_forall_bounds_is_refused_whole(add, error, message, caplog):
    # Its instances are added one by one: none of them may stay behind a refusal.
    built = Built(False, x={"a": 3})
    with pytest.raises(error, match=message) as raised:
        add(built.model, built.v)
    assert logged_errors(caplog) == [str(raised.value)]
    still_builds(built)


@pytest.mark.parametrize("add, foralls_note", [
    (lambda m, v: m.add_constraint(Or(v.x[v.k], k="range(j, 3)"), i=range(2)), "; forall 'i' names no index of"
                                                                                " the expression"),
    (lambda m, v: m.add_constraint(Or(v.x[v.k], k="range(j, 3)")), ""),
    (lambda m, v: m.add_soft_constraint(Sum(v.x[v.k], k="range(1, j)"), i=range(2)), "; forall 'i' names no"
                                                                                     " index of the expression"),
], ids=["with foralls", "without foralls", "soft"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_loop_range_over_an_index_no_forall_binds_is_refused(road, add, foralls_note, caplog):
    # Container mode's range() met the index itself: an unlogged TypeError.
    built = Built(road, x={"a": 3})
    message = "Index j of the expression is bound by no forall" + foralls_note + "; the expression uses the indexes j"
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        add(built.model, built.v)
    assert logged_errors(caplog) == [message]
    assert built.model._is_wcnf is None
    still_builds(built)
