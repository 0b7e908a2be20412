"""Constraints recorded again from the clause form kept for their shape,
against the evaluation road: random small models of Boolean formulas with
comparisons inside (every combinator, comparator and place, so comparisons
that must hold, fail or both; repeated elements; shapes met again over other
elements, the elements' order turned round; constants), mixed with clauses,
comparisons, formulas under foralls, soft constraints and a target, give the
same clauses in the same order, the same mapping, the same pending records,
the same log lines and the same errors whether the memo is on or forced off."""
import operator
from functools import reduce

import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt, Implication

from container_steps import run_without_road
from test_model_plain_formulas import (SIZES, OTHER_SHAPES, LISTS, elements, trees, moved,
                                      formula_expression, add)

COMPARATORS = [operator.le, operator.ge, operator.eq, operator.lt, operator.gt]


@st.composite
def comparisons(draw):
    terms = draw(st.lists(st.tuples(st.sampled_from([1, 1, 2, -1, -3]), elements()), min_size=1, max_size=3))
    return "comparison", terms, draw(st.integers(0, len(COMPARATORS) - 1)), draw(st.integers(-2, 3))


LEAVES = st.one_of(comparisons(), comparisons(), elements(), st.sampled_from([("One",), ("Zero",)]))
FORMULAS = st.recursive(LEAVES, trees, max_leaves=5)


def moved_with_comparisons(tree, shift):
    kind, *parts = tree
    if kind == "comparison":
        terms, comparator, bound = parts
        return kind, [(weight, moved(element, shift)) for weight, element in terms], comparator, bound
    if kind in ("element", "One", "Zero"):
        return moved(tree, shift)
    if kind in LISTS:
        return kind, [moved_with_comparisons(part, shift) for part in parts[0]]
    return (kind, *(moved_with_comparisons(part, shift) for part in parts))


def comparison_expression(v, tree):
    _, terms, comparator, bound = tree
    total = reduce(operator.add, [weight * formula_expression(v, element) for weight, element in terms])
    return COMPARATORS[comparator](total, bound)


def expression(v, tree):
    return formula_expression(v, tree, comparison_expression)


@st.composite
def operations(draw):
    """Mostly formulas met again: a soft constraint or a target refuses every later one."""
    pick = draw(st.integers(0, 15))
    if pick < 3:
        return "mixed", [draw(FORMULAS)]
    if pick < 12:  # one shape again, over other elements
        tree = draw(FORMULAS)
        return "mixed", [tree, moved_with_comparisons(tree, draw(st.integers(1, 2))), tree]
    if pick < 14:
        return "other", draw(st.integers(0, len(OTHER_SHAPES) - 1))
    return ("soft", draw(st.integers(1, 3))) if pick == 14 else ("target", draw(st.integers(0, 2)))


def add_mixed(model, v, kind, argument):
    if kind != "mixed":
        return add(model, v, kind, argument)
    for tree in argument:
        model.add_constraint(expression(v, tree))


def run(program, memo_on: bool):
    return run_without_road("mixed", SIZES, add_mixed, program, None if memo_on else "recalled shape")


@settings(max_examples=200, deadline=None)
@given(program=st.lists(operations(), min_size=1, max_size=6))
def test_random_models_match_the_evaluation_road(program):
    assert run(program, memo_on=True) == run(program, memo_on=False)


def y(index):
    return "element", "y", (index,)


def at_most(bound, *members):
    return "comparison", [(1, member) for member in members], 0, bound


# One text twice but for which elements are equal, or their order.
@pytest.mark.parametrize("first, second", [
    (("|", [at_most(0, y(0)), at_most(0, y(1))]), ("|", [at_most(0, y(0)), at_most(0, y(0))])),
    (("Implication", y(0), at_most(1, y(1), y(2))), ("Implication", y(0), at_most(1, y(0), y(2)))),
    (("Implication", y(0), at_most(1, y(1), y(2))), ("Implication", y(2), at_most(1, y(1), y(0)))),
    (("^", [y(1), at_most(1, y(1), y(2))]), ("^", [y(1), at_most(1, y(2), y(2))])),
])
def test_a_shape_is_told_by_which_elements_are_equal(first, second):
    program = [("mixed", [first, second, first])]
    assert run(program, memo_on=True) == run(program, memo_on=False)


@pytest.mark.parametrize("text, clauses", [
    ("bx.or_s([dummy_var(0).to_bx(), y(0).to_bx()])", [["dummy_var(0)", "y(0)"]]),  # number 0 has no negation
    ("bx.or_s([y(3).to_bx(), y(0).to_bx()])", [["y(3)", "y(0)"]]),  # index past its dimension
    ("bx.or_s([y(i).to_bx(), y(0).to_bx()])", [["y(i)", "y(0)"]]),  # an index
    ("bx.or_s([y(1).to_bx(), y(0).to_bx()])", [["y(2)", "~y(0)"]]),  # an element the text does not name
    ("bx.or_s([y(1).to_bx(), y(0).to_bx()])\ud800", [["y(1)", "y(0)"]]),  # no UTF-8 form
])
def test_texts_without_a_shape_are_not_kept(text, clauses):
    model = Model(ce.manager(), "memo")
    model.add_constraint(model.create_variables("y", c=3)[0])  # makes the container
    memo = model._formula_container._formula_memo
    assert not memo.remember(text, clauses, 0, 0)
    assert memo.recall(text) is None


class RememberedTexts:
    """A memo that notes the texts whose clauses it was handed."""

    def __init__(self, memo):
        self.memo, self.texts = memo, []

    def __getattr__(self, name):
        return getattr(self.memo, name)

    def remember(self, text, clauses, *shifts):
        self.texts.append(text)
        return self.memo.remember(text, clauses, *shifts)


def test_clauses_are_listed_only_for_a_text_with_a_shape():
    # Listing a clause form costs a string per literal: wasted, on every add, for a text that has no shape.
    model = Model(ce.manager(), "memo")
    y = model.create_variables("y", c=70)
    model.add_constraint(y[0])  # makes the container
    memo = model._formula_container._formula_memo = RememberedTexts(model._formula_container._formula_memo)
    model.add_constraint(Implication(y[0], SumIt([y[i] for i in range(1, 70)]) <= 1))  # more elements than a shape
    with_shape = Implication(y[0], SumIt([y[1], y[2]]) <= 1)
    model.add_constraint(with_shape)
    assert memo.texts == [str(with_shape)]
