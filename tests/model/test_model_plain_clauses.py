"""Plain clauses (and soft constraints of weighted elements and small sums of
them) read without evaluation against the evaluation road: random
small models of clauses (with repeated and complementary literals, indexes
out of range, index arithmetic under foralls), mixed with soft constraints,
a target and formulas of other shapes, give the same clauses in the same
order, the same numbering and mapping, the same pending records, the same
log lines (warnings with the caller's line included) and the same errors
whether the reader is on or forced off."""
import contextlib
import logging
import re

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt, _native
from tarvo_encoder.encode.expressions import One, Zero

from container_steps import Variables, run_steps
from engine_lines import info_lines
from fast_roads import ROAD_LINE, fast_roads_off

DURATION = re.compile(r"Duration = \S+")
SIZES = {"x": {"a": 4, "b": 3}, "y": {"c": 5}, "z": {}}


@st.composite
def literals(draw):
    name = draw(st.sampled_from(["x", "x", "y", "z"]))
    # Now and then one index past its dimension.
    indexes = tuple(draw(st.integers(0, size - (draw(st.integers(0, 9)) != 0))) for size in SIZES[name].values())
    return name, indexes, draw(st.booleans())


@st.composite
def clauses(draw):
    """A tree of disjunctions over a few literals; now and then a literal
    comes again, or its negation."""
    leaves = draw(st.lists(literals(), min_size=1, max_size=5))
    if draw(st.integers(0, 3)) == 0:
        name, indexes, _ = draw(st.sampled_from(leaves))
        leaves.insert(draw(st.integers(0, len(leaves))), (name, indexes, draw(st.booleans())))
    shape = draw(st.lists(st.integers(0, 8), min_size=len(leaves), max_size=len(leaves)))
    return leaves, shape


def clause_expression(v, leaves, shape):
    """The leaves joined with | in a drawn grouping: each pass joins one neighbouring pair."""
    parts = [~v[name][indexes] if negated else v[name][indexes] for name, indexes, negated in leaves]
    for pick in shape[: len(parts) - 1]:
        at = pick % (len(parts) - 1)
        parts[at: at + 2] = [parts[at] | parts[at + 1]]
    while len(parts) > 1:
        parts[-2:] = [parts[-2] | parts[-1]]
    return parts[0]


OTHER_SHAPES = [
    lambda v: v.x[0, 0] & ~v.y[1],
    lambda v: v.x[v.i, 1] | ~v.y[v.i + 1],  # under a forall below
    lambda v: v.x[v.i, 2] | v.y[4],  # an index bound by no forall
    lambda v: v.x[1, 1] | One,
    lambda v: v.x[1, 1] | Zero,
    lambda v: SumIt([v.x[0, 0], v.y[2], v.z[()]]) <= 1,
]

@st.composite
def operations(draw):
    """Mostly clauses: a soft constraint or a target refuses every later one."""
    pick = draw(st.integers(0, 11))
    if pick < 9:
        return "clause", draw(clauses())
    if pick == 9:
        return "other", draw(st.integers(0, len(OTHER_SHAPES) - 1))
    return ("soft", draw(st.integers(1, 3))) if pick == 10 else ("target", draw(st.integers(0, 2)))


# Weights and flags as callers pass them: zero, negative, past the weight limit, bool and numpy.
SOFT_WEIGHTS = [0, 1, 7, -4, 2**62, 2**63, True, np.int64(5)]
SOFT_FLAGS = [True, False, None, 0, 3, np.bool_(True)]


# Coefficients of a soft sum's terms: None for a bare element, zero, negative, and large.
SOFT_COEFFICIENTS = [None, None, 1, 3, 0, -2, 2**40]


@st.composite
def soft_sums(draw):
    """A sum of a few terms written with + and - (or as a SumIt): its
    literals' elements may repeat or lie past their dimension."""
    terms = [(literal[:2], draw(st.sampled_from(SOFT_COEFFICIENTS)), draw(st.booleans()))
             for literal in draw(st.lists(literals(), min_size=1, max_size=4))]
    return terms, draw(st.booleans())


def soft_sum_expression(v, terms, listed):
    parts = [v[name][indexes] if coefficient is None else coefficient * v[name][indexes]
             for (name, indexes), coefficient, _ in terms]
    if listed:
        return SumIt(parts)
    total = parts[0]
    for part, (_, _, subtracted) in zip(parts[1:], terms[1:]):
        total = total - part if subtracted else total + part
    return total


