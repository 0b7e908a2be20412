"""Boolean formulas of elements put into clause form in C++ without
evaluation, against the evaluation road: random small models of formulas
built with every combinator (nested, with repeated and complementary
elements, shapes met again over other elements, the constants One and Zero inside, indexes out of range, elements
of two, one and no dimensions), mixed with clauses, comparisons, formulas
under foralls, soft constraints and a target, give the same clauses in the
same order, the same mapping, the same pending records, the same log lines
(warnings with the caller's line) and the same errors whether the road is
on or forced off."""
import operator
from functools import reduce

import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder import (Model, SumIt, AndIt, OrIt, XorIt, Equiv, Implication, IfThenElse, One, Zero, And,
                           _native)

from container_steps import Variables, run_without_road

SIZES = {"x": {"a": 2, "b": 2}, "y": {"c": 3}, "z": {}}


@st.composite
def elements(draw):
    name = draw(st.sampled_from(["x", "x", "y", "y", "z"]))
    # Now and then one index past its dimension.
    indexes = tuple(draw(st.integers(0, size - (draw(st.integers(0, 11)) != 0))) for size in SIZES[name].values())
    return "element", name, indexes


LEAVES = st.one_of(elements(), elements(), elements(), st.sampled_from([("One",), ("Zero",)]))
LISTS = ["&", "|", "^", "AndIt", "OrIt", "XorIt", "Equiv"]


def trees(children):
    return st.one_of(
        st.tuples(st.just("~"), children),
        st.tuples(st.sampled_from(LISTS), st.lists(children, min_size=1, max_size=3)),
        st.tuples(st.just("Implication"), children, children),
        st.tuples(st.just("IfThenElse"), children, children, children),
    )


FORMULAS = st.recursive(LEAVES, trees, max_leaves=6)
OPERATORS = {"&": operator.and_, "|": operator.or_, "^": operator.xor}
COMBINATORS = {"AndIt": AndIt, "OrIt": OrIt, "XorIt": XorIt}


def moved(tree, shift):
    """The same formula over other elements: each index inside its dimension moved by `shift`, cyclically."""
    kind, *parts = tree
    if kind == "element":
        name, indexes = parts
        sizes = SIZES[name].values()
        if all(i < size for i, size in zip(indexes, sizes)):
            indexes = tuple((i + shift) % size for i, size in zip(indexes, sizes))
        return kind, name, indexes
    if kind in ("One", "Zero"):
        return tree
    if kind in LISTS:
        return kind, [moved(part, shift) for part in parts[0]]
    return (kind, *(moved(part, shift) for part in parts))


def formula_expression(v, tree, leaf=None):
    """The tree's expression; leaf(v, tree) gives that of a leaf of another kind than these."""
    kind, *parts = tree
    if kind == "element":
        return v[parts[0]][parts[1]]
    if kind in ("One", "Zero"):
        return One if kind == "One" else Zero
    if kind not in LISTS and kind not in ("~", "Implication", "IfThenElse"):
        return leaf(v, tree)
    operands = [formula_expression(v, part, leaf) for part in (parts[0] if kind in LISTS else parts)]
    if kind == "~":
        return ~operands[0]
    if kind in OPERATORS:
        return reduce(OPERATORS[kind], operands)
    if kind in COMBINATORS:
        return COMBINATORS[kind](operands)
    return {"Equiv": Equiv, "Implication": Implication, "IfThenElse": IfThenElse}[kind](*operands)


OTHER_SHAPES = [
    lambda v: v.x[0, 0] | ~v.y[1],
    lambda v: SumIt([v.x[0, 1], v.y[2], v.z[()]]) <= 1,
    lambda v: Implication(v.x[v.i, 1], v.y[v.i + 1]),  # under a forall below
    lambda v: Implication(v.y[0], v.x[1, 1] & v.z[()]),  # its clause form has aux variables
    lambda v: And(v.y[v.i] | v.x[0, 0], i=range(2)),
]


@st.composite
def operations(draw):
    """Mostly formulas: a soft constraint or a target refuses every later one."""
    pick = draw(st.integers(0, 11))
    if pick < 5:
        return "formula", draw(FORMULAS)
    if pick < 8:  # one shape twice, over other elements the second time
        tree = draw(FORMULAS)
        return "formulas", [tree, moved(tree, draw(st.integers(1, 2)))]
    if pick < 10:
        return "other", draw(st.integers(0, len(OTHER_SHAPES) - 1))
    return ("soft", draw(st.integers(1, 3))) if pick == 10 else ("target", draw(st.integers(0, 2)))


