"""Whole models through the real engine: the built clauses, solved by python-sat,
have exactly the models that the constraints describe."""
import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder.encode.expressions import (And, AndIt, Equiv, IfThenElse, Implication, Or, OrIt, Sum, SumIt, Xor,
                                              XorIt, pow_expression)
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode.model import Model

from e2e_solving import brute_force_models, clause_models, element_numbers, solve_cnf


def grid_at_most_one_per_row(m):
    x = m.create_variables("x", i=2, j=3)
    i, j = m.get_indexes("ij")
    m.add_constraint(Sum(x[i, j], j=range(3)) <= 1, i=range(2))
    m.add_constraint(Or(x[i, j], i=range(2)), j=range(2))
    return [x], lambda a: (all(sum(a[f"x[{r},{c}]"] for c in range(3)) <= 1 for r in range(2))
                           and all(a[f"x[0,{c}]"] or a[f"x[1,{c}]"] for c in range(2)))


def grid_overfull(m):
    x = m.create_variables("x", i=2, j=3)
    i, j = m.get_indexes("ij")
    m.add_constraint(Sum(x[i, j], j=range(3)) <= 1, i=range(2))
    m.add_constraint(Sum(x[i, j], i=range(2)) >= 1, j=range(3))
    return [x], lambda a: False


def alternating_chain(m):
    x = m.create_variables("x", i=5)
    i = m.get_indexes(["i"])
    m.add_constraint(x[i] ^ x[i + 1], i=range(4))
    return [x], lambda a: all(a[f"x[{k}]"] != a[f"x[{k + 1}]"] for k in range(4))


def connectives(m):
    y = m.create_variables("y", i=4)
    m.add_constraint(Equiv(y[0], y[1] ^ y[2]))
    m.add_constraint(Implication(y[3], ~y[0]))
    m.add_constraint(IfThenElse(y[1], y[2] | y[3], ~y[3]))
    return [y], lambda a: (a["y[0]"] == (a["y[1]"] != a["y[2]"]) and (not a["y[3]"] or not a["y[0]"])
                           and ((a["y[2]"] or a["y[3]"]) if a["y[1]"] else not a["y[3]"]))


def iterated_combinators(m):
    x = m.create_variables("x", i=4)
    m.add_constraint(SumIt([x[0], x[1], x[2], x[3]]) == 2)
    m.add_constraint(OrIt([x[0], x[3]]))
    m.add_constraint(~AndIt([x[1], x[2]]) | XorIt([x[0], x[1], x[2]]))
    return [x], lambda a: (sum(a.values()) == 2 and (a["x[0]"] or a["x[3]"])
                           and (not (a["x[1]"] and a["x[2]"]) or (a["x[0]"] ^ a["x[1]"] ^ a["x[2]"])))


def binary_number(m):
    x = m.create_variables("x", i=4)
    i = m.get_indexes(["i"])
    m.add_constraint(Sum(pow_expression(2, i) * x[i], i=range(4)) == 5)
    return [x], lambda a: sum(2 ** k * a[f"x[{k}]"] for k in range(4)) == 5


def two_variables_and_differences(m):
    x = m.create_variables("x", i=3)
    y = m.create_variables("y", i=2, j=2)
    i, j = m.get_indexes("ij")
    m.add_constraint(x[0] + x[1] - (y[0, 0] + y[1, 1]) >= 1)
    m.add_constraint(And(~y[i, j] | x[j], j=range(2)), i=range(2))
    m.add_constraint(3 * x[2] + 2 * y[0, 1] - y[1, 0] <= 2)
    return [x, y], lambda a: (a["x[0]"] + a["x[1]"] - a["y[0,0]"] - a["y[1,1]"] >= 1
                              and all(not a[f"y[{r},{c}]"] or a[f"x[{c}]"] for r in range(2) for c in range(2))
                              and 3 * a["x[2]"] + 2 * a["y[0,1]"] - a["y[1,0]"] <= 2)


def references_and_comparisons_in_formulas(m):
    x = m.create_variables("x", i=4)
    i = m.get_indexes(["i"])
    m.add_constraint(x[1])
    m.add_constraint(~x[0])
    m.add_constraint((Sum(x[i], i=range(4)) <= 2) | x[3])
    m.add_constraint(Xor(x[i], i=range(1, 4)))
    return [x], lambda a: (a["x[1]"] and not a["x[0]"] and (sum(a.values()) <= 2 or a["x[3]"])
                           and (a["x[1]"] ^ a["x[2]"] ^ a["x[3]"]))


@pytest.mark.parametrize("build_model", [
    grid_at_most_one_per_row, grid_overfull, alternating_chain, connectives, iterated_combinators,
    binary_number, two_variables_and_differences, references_and_comparisons_in_formulas,
])
def test_clauses_have_exactly_the_models_of_the_constraints(build_model):
    cmanager = ce.manager()
    model = Model(cmanager, build_model.__name__)
    variables, predicate = build_model(model)

    assert model.build_cnf() is True

    numbers = element_numbers(*variables)
    storage = cmanager.get_cnf_storage()
    expected = brute_force_models(list(numbers), predicate)
    assert clause_models(storage, numbers) == expected
    solution = solve_cnf(storage)
    assert (solution is not None) == bool(expected)
    if solution is not None:
        named = cmanager.get_witness_interpreter().interpret(solution)
        assert predicate({name: named[name] for name in numbers})
        assert not any(name.startswith(("_kelpa_aux", "_dravo_aux")) for name in named)


COMPARATORS = {"<=": lambda s, k: s <= k, ">=": lambda s, k: s >= k, "==": lambda s, k: s == k}


@settings(max_examples=60, deadline=None)
@given(coefficients=st.lists(st.integers(-3, 3), min_size=1, max_size=4),
       comparator=st.sampled_from(sorted(COMPARATORS)), bound=st.integers(-4, 7), row=st.integers(0, 1))
def test_random_comparisons_repeated_over_a_forall(coefficients, comparator, bound, row):
    cmanager = ce.manager()
    model = Model(cmanager, "random")
    x = model.create_variables("x", i=2, j=len(coefficients))
    i = model.get_indexes(["i"])
    term = SumIt([c * x[i, k] for k, c in enumerate(coefficients)])
    constraint = {"<=": term <= bound, ">=": term >= bound, "==": term == bound}[comparator]
    rows = [row] if row else [0, 1]
    try:
        model.add_constraint(constraint, i=rows)
    except FormulaError as error:  # a contradiction is reported, never built
        assert str(error).startswith("Contradiction was detected in formula")
        assert not brute_force_models(list(x.map), lambda a: holds(a, coefficients, comparator, bound, rows))
        return
    assert model.build_cnf() is True

    expected = brute_force_models(list(x.map), lambda a: holds(a, coefficients, comparator, bound, rows))
    assert clause_models(cmanager.get_cnf_storage(), x.map) == expected


def holds(assignment, coefficients, comparator, bound, rows):
    return all(COMPARATORS[comparator](sum(c * assignment[f"x[{r},{k}]"] for k, c in enumerate(coefficients)), bound)
               for r in rows)
