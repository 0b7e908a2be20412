"""Small comparisons encoded without evaluation against the evaluation road:
random models of comparisons (every comparator, weights negative and zero,
bounds that make them always true, never true or tight, repeated elements,
elements of one, two and no dimensions, sums listed or chained), mixed with
clauses, comparisons under foralls, soft constraints and a target, give the
same clauses in the same order, the same mapping, the same pending records,
the same log lines (warnings with the caller's line) and the same errors
whether the encoder's road is on or forced off."""
import itertools

import pytest
from hypothesis import given, settings, strategies as st
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt, _native
from tarvo_encoder.core.aux_names import KELPA_AUX
from tarvo_encoder.core.manager import Manager

from container_steps import Variables, run_without_road

SIZES = {"x": {"a": 3, "b": 3}, "y": {"c": 5}, "z": {}}


@st.composite
def elements(draw):
    name = draw(st.sampled_from(["x", "x", "y", "y", "z"]))
    return name, tuple(draw(st.integers(0, size - 1)) for size in SIZES[name].values())


@st.composite
def comparisons(draw, max_terms=6):
    """(terms, listed, comparator, bound): terms (element, coefficient or None
    for a bare element, subtracted); now and then an element comes twice."""
    terms = draw(st.lists(st.tuples(elements(), st.sampled_from([None, None, 1, 2, -1, -3, 0, 5]), st.booleans()),
                          min_size=1, max_size=max_terms))
    if draw(st.integers(0, 4)) == 0:
        terms.insert(draw(st.integers(0, len(terms))), draw(st.sampled_from(terms)))
    reach = sum(abs(1 if coefficient is None else coefficient) for _, coefficient, _ in terms)
    bound = draw(st.integers(-reach - 1, reach + 1))
    return terms, draw(st.booleans()), draw(st.sampled_from(["<=", ">=", "=="])), bound


def comparison_expression(v, terms, listed, comparator, bound):
    def term(element, coefficient):
        reference = v[element[0]][element[1]]
        return reference if coefficient is None else coefficient * reference

    if listed:
        total = SumIt([term(element, coefficient) for element, coefficient, _ in terms])
    else:
        total = term(*terms[0][:2])
        for element, coefficient, subtracted in terms[1:]:
            total = total - term(element, coefficient) if subtracted else total + term(element, coefficient)
    return {"<=": total <= bound, ">=": total >= bound, "==": total == bound}[comparator]


OTHER_SHAPES = [
    lambda v: v.x[0, 0] | ~v.y[1],
    lambda v: v.x[0, 0] & ~v.y[1],
    lambda v: SumIt([v.x[v.i, 1], v.y[v.i], v.y[v.i + 1]]) <= 1,  # under a forall below
    lambda v: SumIt([v.x[0, 0], v.x[0, 1], v.x[0, 2], v.x[1, 0], v.x[1, 1], v.x[1, 2], v.x[2, 0], v.x[2, 1],
                     v.y[0], v.y[1], v.y[2], v.y[3], v.y[4]] * 3) <= 2,  # more members than the road takes
    lambda v: (v.x[1, 0] + v.y[2] <= 1) | v.z[()],
]


@st.composite
def operations(draw):
    """Mostly comparisons: a soft constraint or a target refuses every later one."""
    pick = draw(st.integers(0, 11))
    if pick < 6:
        return "comparison", draw(comparisons())
    if pick < 8:  # one shape twice, over other elements the second time
        terms, listed, comparator, bound = draw(comparisons())
        others = draw(st.lists(elements(), min_size=len(terms), max_size=len(terms)))
        again = [(element, coefficient, subtracted) for element, (_, coefficient, subtracted) in zip(others, terms)]
        return "comparisons", [(terms, listed, comparator, bound), (again, listed, comparator, bound)]
    if pick < 10:
        return "other", draw(st.integers(0, len(OTHER_SHAPES) - 1))
    return ("soft", draw(st.integers(1, 3))) if pick == 10 else ("target", draw(st.integers(0, 2)))