def add(model, v, kind, argument):
    if kind == "formula":
        model.add_constraint(formula_expression(v, argument))
    elif kind == "formulas":
        for tree in argument:
            model.add_constraint(formula_expression(v, tree))
    elif kind == "other":
        foralls = {"i": range(2)} if argument == 2 else {}
        model.add_constraint(OTHER_SHAPES[argument](v), **foralls)
    elif kind == "soft":
        model.add_soft_constraint(v.x[1, 0] + 2 * v.y[2], weight=argument)
    else:
        model.add_target(v.x[0, 1] + v.y[0] + v.y[argument])


def run(program, road_on: bool):
    return run_without_road("formulas", SIZES, add, program, None if road_on else "plain formula")


@settings(max_examples=250, deadline=None)
@given(program=st.lists(operations(), min_size=1, max_size=8))
def test_random_models_match_the_evaluation_road(program):
    assert run(program, road_on=True) == run(program, road_on=False)


@pytest.fixture
def model():
    built = Model(ce.manager(), "formulas")
    built.v = Variables(built, SIZES)
    built.add_constraint(built.v.y[0])  # makes the container
    return built


def pending_count(container):
    return container.num_clauses, len(container._list_hard_constraint_dump_args), container._num_formula


@pytest.mark.parametrize("write, clauses", [
    (lambda v: ~(v.y[0] & v.y[1]), [[-5, -6]]),
    (lambda v: v.y[0] & ~v.x[1, 1], [[5], [-4]]),
    (lambda v: (v.y[0] | v.y[1]) & (v.y[2] | ~v.y[0]), [[5, 6], [-5, 7]]),
    (lambda v: Implication(v.y[0], v.y[1] | v.z[()]), [[-5, 6, 8]]),
    (lambda v: Equiv(v.y[2], v.x[0, 1]), [[2, -7], [-2, 7]]),
    (lambda v: v.y[2] ^ v.x[0, 1], [[2, 7], [-2, -7]]),
    (lambda v: IfThenElse(v.y[0], v.y[1], v.z[()]), [[-5, 6], [5, 8]]),
    (lambda v: AndIt([v.y[0], One, ~v.y[0] | Zero | v.y[1]]), [[-5, 6], [5]]),
    (lambda v: Implication(v.y[0], v.y[1] & v.z[()]), [[-5, 9], [6, -9], [8, -9]]),  # aux variable 9
])
def test_the_operators_formulas_take_the_road(model, write, clauses):
    container = model._formula_container
    assert container.add_plain_formula(str(write(model.v)))
    assert container._list_hard_constraint_dump_args[-1].cnf_stor.hard_clauses() == clauses


@pytest.mark.parametrize("text", [
    "bx.and_s([y(0).to_bx(), ~(y(0).to_bx())])",  # a contradiction
    "bx.or_s([y(0).to_bx(), bx.one()])",  # always true
    "bx.one()",
    "bx.and_s([y(3).to_bx(), y(1).to_bx()])",  # index past its dimension
    "bx.and_s([x(1).to_bx(), y(1).to_bx()])",  # too few indexes
    "bx.and_s([w(0).to_bx(), y(1).to_bx()])",  # not declared
    "bx.and_s([dummy_var(0).to_bx(), y(1).to_bx()])",  # number 0 has no negation
    "bx.and_s([y(i).to_bx(), y(1).to_bx()])",  # an index
    "bx.and_s([y(i).to_bx() for i in range(2)])",
    "bx.and_s([y(0).to_bx(),y(1).to_bx()])",  # not as the operators write it
    "bx.impl_s(y(0).to_bx(), y(1).to_bx(), y(2).to_bx())",
    "bx.ite_s(y(0).to_bx(), y(1).to_bx())",
    "bx.and_s([y(0).to_bx(), y(1).to_bx()]) ",
    "bx.and_s([" * 40 + "y(0).to_bx(), y(1).to_bx()" + "])" * 40,  # deeper than the reader goes
    "bx.and_s([y(0).to_bx(), y(1).to_bx()])\ud800",  # no UTF-8 form
    "(FormulaPB(Sum(*[y(0).to_pb(), y(1).to_pb()]), None, 1))",
])
def test_other_texts_are_left_to_the_evaluation(model, text):
    container = model._formula_container
    before = pending_count(container)
    assert not container.add_plain_formula(text)
    assert pending_count(container) == before

