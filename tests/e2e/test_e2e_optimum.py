"""Targets bounded by a border and weighted soft constraints through the real engine,
against brute-force optima on small random instances."""
import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder.encode.expressions import SumIt
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode.model import Model

from e2e_solving import assignments, solve_cnf, solve_wcnf

N = 5
NAMES = [f"x[{k}]" for k in range(N)]

coefficient_lists = st.lists(st.integers(-3, 4), min_size=N, max_size=N)


def weighted_sum(x, coefficients):
    return SumIt([c * x[k] for k, c in enumerate(coefficients) if c])


def value(assignment, coefficients):
    return sum(c * assignment[name] for name, c in zip(NAMES, coefficients))


def model_with_cover(cmanager):
    """x over N elements with the hard constraints 'x[k] or x[k+1]' for every k."""
    model = Model(cmanager, "optimum")
    x = model.create_variables("x", i=N)
    i = model.get_indexes(["i"])
    model.add_constraint(x[i] | x[i + 1], i=range(N - 1))
    return model, x


def covers(assignment):
    return all(assignment[NAMES[k]] or assignment[NAMES[k + 1]] for k in range(N - 1))


@settings(max_examples=40, deadline=None)
@given(coefficients=coefficient_lists.filter(any), minimization=st.booleans())
def test_repeated_builds_find_the_optimum_border(coefficients, minimization):
    cmanager = ce.manager()
    model, x = model_with_cover(cmanager)
    model.add_target(weighted_sum(x, coefficients))
    values = [value(a, coefficients) for a in assignments(NAMES) if covers(a)]
    best = min(values) if minimization else max(values)
    step = 1 if minimization else -1
    trivial = sum(c for c in coefficients if (c > 0) == minimization)

    # The same model is built again and again with a new border, as when searching for the optimum.
    for border, feasible in [(best + 2 * step, True), (best, True), (best - 3 * step, False), (best - step, False),
                             (trivial, True)]:
        try:
            assert model.build_cnf(border, minimization) is True
        except FormulaError as error:  # a border beyond every value makes the bounded target constant false
            assert str(error) == "Contradiction was detected in target" and not feasible
            continue
        solution = solve_cnf(cmanager.get_cnf_storage())
        assert (solution is not None) is feasible, border
        if solution is not None:
            named = cmanager.get_witness_interpreter().interpret(solution)
            assert covers(named)
            reached = value(named, coefficients)
            assert reached <= border if minimization else reached >= border


soft_constraints = st.lists(
    st.tuples(coefficient_lists.filter(any), st.sampled_from([-2, -1, 1, 2, 3]), st.booleans()),
    min_size=1, max_size=3)


@settings(max_examples=40, deadline=None)
@given(softs=soft_constraints, pair_weight=st.integers(1, 3))
def test_weighted_cnf_optimum_equals_brute_force(softs, pair_weight):
    cmanager = ce.manager()
    model, x = model_with_cover(cmanager)
    i = model._indexes["i"]
    for coefficients, weight, minimization in softs:
        model.add_soft_constraint(weighted_sum(x, coefficients), weight, minimization)
    # One soft formula repeated over a forall: every instance carries the weight.
    model.add_soft_constraint(x[i] + x[i + 1], pair_weight, True, i=range(N - 1))

    def penalty(a):
        total = sum((1 if minimization else -1) * weight * value(a, coefficients)
                    for coefficients, weight, minimization in softs)
        return total + pair_weight * sum(a[NAMES[k]] + a[NAMES[k + 1]] for k in range(N - 1))

    assert model.build_wcnf() is True

    best = min(penalty(a) for a in assignments(NAMES) if covers(a))
    model_found, _ = solve_wcnf(cmanager.get_cnf_storage())
    named = cmanager.get_witness_interpreter().interpret(model_found)
    assert covers(named)
    assert penalty(named) == best


@pytest.mark.parametrize("use_formula_encoder", [False, True])
@pytest.mark.parametrize("weights", [[0], [0, 0]])
def test_weighted_build_without_a_penalty_is_still_weighted_cnf(use_formula_encoder, weights):
    # Soft constraints of weight 0 leave no soft clause; the file must stay WCNF all the same.
    cmanager = ce.manager()
    model = Model(cmanager, "optimum", use_formula_encoder=use_formula_encoder)
    x = model.create_variables("x", i=N)
    i = model.get_indexes(["i"])
    model.add_constraint(x[i] | x[i + 1], i=range(N - 1))
    for weight in weights:
        model.add_soft_constraint(x[0] + x[1], weight, True)

    assert model.build_wcnf() is True

    storage = cmanager.get_cnf_storage()
    assert storage.to_dimacs().splitlines()[1].startswith("p wcnf ")
    model_found, cost = solve_wcnf(storage)
    assert cost == 0
    assert covers(cmanager.get_witness_interpreter().interpret(model_found))
