"""The expansion kernel at its Python boundary: any number of foralls, numbers
checked against the storage's range before anything is stored, and a long
expansion that a signal handler can stop, leaving the storage as it was."""
import random
import signal

import numpy as np
import pytest

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx
from tarvo_encoder import _native

from fast_roads import WITHOUT_EVALUATION, fast_roads_off, roads_taken

INT64_MAX = 2**63 - 1


def literal(base, per_instance=0, coefficients=(), negated=False):
    return (negated, base, per_instance, list(coefficients))


def storage_with_one_clause():
    storage = ce.wcnf_storage()
    storage.add_hard_clause([1, -2])
    return storage


def test_many_foralls_walk_without_recursion():
    storage = ce.wcnf_storage()
    clauses = [([literal(5, 0, [1] * 100_000)], 0)]
    assert _native.expand_template(storage, clauses, [[1]] * 100_000, 0, 0, []) == {}
    assert storage.hard_clauses() == [[100_005]]
    assert _native.expand_template(ce.wcnf_storage(), [], [[1]] * 100_000, 0, 0, []) == {}


REFUSED = {
    "negated INT64_MIN": ([([literal(-(2**63), negated=True)], 0)], [], 0, []),
    "zero literal": ([([literal(0)], 0)], [], 0, []),
    "a later instance past INT64_MAX": ([([literal(INT64_MAX - 1, 1, [0])], 0)], [[0, 1, 2]], 0, []),
    "a forall value taking a literal below 1": ([([literal(3, 0, [1])], 0)], [[0, 1, -3]], 0, []),
    "coefficients whose products overflow": ([([literal(1, 0, [2**62, 2**62])], 0)], [[0, 2**62], [0, 2**62]], 0, []),
    "aux numbers past INT64_MAX": ([([literal(1, 0, [0])], 0)], [range(3)], 2**62, [("p", 0, 2**62)]),
    "aux number below 1": ([([literal(1, 0, [0])], 0)], [[0]], 1, [("p", 0, -5)]),
}


@pytest.mark.parametrize("clauses, foralls, block_size, aux", REFUSED.values(), ids=REFUSED.keys())
def test_numbers_outside_the_storage_range_are_refused_before_anything_is_stored(clauses, foralls, block_size, aux):
    storage = storage_with_one_clause()
    with pytest.raises(OverflowError):
        _native.expand_template(storage, clauses, [list(v) for v in foralls], 0, block_size, aux)
    assert storage.to_dimacs() == storage_with_one_clause().to_dimacs()


@pytest.mark.parametrize(
    "clauses, block_size, aux",
    [([([literal(1, 0, [0])], -1)], 0, []), ([([literal(1, 0, [0])], 0)], -1, []), ([([literal(1, 0, [0])], 0)], 1, [("p", -1, 3)])],
    ids=["negative weight", "negative block size", "negative aux index"],
)
def test_negative_weights_blocks_and_aux_indexes_are_refused(clauses, block_size, aux):
    storage = storage_with_one_clause()
    with pytest.raises(ValueError):
        _native.expand_template(storage, clauses, [[0, 1]], 0, block_size, aux)
    assert storage.to_dimacs() == storage_with_one_clause().to_dimacs()


@pytest.mark.parametrize("clauses, error, message", [
    ([([(1, 1, 0, [])], 0)], TypeError, "^negated must be True or False, got int$"),
    ([([(np.True_, 1, 0, [])], 0)], TypeError, "^negated must be True or False, got numpy.bool$"),
    ([([(False, 1, 0)], 0)], ValueError, "^a literal record must have 4 fields, got 3$"),
    ([[(False, 1, 0, [])]], ValueError, "^a clause record must have 2 fields, got 1$"),
    ({"clause": 1}, TypeError, "^clauses must be a list or tuple of clause records, got dict$"),
], ids=["int flag", "numpy flag", "short literal", "short clause", "dict of clauses"])
def test_template_records_are_read_field_by_field(clauses, error, message):
    storage = storage_with_one_clause()
    with pytest.raises(error, match=message):
        _native.expand_template(storage, clauses, [[0]], 0, 0, [])
    assert storage.to_dimacs() == storage_with_one_clause().to_dimacs()


class Interrupted(Exception):
    pass


def test_a_signal_handler_stops_a_long_expansion_and_the_storage_stays_as_it_was():
    def interrupt(signum, frame):
        raise Interrupted

    storage = storage_with_one_clause()
    # Ten million clauses: far longer than the timer's first tick.
    clauses = [([literal(1, 0, [1, 1000]), literal(3, 0, [2, 0])], 0)]
    previous = signal.signal(signal.SIGALRM, interrupt)
    signal.setitimer(signal.ITIMER_REAL, 0.02, 0.02)
    try:
        with pytest.raises(Interrupted):
            _native.expand_template(storage, clauses, [list(range(10_000)), list(range(1000))], 0, 0, [])
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert storage.to_dimacs() == storage_with_one_clause().to_dimacs()


