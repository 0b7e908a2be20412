"""Every text form the expression language writes, read by the formula
encoder through the model's formula-encoder mode: hard constraints have the
same models on the declared elements as in container mode, soft constraints
cost the same on every assignment, and a target's witness loop ends at the
optimum. A form that container mode cannot evaluate is checked against an
equivalent form written the way container mode reads."""

import itertools
import types

import pytest
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from fenc_truth import satisfiable_under
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode import (And, AndIt, Equiv, IfThenElse, Implication, One, Or, OrIt, Sum, SumIt, Xor,
                                  XorIt, Zero, pow_expression)
from tarvo_encoder.encode.model import Model
from tarvo_encoder.encode.expressions import Expression

ELEMENTS = [f"x[{a}]" for a in range(3)] + [f"y[{a},{b}]" for a in range(2) for b in range(2)] + ["z[]"]


def declared_model(use_formula_encoder):
    m = Model(ce.manager(), "forms", use_formula_encoder=use_formula_encoder)
    v = types.SimpleNamespace(x=m.create_variables("x", a=3), y=m.create_variables("y", a=2, b=2),
                              z=m.create_variables("z"))
    v.i, v.j, v.k = m.get_indexes(["i", "j", "k"])
    return m, v


pytestmark = pytest.mark.usefixtures("quiet_engine_log")


def assignment_literals(numbers):
    return [[n if bit else -n for n, bit in zip(numbers, bits)]
            for bits in itertools.product([False, True], repeat=len(numbers))]


def element_numbers(m):
    mapping = m.get_var_mapping()
    return [mapping.number_of(name) for name in ELEMENTS]


def hard_models(form, foralls, use_formula_encoder):
    """For every assignment of the declared elements: whether the built CNF allows it."""
    m, v = declared_model(use_formula_encoder)
    try:
        m.add_constraint(form(v), **foralls(v))
    except FormulaError:  # container mode: the constraint can never hold
        return [False] * (1 << len(ELEMENTS))
    m.build_cnf()
    return satisfiable_under(m.get_cnf_storage().hard_clauses(), assignment_literals(element_numbers(m)))


def no_foralls(v):
    return {}


def over_i(values):
    return lambda v: {"i": values}


def over_i_j(i_values, j_values):
    return lambda v: {"i": i_values, "j": j_values}


