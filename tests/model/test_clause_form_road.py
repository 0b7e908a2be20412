"""A constraint or target that is one comparison takes the encoder's clauses
to the container as a numbered clause form, and a flat sum's text is read
without compiling it; the formula road with eval of every text, forced on,
must give the same models: the same calls refused with the same errors, the
same clauses in the same order, the same numbering and name mapping, the
same log lines."""
import contextlib
import logging

import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt, _native
from tarvo_encoder.core import formulapb

from engine_lines import info_lines
from fast_roads import WITHOUT_EVALUATION, fast_roads_off

SIZES = {"a": 3, "b": 3}


@contextlib.contextmanager
def road(numbered: bool, expanded_by_evaluation: bool = False):
    """Yields the list of roads taken, True for each numbered clause form."""
    taken = []
    to_bx = formulapb.ClauseFormPB.to_bx

    def recorded(self, manager):
        formula = to_bx(self, manager)
        taken.append(isinstance(formula, _native.NumberedTemplate))
        return formula

    # Every comparison is evaluated: none is read by a road that takes texts without evaluation.
    closed = WITHOUT_EVALUATION + (() if numbered else ("numbered clause form", "flat sum"))
    if expanded_by_evaluation:  # the container's literal texts of the numbered clause form
        closed += ("native expansion",)
    with pytest.MonkeyPatch.context() as patch, fast_roads_off(*closed):
        patch.setattr(formulapb.ClauseFormPB, "to_bx", recorded)
        yield taken


def term(x, i, planned):
    """sum of w * x[cell]; a cell with row None takes the forall index i."""
    parts = [w * x[i if row is None else row, column] for w, row, column in planned["terms"]]
    if planned["chained"]:
        total = parts[0]
        for part in parts[1:]:
            total = total + part
        return total
    return SumIt(parts)


def comparison(x, i, planned):
    total, bound = term(x, i, planned), planned["bound"]
    return {"<=": total <= bound, ">=": total >= bound, "==": total == bound}[planned["comparator"]]


def attempt(call, *arguments, **keywords):
    try:
        call(*arguments, **keywords)
        return "done"
    except Exception as error:  # each road's refusal is compared with the other's
        return type(error).__name__, str(error)


def build(plan):
    m = Model(ce.manager(), "roads")
    x = m.create_variables("x", **SIZES)
    i = m.get_indexes(["i"])
    outcomes = []
    for planned in plan["hard"]:
        foralls = {} if planned["rows"] is None else {"i": range(planned["rows"])}
        outcomes.append(attempt(m.add_constraint, comparison(x, i, planned), **foralls))
    if plan["soft"]:
        for planned, weight, minimization in plan["soft"]:
            foralls = {} if planned["rows"] is None else {"i": range(planned["rows"])}
            outcomes.append(attempt(m.add_soft_constraint, term(x, i, planned), weight, minimization, **foralls))
        outcomes.append(attempt(m.build_wcnf))
    elif plan["target"] is not None:
        planned, border, minimization = plan["target"]
        outcomes.append(attempt(m.add_target, term(x, i, planned)))
        # The second build's target takes the place of the first one's.
        outcomes.append(attempt(m.build_cnf, border, minimization))
        outcomes.append(attempt(m.build_cnf, border - 1, minimization))
    else:
        outcomes.append(attempt(m.build_cnf))
    storage = m.get_cnf_storage()
    clauses = None if storage is None else (storage.hard_clauses(), storage.soft_clauses(), storage.variable_count,
                                            storage.clause_count, storage.weight_limit)
    container = m._formula_container
    mapping = None if container is None else list(container.mapping.items())
    return outcomes, clauses, mapping


def built(plan, **road_taken):
    with road(**road_taken) as taken, info_lines() as lines:
        return (build(plan), lines), taken


def assert_same_models(plan, expanded_by_evaluation=False):
    numbered, numbered_taken = built(plan, numbered=True, expanded_by_evaluation=expanded_by_evaluation)
    formula, formula_taken = built(plan, numbered=False)
    assert not any(formula_taken)
    assert numbered == formula
    return numbered_taken


def planned_sums(forall: bool):
    rows = st.integers(0, 3) if forall else st.none()
    cell = st.tuples(st.integers(-4, 6).filter(bool), st.none() if forall else st.integers(0, 2), st.integers(0, 2))
    return st.fixed_dictionaries({
        "terms": st.lists(cell, min_size=1, max_size=5),
        "chained": st.booleans(),
        "comparator": st.sampled_from(["<=", ">=", "=="]),
        "bound": st.integers(-3, 12),
        "rows": rows,
    })


any_planned_sum = st.booleans().flatmap(planned_sums)
plans = st.fixed_dictionaries({
    "hard": st.lists(any_planned_sum, max_size=4),
    "soft": st.lists(st.tuples(any_planned_sum, st.integers(1, 4), st.booleans()), max_size=2),
    "target": st.none() | st.tuples(planned_sums(False), st.integers(-2, 10), st.booleans()),
})


@settings(max_examples=60, deadline=None)
@given(plans)
def test_numbered_clause_form_builds_the_models_of_the_formula_road(plan):
    assert_same_models(plan)


def planned_sum(terms, comparator, bound, rows=None, chained=False):
    return {"terms": terms, "chained": chained, "comparator": comparator, "bound": bound, "rows": rows}


PB = [(w, 0, k % 3) for k, w in enumerate([3, 5, 7])] + [(w, 1, k) for k, w in enumerate([2, 9, 4])]
PLANS = {
    "pb constraints and a target": {
        "hard": [planned_sum(PB, "<=", 14), planned_sum(PB, ">=", 6, chained=True), planned_sum(PB, "==", 12)],
        "soft": [], "target": (planned_sum([(1, 2, 0), (2, 2, 1), (4, 2, 2)], "<=", 0), 4, True)},
    "forall rows with units, then soft constraints": {
        "hard": [planned_sum([(1, None, 0), (1, None, 1), (1, None, 2)], "==", 1, rows=3),
                 planned_sum([(3, None, 0), (-2, None, 1)], ">=", 1, rows=2)],
        "soft": [(planned_sum([(2, None, 2), (-1, None, 0)], "<=", 0, rows=3), 3, False)], "target": None},
    "a contradiction, a redundancy and an unbound index between good constraints": {
        "hard": [planned_sum(PB, "<=", 9), planned_sum(PB, "<=", -1), planned_sum(PB, ">=", -5), planned_sum([(1, None, 0)], "<=", 0),
                 planned_sum(PB, ">=", 10)],
        "soft": [], "target": None},
}


@pytest.mark.parametrize("expanded_by_evaluation", [False, True])
@pytest.mark.parametrize("plan", PLANS.values(), ids=PLANS.keys())
def test_numbered_clause_form_is_taken_and_builds_the_same_model(plan, expanded_by_evaluation):
    assert any(assert_same_models(plan, expanded_by_evaluation))


def test_debug_lines_keep_the_formula_road(caplog):
    plan = PLANS["pb constraints and a target"]
    with caplog.at_level(logging.DEBUG, logger="velmont.corvane_engine"), road(numbered=True) as taken:
        build(plan)
    assert taken and not any(taken)
    assert any(r.getMessage().startswith("Bx formula from FormulaPB: And(") for r in caplog.records)