def add(model, v, kind, argument):
    if kind == "comparison":
        model.add_constraint(comparison_expression(v, *argument))
    elif kind == "comparisons":
        for comparison in argument:
            model.add_constraint(comparison_expression(v, *comparison))
    elif kind == "other":
        foralls = {"i": range(2)} if argument == 2 else {}
        model.add_constraint(OTHER_SHAPES[argument](v), **foralls)
    elif kind == "soft":
        model.add_soft_constraint(v.x[1, 2] + 2 * v.y[3], weight=argument)
    else:
        model.add_target(v.x[0, 1] + v.y[0] + v.y[argument])


def run(program, road_on: bool):
    return run_without_road("small", SIZES, add, program, None if road_on else "small comparison")


@settings(max_examples=200, deadline=None)
@given(program=st.lists(operations(), min_size=1, max_size=8))
def test_random_models_match_the_evaluation_road(program):
    assert run(program, road_on=True) == run(program, road_on=False)


@pytest.fixture
def model():
    built = Model(ce.manager(), "small")
    built.v = Variables(built, SIZES)
    built.add_constraint(built.v.y[0])  # makes the container
    return built


def add_small(model, text):
    return model._formula_container.add_small_comparison(text, model._manager)


def holds(terms, comparator, bound, value):
    total = sum((1 if coefficient is None else coefficient) * (-1 if subtracted and i else 1) * value[element]
                for i, (element, coefficient, subtracted) in enumerate(terms))
    return {"<=": total <= bound, ">=": total >= bound, "==": total == bound}[comparator]


@settings(max_examples=150, deadline=None)
@given(comparison=comparisons())
def test_the_clauses_hold_exactly_where_the_comparison_holds(comparison):
    terms, listed, comparator, bound = comparison
    if listed:  # SumIt members are never subtracted
        terms = [(element, coefficient, False) for element, coefficient, _ in terms]
    built = Model(ce.manager(), "small")
    v = Variables(built, SIZES)
    built.add_constraint(v.y[0] | v.y[1])  # makes the container
    if not add_small(built, str(comparison_expression(v, terms, listed, comparator, bound))):
        return  # left to the evaluation road
    record = built._formula_container._list_hard_constraint_dump_args[-1]
    assert record.shift_bx_variable == 0
    clauses = record.cnf_stor.hard_clauses()
    distinct = sorted({element for element, _, _ in terms})
    number = {element: v[element[0]].st_shift + sum(i * s for i, s in zip(element[1], v[element[0]].shifts))
              for element in distinct}
    # Any other number is one of the formula's own aux variables.
    aux = {abs(lit) for clause in clauses for lit in clause} - set(number.values())
    assert all(record.init_shift_variable <= n < record.init_shift_variable + record.shift_pb_variable for n in aux)
    with Solver(name="cadical153", bootstrap_with=clauses) as solver:
        for values in itertools.product((False, True), repeat=len(distinct)):
            value = dict(zip(distinct, values))
            assumptions = [number[element] if value[element] else -number[element] for element in distinct]
            assert solver.solve(assumptions=assumptions) == holds(terms, comparator, bound, value)


@pytest.mark.parametrize("write", [
    lambda v: v.x[0, 1] + v.y[2] <= 1,
    lambda v: SumIt([v.x[0, 1], v.y[2], v.y[3]]) <= 1,
    lambda v: v.x[0, 1] + v.y[2] + v.y[3] == 1,
    lambda v: 2 * v.x[0, 1] - 3 * v.y[2] >= -1,
    lambda v: v.x[2, 2] - v.y[1] + 0 * v.y[0] <= 0,
    lambda v: SumIt([v.y[1], v.y[2], v.y[3], v.y[4], v.x[0, 0]]) == 1,
    lambda v: SumIt([v.y[1], v.y[2], v.y[3], v.y[4], v.x[0, 0]]) <= 2,  # aux variables
    lambda v: 3 * v.x[2, 2] + 2 * v.y[3] - 2 * v.y[4] >= 1,  # aux variables
])
def test_the_operators_small_comparisons_take_the_road(model, write):
    assert add_small(model, str(write(model.v)))