# (form, equivalent form for container mode or None, foralls)
HARD_FORMS = [
    # Element references and index arithmetic, each a whole constraint.
    pytest.param(lambda v: v.x[v.i], None, over_i(range(3)), id="x(i)"),
    pytest.param(lambda v: v.x[v.i + 1], None, over_i(range(2)), id="x(i + 1)"),
    pytest.param(lambda v: v.x[v.i - 1], None, over_i([1, 2]), id="x(i - 1)"),
    pytest.param(lambda v: v.x[2 * v.i], None, over_i(range(2)), id="x(2 * i)"),
    pytest.param(lambda v: v.x[(v.i + 1) + 1], None, over_i([0]), id="x(i + 1 + 1)"),
    pytest.param(lambda v: v.x[(v.i + 1) - 1], None, over_i([2]), id="x(i + 1 - 1)"),
    pytest.param(lambda v: v.x[2 * (v.i + 1)], None, over_i([0]), id="x(2 * (i + 1))"),
    pytest.param(lambda v: v.x[v.i + -1] & v.x[v.i - -1], None, over_i([1]), id="x(i + -1), x(i - -1)"),
    pytest.param(lambda v: v.x[v.i + v.j], None, over_i_j([0, 1], [1]), id="x(i + j)"),
    pytest.param(lambda v: v.x[v.i - (v.j + 1)], None, over_i_j([2], [0, 1]), id="x(i - (j + 1))"),
    pytest.param(lambda v: v.y[2 * v.i, v.j - 1], None, over_i_j([0], [1, 2]), id="y(2 * i,j - 1)"),
    pytest.param(lambda v: v.y["ij"], None, over_i_j([1], [0]), id="y(i,j) from a str"),
    pytest.param(lambda v: v.y[range(2)] & v.y[[1, 0]], None, no_foralls, id="y(0,1) from a range and a list"),
    pytest.param(lambda v: v.z[()] | v.x[True], None, no_foralls, id="z(), x(True)"),
    # Operators.
    pytest.param(lambda v: v.x[0] + v.x[1] <= 1, None, no_foralls, id="LEQ"),
    pytest.param(lambda v: v.x[0] - (v.x[1] + v.x[2]) >= 0, None, no_foralls, id="difference GEQ"),
    pytest.param(lambda v: v.x[0] - (v.x[1] - v.x[2]) == 1, None, no_foralls, id="nested difference BOTH"),
    pytest.param(lambda v: 2 * v.x[0] + v.x[1] * 3 - v.x[2] >= 2, None, no_foralls, id="factor on either side"),
    pytest.param(lambda v: -2 * v.x[0] + v.x[1] * True >= -1, None, no_foralls, id="negative and True factors"),
    pytest.param(lambda v: (1 <= v.x[0]) & (2 >= v.x[1] + v.x[2]) & (v.y[0, 0] == 0), None, no_foralls,
                 id="reflected comparisons"),
    pytest.param(lambda v: v.x[0] + v.x[1] <= True, None, no_foralls, id="bound True"),
    pytest.param(lambda v: (v.x[0] <= 0) | v.x[1] ^ v.x[2], None, no_foralls, id="comparison in or, xor"),
    pytest.param(lambda v: ~v.x[0] & ~~v.x[1], None, no_foralls, id="negations"),
    pytest.param(lambda v: (One & v.x[0]) | (Zero ^ v.x[1]), None, no_foralls, id="constants as operands"),
    pytest.param(lambda v: One, None, no_foralls, id="One"),
    pytest.param(lambda v: Zero, None, no_foralls, id="Zero"),
    # Powers: the coefficient text evaluates with Python's precedence.
    pytest.param(lambda v: pow_expression(-2, 2) * v.x[0] >= 4, None, no_foralls, id="(-2) ** 2"),
    pytest.param(lambda v: pow_expression(-2, 3) * v.x[0] + 8 * v.x[1] >= 0, None, no_foralls, id="(-2) ** 3"),
    pytest.param(lambda v: Sum(pow_expression(2, 2 * v.i) * v.x[v.i], i=range(3)) == 5, None, no_foralls,
                 id="2 ** (2 * i)"),
    pytest.param(lambda v: Sum(pow_expression(2, v.i + 1) * v.x[v.i], i=range(2)) == 2, None, no_foralls,
                 id="2 ** (i + 1)"),
    pytest.param(lambda v: Sum(pow_expression(v.i, 2) * v.x[v.i], i=range(3)) == 5, None, no_foralls,
                 id="i ** 2"),
    pytest.param(lambda v: pow_expression(2, pow_expression(2, 1)) * v.x[0] - 3 * v.x[1] >= 2, None, no_foralls,
                 id="2 ** (2 ** 1)"),
    pytest.param(lambda v: pow_expression(2, 1) * pow_expression(3, 1) * v.x[0] - 5 * v.x[1] >= 1, None,
                 no_foralls, id="2 ** 1 * (3 ** 1) *"),
    # An expression times a coefficient expression: the term stands on the left, which container mode cannot
    # evaluate; the encoder reads it as the product it writes.
    pytest.param(lambda v: Sum(v.x[v.i] * pow_expression(2, v.i), i=range(3)) == 5,
                 lambda v: Sum(pow_expression(2, v.i) * v.x[v.i], i=range(3)) == 5, no_foralls,
                 id="x(i) * (2 ** i)"),
    pytest.param(lambda v: v.x[0] * pow_expression(3, 1) - v.x[1] >= 2, lambda v: 3 * v.x[0] - v.x[1] >= 2,
                 no_foralls, id="x(0) * (3 ** 1) - sum"),
    pytest.param(lambda v: Sum(v.y[v.i, v.j], j=range(2)) * pow_expression(2, 1) <= 2,
                 lambda v: 2 * Sum(v.y[v.i, v.j], j=range(2)) <= 2, over_i(range(2)), id="Sum(...) * (2 ** 1)"),
    pytest.param(lambda v: (2 * v.x[0]) * pow_expression(3, 1) - 5 * v.x[1] >= 1,
                 lambda v: 6 * v.x[0] - 5 * v.x[1] >= 1, no_foralls, id="2 * (sum) * (3 ** 1)"),
    # Indexed combinators: clause order, value texts, nesting, foralls around them.
    pytest.param(lambda v: Sum(v.x[v.i], i=range(3)) <= 1, None, no_foralls, id="Sum over a range"),
    pytest.param(lambda v: Sum(v.y[v.i, v.j], j=range(2), i=range(2)) == 2, None, no_foralls,
                 id="Sum, two clauses"),
    pytest.param(lambda v: And(v.y[v.i, v.j], j=[0, 1]), None, over_i(range(2)), id="And over a list, forall"),
    pytest.param(lambda v: Or(v.x[v.i] & v.x[v.i + 1], i=range(2)), None, no_foralls, id="Or of pairs"),
    pytest.param(lambda v: Xor(v.y[0, 1]) & (Sum(v.y[1, 1]) >= 1), None, no_foralls, id="no index clause"),
    pytest.param(lambda v: Sum(Sum(v.y[v.i, v.j], j=range(2)), i=range(2)) == 3, None, no_foralls,
                 id="Sum of Sum"),
    pytest.param(lambda v: Sum(2 * v.x[v.i], i=range(3)) >= 4, None, no_foralls, id="Sum of products"),
    pytest.param(lambda v: Sum(v.y[v.i, v.j], i=range(2), j="range(i, 2)") == 2, None, no_foralls,
                 id="value text from a str"),
    pytest.param(lambda v: Or(v.x[v.i], i=(2,)) & And(v.x[v.i], i=(0, 1)), None, no_foralls, id="tuples"),
    pytest.param(lambda v: Or(v.x[v.i], i={0, 2}) & (Sum(v.y[v.i, 0], i=set()) <= 0), None, no_foralls,
                 id="sets"),
    pytest.param(lambda v: Or(v.x[v.i], i=[True, False]), None, no_foralls, id="bool values"),
    pytest.param(lambda v: Sum(v.x[v.i], i=range(2, -1, -2)) == 1, None, no_foralls, id="range with a step"),
    pytest.param(lambda v: And(v.x[v.i], i=range(0)) & Xor(v.x[v.i], i=[]) | v.x[0], None, no_foralls,
                 id="empty ranges"),
    pytest.param(lambda v: Sum(v.x[v.i], i=()) >= 1, None, no_foralls, id="empty Sum contradiction"),
    pytest.param(lambda v: Sum(v.x[v.i], y=range(2)) >= 2, None, over_i(range(2)),
                 id="clause named like an unused variable"),
    pytest.param(lambda v: Sum(v.x[v.i], i=range(2)) >= 1, None, over_i(range(3)), id="clause hides a forall"),
    pytest.param(lambda v: Or(v.x[v.i + v.j], j=range(2)), None, over_i(range(2)), id="forall inside a clause"),
    pytest.param(lambda v: And(Or(v.y[v.i, v.j] & ~v.x[v.j], j=range(2)) | (Sum(v.y[v.i, v.k], k=range(2)) == 1),
                             i=range(2)), None, no_foralls, id="nested combinators"),
    pytest.param(lambda v: Xor(And(v.y[v.i, v.j], j=range(2)), i=range(2)), None, no_foralls, id="Xor of And"),
    # Iterated combinators and connectives.
    pytest.param(lambda v: SumIt([v.x[0], 2 * v.x[1], Sum(v.x[v.i], i=range(3))]) == 3, None, no_foralls,
                 id="SumIt"),
    pytest.param(lambda v: SumIt([]) >= 0, None, no_foralls, id="empty SumIt"),
    pytest.param(lambda v: AndIt([v.x[0], ~v.x[1]]) | OrIt([v.x[2]]) | XorIt([v.y[0, 0], v.y[0, 1], v.y[1, 0]]),
                 None, no_foralls, id="AndIt, OrIt, XorIt"),
    pytest.param(lambda v: AndIt([]) & XorIt([]) | OrIt([]) | v.z[()], None, no_foralls, id="empty iterated"),
    pytest.param(lambda v: Equiv() & Equiv(v.x[0]) & Equiv(v.x[1], v.x[2], v.y[0, 0]), None, no_foralls,
                 id="Equiv"),
    pytest.param(lambda v: Implication(v.x[0], v.x[1] | v.x[2]) & IfThenElse(v.y[0, 0], v.y[0, 1], ~v.y[1, 0]),
                 None, no_foralls, id="Implication, IfThenElse"),
    pytest.param(lambda v: IfThenElse(Sum(v.y[v.i, v.j], j=range(2)) >= 1,
                                      Implication(v.x[v.i], AndIt([OrIt([v.x[v.i + 1], v.z[()]]), ~v.y[1, v.i]])),
                                      Equiv(v.x[0], Xor(v.x[v.j], j=[0, 2]))), None, over_i(range(2)),
                 id="connectives nested with foralls"),
]