@pytest.mark.parametrize("shape", ["clauses", "nested"])
def test_support_names_read_what_the_support_holds(shape):
    context = bx.Context()
    names = ["x(i + 1,j)", "_dravo_aux_0", "a_dravo_aux_1x", "_kelpa_aux_3", "y(0)", "plain"]
    v = [context.get_var(name) for name in names]
    if shape == "clauses":  # read clause by clause, a variable met twice counted once
        formula = bx.and_([bx.or_s([v[0], ~v[1]]), bx.or_s(v[2:]), ~v[0], bx.or_s([v[1], v[4]])])
    else:
        formula = bx.ite_s(v[0], bx.xor_s([v[1], v[2]]), bx.and_s([v[3], ~v[4], bx.or_s([v[5], v[0]])]))
    marked = sum(1 for variable in formula.support() if "_dravo_aux" in str(variable))
    referenced = sorted(str(variable) for variable in formula.support() if "(" in str(variable))
    count, found = _native.support_names(formula, "_dravo_aux")
    assert (count, sorted(found)) == (marked, referenced) == (2, ["x(i + 1,j)", "y(0)"])


def random_clause_form(rng, variables):
    """An And of clauses and unit literals, a single clause or a literal; with
    clause nodes and literals met twice and variables in units and clauses."""
    conjuncts = []
    for _ in range(rng.randint(1, 7)):
        if conjuncts and rng.random() < 0.15:
            conjuncts.append(rng.choice(conjuncts))
        elif rng.random() < 0.3:
            v = rng.choice(variables)
            conjuncts.append(rng.choice([v, ~v]))
        else:
            clause = bx.or_s([rng.choice([v, ~v]) for v in rng.sample(variables, rng.randint(2, 4))])
            if not isinstance(clause, (bx.One, bx.Zero)):
                conjuncts.append(clause)
    if not conjuncts:
        return variables[0]
    return conjuncts[0] if len(conjuncts) == 1 and rng.random() < 0.5 else bx.and_(conjuncts)


def test_a_clause_form_is_ordered_as_the_transformation_orders_it():
    rng = random.Random(11)
    context = bx.Context()
    variables = [context.get_var(f"x({k})") for k in range(6)]
    for _ in range(4000):
        formula = random_clause_form(rng, variables)
        found = _native.transformed_clause_form(formula)
        assert found is not None
        assert str(found) == str(formula.tseytin(context, "_dravo_aux")), str(formula)
    others = [bx.and_([]), bx.and_([variables[0], bx.xor_s(variables[:2])]), bx.one(), bx.ite_s(*variables[:3]),
              bx.and_([bx.or_s(variables[:2]), bx.and_(variables[2:4])]), bx.or_s([variables[0], bx.and_s(variables[1:3])])]
    assert [_native.transformed_clause_form(formula) for formula in others] == [None] * len(others)


def test_models_do_not_depend_on_skipping_the_transformation(monkeypatch):
    from tarvo_encoder import Model, Sum, SumIt

    skipped = []
    transformed_clause_form = _native.transformed_clause_form
    monkeypatch.setattr(_native, "transformed_clause_form",
                        lambda formula: skipped.append(formula) or transformed_clause_form(formula))

    def built():
        cmanager = ce.manager()
        model = Model(cmanager, "plain")
        x = model.create_variables("x", k=8)
        i = model.get_indexes("i")
        model.add_constraint(SumIt([3 * x[0], 5 * x[1], x[2], 2 * x[3]]) <= 6)
        model.add_constraint(x[i] + x[i + 1] + 2 * x[i + 2] == 2, i=range(5))
        model.add_constraint(Sum(x[i], i=range(8)) >= 3)
        model.add_constraint(x[0] | ~x[5] | x[6])
        model.add_constraint(x[7])
        model.build_cnf()
        return cmanager.get_cnf_storage().to_dimacs(), sorted(model._formula_container.mapping.items())

    # The roads that read texts without evaluation would take most of these.
    with fast_roads_off(*WITHOUT_EVALUATION), roads_taken() as taken:
        skipping = built()
        assert taken == ["evaluation"] * 5 and skipped
        reached = len(skipped)
        with fast_roads_off("transformed clause form"):
            assert built() == skipping
        assert len(skipped) == reached