@pytest.mark.parametrize("text", [
    "FormulaPB(y(0).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 2).to_bx(manager)",  # always true
    "FormulaPB(y(0).to_pb() + y(1).to_pb(), pb.Comparator_type.GEQ, 3).to_bx(manager)",  # never true
    "FormulaPB(y(0).to_pb() - (y(0).to_pb()), pb.Comparator_type.LEQ, 0).to_bx(manager)",  # repeated
    "FormulaPB(x(1,00).to_pb() + x(1,0).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",  # repeated too
    "FormulaPB(y(5).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",  # past its dimension
    "FormulaPB(x(1).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",  # too few indexes
    "FormulaPB(w(0).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",  # not declared
    "FormulaPB(dummy_var(0).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",  # number 0
    "FormulaPB(y(0).to_pb() + y(1).to_pb(), pb.Comparator_type.LT, 1).to_bx(manager)",  # no such comparator
    "FormulaPB(y(0).to_pb() - (y(1).to_pb() + y(2).to_pb()), pb.Comparator_type.LEQ, 0).to_bx(manager)",
    "FormulaPB(2 * (y(0).to_pb() + y(1).to_pb()), pb.Comparator_type.LEQ, 1).to_bx(manager)",
    "FormulaPB(y(0).to_pb()+y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",  # not as written
    "FormulaPB(y(0).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager) ",
    "FormulaPB(2 * (Sum(*[y(0).to_pb(), y(1).to_pb()])), None, None).to_maxsat(manager, False)",  # objective
    "FormulaPB(y(0).to_pb() + y(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)\ud800",  # no UTF-8 form
    "bx.or_s([y(0).to_bx(), y(1).to_bx()])",
])
def test_other_texts_are_left_to_the_evaluation(model, text):
    container = model._formula_container
    before = (container.num_clauses, len(container._list_hard_constraint_dump_args), container._num_formula,
              container.cnf_storage().to_dimacs())
    assert not add_small(model, text)
    assert (container.num_clauses, len(container._list_hard_constraint_dump_args), container._num_formula,
            container.cnf_storage().to_dimacs()) == before


def test_more_members_than_the_road_takes_are_left_to_the_evaluation():
    model = Model(ce.manager(), "small")
    w = model.create_variables("w", n=40)
    model.add_constraint(w[0])
    # Never true together, at any size: encoded as units, without aux variables.
    assert add_small(model, str(SumIt([w[k] for k in range(32)]) <= 0))
    assert not add_small(model, str(SumIt([w[k] for k in range(33)]) <= 0))


def test_a_reader_that_has_met_more_shapes_than_it_keeps_encodes_as_a_new_one():
    manager = Manager()
    declared = _native.DeclaredVariables([("x", 1, [4], [1])])
    worn, new = (_native.SmallComparisonReader(declared, KELPA_AUX) for _ in range(2))
    text = "FormulaPB(x(0).to_pb() + x(1).to_pb() - (x(2).to_pb()), pb.Comparator_type.BOTH, {}).to_bx(manager)"
    for bound in range(_native.SmallComparisonReader.MAX_SHAPES_KEPT + 10):
        worn.encoded(text.format(bound - 5), manager.pb_config, manager.pb_var_manager, 0)
    (worn_form, worn_storage, _), (new_form, new_storage, _) = (
        reader.encoded(text.format(0), manager.pb_config, manager.pb_var_manager, 0) for reader in (worn, new))
    assert worn_form.literal_texts() == new_form.literal_texts()
    assert worn_storage.hard_clauses() == new_storage.hard_clauses() == [[-1, -2], [-1, 3], [-2, 3], [1, 2, -3]]


def test_with_debug_lines_wanted_the_evaluation_writes_them(caplog):
    model = Model(ce.manager(), "small")
    y = model.create_variables("y", c=5)
    caplog.set_level("DEBUG", logger="velmont.corvane_engine")
    model.add_constraint(y[1] + y[2] <= 1)
    assert any(r.getMessage().startswith("FormulaPB before to_bx") for r in caplog.records)