@st.composite
def soft_programs(draw):
    """A few clauses, then soft constraints of one element (sometimes negated,
    which is no soft constraint, or past its dimension) or of a small sum."""
    program = draw(st.lists(st.tuples(st.just("clause"), clauses()), max_size=2))
    for _ in range(draw(st.integers(1, 8))):
        soft = draw(literals()) if draw(st.booleans()) else draw(soft_sums())
        kind = "soft element" if len(soft) == 3 else "soft sum"
        program.append((kind, (soft, draw(st.sampled_from(SOFT_WEIGHTS)), draw(st.sampled_from(SOFT_FLAGS)))))
    return program


def add(model, v, kind, argument):
    if kind == "clause":
        model.add_constraint(clause_expression(v, *argument))
    elif kind == "other":
        foralls = {"i": range(2)} if argument == 1 else {}
        model.add_constraint(OTHER_SHAPES[argument](v), **foralls)
    elif kind == "soft element":
        (name, indexes, negated), weight, minimization = argument
        element = ~v[name][indexes] if negated else v[name][indexes]
        model.add_soft_constraint(element, weight=weight, minimization=minimization)
    elif kind == "soft sum":
        (terms, listed), weight, minimization = argument
        model.add_soft_constraint(soft_sum_expression(v, terms, listed), weight=weight, minimization=minimization)
    elif kind == "soft":
        model.add_soft_constraint(v.x[1, 2] + v.y[3], weight=argument)
    else:
        model.add_target(v.x[0, 1] + v.y[0] + v.y[argument])


def run(program, reader_on: bool, debug_lines: bool = True):
    """Every step's outcome, log records and container state; the last entry
    the build. Without debug lines, the engine's own sink logs from info up."""
    with pytest.MonkeyPatch.context() as patch, contextlib.ExitStack() as stack:
        if debug_lines:
            logged = []
            # The build's duration and the road's name are the lines that may differ.
            patch.setattr(ce, "log_encoder", lambda msg, level: msg.startswith(ROAD_LINE) or logged.append(
                (level, DURATION.sub("", msg))))
        else:
            logged = stack.enter_context(info_lines())
        if not reader_on:
            stack.enter_context(fast_roads_off("plain clause", "plain formula", "plain soft sum"))
        steps = run_steps(Model(ce.manager(), "plain"), SIZES, add, program)
    return steps, logged


@settings(max_examples=150, deadline=None)
@given(program=st.lists(operations(), min_size=1, max_size=8))
def test_random_models_match_the_evaluation_road(program):
    assert run(program, reader_on=True) == run(program, reader_on=False)


@settings(max_examples=150, deadline=None)
@given(program=soft_programs(), debug_lines=st.booleans())
def test_random_soft_elements_and_sums_match_the_evaluation_road(program, debug_lines):
    # With debug lines wanted the evaluation writes them, so both runs take it.
    assert run(program, True, debug_lines) == run(program, False, debug_lines)


@pytest.fixture
def model():
    built = Model(ce.manager(), "plain")
    built.v = Variables(built, SIZES)
    built.add_constraint(built.v.y[0])  # makes the container
    return built


@pytest.mark.parametrize("write", [
    lambda v: v.x[1, 2] | ~v.y[0] | v.z[()],
    lambda v: (v.x[0, 0] | ~v.x[0, 1]) | (v.y[4] | ~v.x[3, 2]),
    lambda v: ~v.y[2],
    lambda v: v.x[3, 0],
])
def test_the_operators_clauses_take_the_reader(model, write):
    assert model._formula_container.add_plain_clause(str(write(model.v)))