@pytest.mark.parametrize("form, equivalent, foralls", HARD_FORMS)
def test_hard_form_has_the_models_of_container_mode(form, equivalent, foralls):
    assert hard_models(form, foralls, True) == hard_models(equivalent or form, foralls, False)


# (pseudo-Boolean form, equivalent form for container mode or None, foralls)
SUM_FORMS = [
    pytest.param(lambda v: v.x[0], None, no_foralls, id="x(0)"),
    pytest.param(lambda v: v.y[v.i, 1], None, over_i(range(2)), id="y(i,1) over a forall"),
    pytest.param(lambda v: 2 * v.x[0] - v.x[1] + v.z[()], None, no_foralls, id="weighted terms"),
    pytest.param(lambda v: v.x[0] - (v.x[1] - v.x[2]), None, no_foralls, id="nested difference"),
    pytest.param(lambda v: Sum(pow_expression(2, v.i) * v.x[v.i], i=range(3)), None, no_foralls, id="2 ** i"),
    pytest.param(lambda v: pow_expression(-2, 3) * v.x[0] + v.y[0, 0], None, no_foralls, id="(-2) ** 3"),
    pytest.param(lambda v: Sum(v.x[v.i] * pow_expression(2, v.i), i=range(3)),
                 lambda v: Sum(pow_expression(2, v.i) * v.x[v.i], i=range(3)), no_foralls, id="x(i) * (2 ** i)"),
    pytest.param(lambda v: v.x[0] * pow_expression(3, 1), lambda v: 3 * v.x[0], no_foralls, id="x(0) * (3 ** 1)"),
    pytest.param(lambda v: Sum(v.y[v.i, v.j], j=range(2)) * pow_expression(2, 1),
                 lambda v: 2 * Sum(v.y[v.i, v.j], j=range(2)), over_i(range(2)), id="Sum(...) * (2 ** 1)"),
    pytest.param(lambda v: SumIt([v.x[0], -3 * v.y[1, 1], Sum(v.y[v.i, 0], i=range(2))]), None, no_foralls,
                 id="SumIt"),
    pytest.param(lambda v: Sum(Sum(v.y[v.i, v.j], j="range(i, 2)"), i=range(2)), None, no_foralls,
                 id="Sum of Sum, value text from a str"),
    pytest.param(lambda v: Sum(v.x[v.i + v.j], j={0, 1}), None, over_i(range(2)), id="set values, forall"),
    pytest.param(lambda v: SumIt([]), None, no_foralls, id="empty SumIt"),
]


