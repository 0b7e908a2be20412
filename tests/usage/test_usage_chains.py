"""Chains of one operator grown on the left (e = e + x[k], e = e & x[k]):
today's texts while Python's parser reads them with room to spare, a flat
text with the same meaning beyond that, and chains far past what the nested
text allowed built on both roads."""
import functools
import operator
import random

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder import Model
from tarvo_encoder.encode._chains import NESTING_LIMIT, SUM_TERMS_LIMIT
from tarvo_encoder.encode.expressions import Expression
from roads_check import ROADS, Built

road = pytest.mark.parametrize("use_formula_encoder", ROADS.values(), ids=ROADS.keys())
OPERATORS = {"+": operator.add, "-": operator.sub, "&": operator.and_, "|": operator.or_, "^": operator.xor}


pytestmark = pytest.mark.usefixtures("quiet_engine_log")


@pytest.fixture
def x():
    return Model(ce.manager(), "chains").create_variables("x", k=5000)


def chain(operands, symbols):
    """operands[0] op operands[1] op ..., grown on the left; symbols cycle."""
    result = operands[0]
    for k, operand in enumerate(operands[1:]):
        result = OPERATORS[symbols[k % len(symbols)]](result, operand)
    return result


@pytest.mark.parametrize("symbols, text", [
    ("+-+", "x(0).to_pb() + x(1).to_pb() - (x(2).to_pb()) + x(3).to_pb()"),
    ("&", "bx.and_s([bx.and_s([bx.and_s([x(0).to_bx(), x(1).to_bx()]), x(2).to_bx()]), x(3).to_bx()])"),
    ("|", "bx.or_s([bx.or_s([bx.or_s([x(0).to_bx(), x(1).to_bx()]), x(2).to_bx()]), x(3).to_bx()])"),
    ("^", "bx.xor_s([bx.xor_s([bx.xor_s([x(0).to_bx(), x(1).to_bx()]), x(2).to_bx()]), x(3).to_bx()])"),
    ("&|", "bx.and_s([bx.or_s([bx.and_s([x(0).to_bx(), x(1).to_bx()]), x(2).to_bx()]), x(3).to_bx()])"),
])
def test_short_chains_keep_the_operators_texts(x, symbols, text):
    assert str(chain([x[k] for k in range(4)], symbols)) == text


def test_a_chain_grown_two_ways_keeps_each_text(x):
    base = x[0] + x[1]
    left, right = base + x[2], base - x[3]
    assert (str(left), str(right), str(base)) == (
        "x(0).to_pb() + x(1).to_pb() + x(2).to_pb()", "x(0).to_pb() + x(1).to_pb() - (x(3).to_pb())",
        "x(0).to_pb() + x(1).to_pb()")


def test_chains_past_the_limits_are_written_flat(x):
    terms = [x[k] for k in range(SUM_TERMS_LIMIT + 1)]
    assert " - (" in str(chain(terms[:-1], "+-"))
    assert str(chain(terms, "+-")) == (
        "Sum(*[" + ", ".join(f"-1 * (x({k}).to_pb())" if k > 0 and k % 2 == 0 else f"x({k}).to_pb()"
                             for k in range(SUM_TERMS_LIMIT + 1)) + "])")
    # Each level of a nested conjunction adds two: bx.and_s([ ... ]).
    operands = [x[k] for k in range(NESTING_LIMIT // 2 + 1)]
    assert str(chain(operands[:-1], "&")).startswith("bx.and_s([bx.and_s([")
    assert str(chain(operands, "&")) == "bx.and_s([" + ", ".join(f"x({k}).to_bx()" for k in range(len(operands))) + "])"


def nested_text(operands, symbol):
    """The text the operators wrote before chains had a flat form."""
    if symbol in "+-":
        texts = [str(o) + ".to_pb()" for o in operands]
        return texts[0] + "".join(" + " + t if k % 2 == 0 else " - (" + t + ")" for k, t in enumerate(texts[1:]))
    opening = {"&": "bx.and_s([", "|": "bx.or_s([", "^": "bx.xor_s(["}[symbol]
    texts = [str(o) if str(o).startswith("~") else str(o) + ".to_bx()" for o in operands]
    return opening * (len(texts) - 1) + texts[0] + "".join(", " + t + "])" for t in texts[1:])


def built_in_container(constraint_of):
    cmanager = ce.manager()
    model = Model(cmanager, "flat")
    x = model.create_variables("x", k=60)
    model.add_constraint(constraint_of(x))
    model.build_cnf()
    return cmanager.get_cnf_storage().to_dimacs(), list(model._formula_container.mapping.items())


@pytest.mark.parametrize("symbol", ["+", "&", "|", "^"])
def test_a_flat_chain_builds_what_its_nested_text_builds(symbol):
    # Repeated operands, and negated ones under xor: the simplifications
    # must agree between both texts (a negation under and or or would soon
    # make the chain a contradiction or a tautology).
    rng = random.Random(symbol)
    count = SUM_TERMS_LIMIT + 1 if symbol == "+" else NESTING_LIMIT // 2 + 1
    picks = [(rng.randrange(60), symbol == "^" and rng.random() < 0.3) for _ in range(count)]

    def operands(x):
        return [~x[k] if negated else x[k] for k, negated in picks]

    def finished(expression):
        return expression <= 2 if symbol == "+" else expression

    flat = built_in_container(lambda x: finished(chain(operands(x), "+-" if symbol == "+" else symbol)))
    nested = built_in_container(lambda x: finished(Expression(nested_text(operands(x), symbol), symbol == "+")))
    assert flat == nested


@road
def test_long_sums_build_as_hard_constraint_soft_constraint_and_target(use_formula_encoder):
    count = 3500  # Python's compiler gave up on the nested text near 3,000 terms
    hard = Built(use_formula_encoder, x=dict(k=count))
    hard.model.add_constraint(chain([hard.v.x[k] for k in range(count)], "+") <= 1)
    hard.model.build_cnf()
    number = hard.model.get_var_mapping().number_of
    assert hard.solver_model([number("x[7]")]) is not None
    assert hard.solver_model([number("x[7]"), number(f"x[{count - 1}]")]) is None

    target = Built(use_formula_encoder, x=dict(k=count))
    target.model.add_target(chain([target.v.x[k] for k in range(count)], "+"))
    target.model.build_cnf(border=1, minimization=True)
    number = target.model.get_var_mapping().number_of
    assert target.solver_model([number("x[0]")]) is not None
    if not use_formula_encoder:  # the encoder keeps its target apart from the border
        assert target.solver_model([number("x[0]"), number("x[1000]")]) is None

    soft = Built(use_formula_encoder, x=dict(k=count))
    soft.model.add_soft_constraint(chain([soft.v.x[k] for k in range(count)], "+"), weight=2, minimization=True)
    soft.model.build_wcnf()
    assert sorted(w for _, w in soft.cmanager.get_cnf_storage().soft_clauses()) == [2] * count


@road
@pytest.mark.parametrize("symbol", ["&", "|", "^"])
def test_long_boolean_chains_build(use_formula_encoder, symbol):
    count = 300  # Python's parser refused the nested text past 100 operands
    built = Built(use_formula_encoder, x=dict(k=count))
    built.model.add_constraint(chain([built.v.x[k] for k in range(count)], symbol))
    built.model.build_cnf()
    number = built.model.get_var_mapping().number_of
    all_false = [-number(f"x[{k}]") for k in range(count)]
    only_first = [number("x[0]")] + all_false[1:]
    assert built.solver_model(all_false) is None
    assert (built.solver_model(only_first) is not None) == (symbol != "&")