@pytest.mark.parametrize("text", [
    "bx.or_s([x(1,1).to_bx(), ~(x(1,1).to_bx())])",  # complementary
    "bx.or_s([x(1,1).to_bx(), x(1,1).to_bx()])",  # repeated
    "bx.or_s([x(4,0).to_bx(), y(0).to_bx()])",  # index past its dimension
    "bx.or_s([x(1).to_bx(), y(0).to_bx()])",  # too few indexes
    "bx.or_s([x(01,0).to_bx(), y(0).to_bx()])",  # not a Python int
    "bx.or_s([w(0).to_bx(), y(0).to_bx()])",  # not declared
    "bx.or_s([dummy_var(0).to_bx(), y(0).to_bx()])",  # number 0 has no negation
    "bx.or_s([x(i,0).to_bx(), y(0).to_bx()])",  # an index
    "bx.or_s([])",
    "bx.or_s([y(0).to_bx(),y(1).to_bx()])",  # not as the operators write it
    "bx.or_s([y(0).to_bx(), y(1).to_bx()]) ",
    "~(bx.or_s([y(0).to_bx(), y(1).to_bx()]))",
    "bx.and_s([y(0).to_bx(), y(1).to_bx()])",
    "bx.or_s([" * 40 + "y(0).to_bx(), y(1).to_bx()" + "])" * 40,  # deeper than the reader goes
    "bx.or_s([y(0).to_bx(), y(1).to_bx()])\ud800",  # no UTF-8 form
    # Blanks, signs and digits the lexer reads otherwise than the operators write them.
    " y(0).to_bx()",
    "bx.or_s([y(0).to_bx(),\ty(1).to_bx()])",
    "bx.or_s([y(0).to_bx(),  y(1).to_bx()])",
    "bx.or_s([y(0) .to_bx(), y(1).to_bx()])",
    "bx.or_s([y(0).to_bx(), y(1).to_bx()]\n)",
    "bx .or_s([y(0).to_bx(), y(1).to_bx()])",
    "~ (y(0).to_bx())",
    "bx.or_s([x(-1,0).to_bx(), y(0).to_bx()])",
    "bx.or_s([x(+1,0).to_bx(), y(0).to_bx()])",
    "bx.or_s([x(1.0,0).to_bx(), y(0).to_bx()])",
    "bx.or_s([x(1_0,0).to_bx(), y(0).to_bx()])",
    "bx.or_s([x(0000000000000000001,0).to_bx(), y(0).to_bx()])",  # beyond 18 digits
    "bx.or_s([xé(1,0).to_bx(), y(0).to_bx()])",  # a name that goes on past ASCII
    "bx.or_s([y(0).to_bx(), y(1).to_bx()])'",
])
def test_other_texts_are_left_to_the_evaluation(model, text):
    container = model._formula_container
    before = (container.num_clauses, len(container._list_hard_constraint_dump_args), container._num_formula)
    assert not container.add_plain_clause(text)
    assert (container.num_clauses, len(container._list_hard_constraint_dump_args), container._num_formula) == before


@pytest.mark.parametrize("use_formula_encoder", [False, True])
@pytest.mark.parametrize("level, shown", [
    (5, ["     constraint : bx.or_s([y(1).to_bx(), ~(y(2).to_bx())])___{}", "Enumerating hard utility variables",
         "           road : plain clause"]),
    (logging.DEBUG, ["     constraint : bx.or_s([y(1).to_bx(), ~(y(2).to_bx())])___{}"]),
    (logging.INFO, []),
])
def test_the_engine_sink_shows_the_lines_of_an_add_by_its_level(caplog, level, shown, use_formula_encoder):
    """An add skips writing lines the engine's own sink would drop, and only those."""
    model = Model(ce.manager(), "plain", use_formula_encoder=use_formula_encoder)
    y = model.create_variables("y", c=5)
    caplog.set_level(level, logger="velmont.corvane_engine")
    caplog.clear()
    model.add_constraint(y[1] | ~y[2])
    expected = shown[:1] if use_formula_encoder else shown
    assert [r.getMessage() for r in caplog.records if r.levelno < logging.INFO] == expected


@pytest.mark.parametrize("sizes, strides", [([4, 4, 4, 4], []), ([4, 4], [4]), ([4], [1, 1])])
def test_a_variable_whose_strides_do_not_match_its_sizes_is_left_to_the_evaluation(sizes, strides):
    reader = _native.PlainClauseReader(_native.DeclaredVariables([("x", 1, sizes, strides), ("y", 300, [2], [1])]),
                                       "_aux")
    indexes = ",".join("3" * len(sizes))
    assert reader.clause_storage(f"bx.or_s([x({indexes}).to_bx(), y(1).to_bx()])") is None
    assert reader.clause_storage(f"x({indexes})") is None
    assert reader.clause_storage("~(y(1).to_bx())").hard_clauses() == [[-301]]


def test_a_number_beyond_64_bits_is_left_to_the_evaluation():
    reader = _native.PlainClauseReader(_native.DeclaredVariables([("x", 1, [2**61, 2**61], [2**61, 1])]), "_aux")
    assert reader.clause_storage("bx.or_s([x(5,0).to_bx(), x(0,1).to_bx()])") is None
    assert reader.clause_storage("bx.or_s([x(0,3).to_bx(), x(0,1).to_bx()])").hard_clauses() == [[2, 4]]