def soft_costs(storage, numbers):
    """The weight of the soft clauses that each assignment of the elements violates."""
    soft = storage.soft_clauses()
    assert all(abs(lit) in numbers for clause, _ in soft for lit in clause)
    costs = []
    for lits in assignment_literals(numbers):
        true = set(lits)
        costs.append(sum(weight for clause, weight in soft if not true.intersection(clause)))
    return costs


def weighted_costs(form, foralls, weight, minimization, use_formula_encoder):
    m, v = declared_model(use_formula_encoder)
    m.add_soft_constraint(form(v), weight=weight, minimization=minimization, **foralls(v))
    m.build_wcnf()
    storage = m.get_cnf_storage()
    assert storage.hard_clauses() == []
    return soft_costs(storage, element_numbers(m))


@pytest.mark.parametrize("weight, minimization", [(1, True), (-2, False), (3, False)])
@pytest.mark.parametrize("form, equivalent, foralls", SUM_FORMS)
def test_soft_form_costs_what_it_costs_in_container_mode(form, equivalent, foralls, weight, minimization):
    assert (weighted_costs(form, foralls, weight, minimization, True)
            == weighted_costs(equivalent or form, foralls, weight, minimization, False))


def at_least_two(lits, numbers):
    """The hard constraint of the target test, evaluated directly: two of x and y are true."""
    return sum(1 for lit in lits if lit > 0 and lit in numbers[:7]) >= 2


@pytest.mark.parametrize("form, equivalent, foralls", [p for p in SUM_FORMS if p.values[2] is no_foralls])
def test_target_form_witness_loop_through_the_model_ends_at_the_optimum(form, equivalent, foralls):
    # Its value on each assignment, up to a constant, is the container's cost of the same sum as a soft constraint.
    value = weighted_costs(equivalent or form, no_foralls, 1, True, False)
    m, v = declared_model(True)
    m.add_constraint(Sum(v.x[v.i], i=range(3)) + Sum(v.y[v.i, v.j], i=range(2), j=range(2)) >= 2)
    m.add_target(form(v))
    witnesses = []
    while len(witnesses) <= 1 << len(ELEMENTS):
        m.build_cnf()
        with Solver(name="minisat22", bootstrap_with=m.get_cnf_storage().hard_clauses()) as solver:
            if not solver.solve():
                break
            witnesses.append(solver.get_model())
        m.set_witness(witnesses[-1])
    numbers = element_numbers(m)
    cases = assignment_literals(numbers)
    index = {tuple(lits): k for k, lits in enumerate(cases)}
    # A solver's model lists variable n as its literal at position n - 1.
    found = [value[index[tuple(w[n - 1] for n in numbers)]] for w in witnesses]
    assert found and all(later < earlier for earlier, later in zip(found, found[1:]))
    assert found[-1] == min(value[k] for k, lits in enumerate(cases) if at_least_two(lits, numbers))


@pytest.mark.parametrize("form, reason", [
    (lambda v: v.x[0] * v.x[1] <= 1, "'*' multiplies a pseudo-Boolean sum by an integer"),
    # Written out: the operators refuse a comparison inside Sum before any text reaches the encoder.
    (lambda v: Expression("FormulaPB(Sum(*[FormulaPB(x(i).to_pb(), pb.Comparator_type.LEQ, 0).to_bx(manager)"
                          " for i in range(0, 2)]), pb.Comparator_type.GEQ, 1).to_bx(manager)", False),
     "Sum takes one starred list of pseudo-Boolean sums"),
    (lambda v: (v.x[0] + v.x[1]) & v.x[2], "list items of different kinds"),
    (lambda v: Expression(str(v.x[0] + v.x[1]), False), "a constraint must be a Boolean formula"),
])
def test_form_without_a_meaning_is_refused_where_reading_stopped(form, reason):
    m, v = declared_model(True)
    with pytest.raises(ValueError, match=reason) as info:
        m.add_constraint(form(v))
    text, message = str(form(v)), str(info.value)
    position = int(message.split("at position ", 1)[1].split(":", 1)[0])
    assert text[max(0, position - 20):position] + " <here> " + text[position:position + 20] in message
    m.add_constraint(v.x[0])
    m.build_cnf()
    assert m.get_cnf_storage().hard_clauses() == [[1]]
