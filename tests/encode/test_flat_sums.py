"""A flat sum compared with a bound or weighted as an objective, read in C++,
against eval of its text: same value, same calls in the same order (the
Manager pairs the same numbers with the same names), same exceptions; every
other text is left to eval."""
import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder import Model, SumIt
from tarvo_encoder.core.formulapb import FormulaPB
from tarvo_encoder.core.manager import Manager
from tarvo_encoder.core.pboperations import Sum
from tarvo_encoder.encode import _flat_sums as flat_sums


@pytest.fixture(scope="module")
def x():
    return Model(ce.manager(), "texts").create_variables("x", a=4, b=3)


def namespace(**overrides):
    manager = Manager()
    manager.registration_generator_variables("x")
    return {"Sum": Sum, "FormulaPB": FormulaPB, "bx": bx, "pb": pb, "manager": manager,
            **manager.name2genvar, **overrides}


def outcome(evaluate, text, **overrides):
    names = namespace(**overrides)
    try:
        value = ("value", str(evaluate(text, names)))
    except Exception as error:  # compared with eval's own
        value = ("raised", type(error), str(error))
    manager = names["manager"]
    return value, list(manager.name2pb.items()), manager.cnt_pbvar


def assert_read_as_eval(text, **overrides):
    assert outcome(flat_sums.evaluate, text, **overrides) == outcome(eval, text, **overrides)


cells = st.tuples(st.integers(-6, 6), st.integers(0, 3), st.integers(0, 2))


@settings(max_examples=60, deadline=None)
@given(st.lists(cells, min_size=1, max_size=12), st.sampled_from(["<=", ">=", "=="]), st.integers(-5, 20))
def test_a_flat_sum_is_read_as_eval_reads_it(x, members, comparator, bound):
    total = SumIt([x[a, b] if w == 1 else w * x[a, b] for w, a, b in members])
    text = str({"<=": total <= bound, ">=": total >= bound, "==": total == bound}[comparator])
    assert flat_sums.evaluate(text, namespace()) is not flat_sums.NOT_READ
    assert_read_as_eval(text)


@settings(max_examples=40, deadline=None)
@given(st.lists(cells, min_size=1, max_size=8), st.integers(-3, 5),
       st.sampled_from([True, False, None, 0, 1, -2]))
def test_a_weighted_flat_sum_is_read_as_eval_reads_it(x, members, weight, minimization):
    total = SumIt([x[a, b] if w == 1 else w * x[a, b] for w, a, b in members])
    text = str((weight * total).maxsat(minimization))
    assert flat_sums.evaluate(text, namespace()) is not flat_sums.NOT_READ
    assert_read_as_eval(text)


def test_a_long_chain_is_written_flat_and_read_as_eval_reads_it(x):
    total = x[0, 0]
    for k in range(1, 1500):
        total = total - x[k % 4, k % 3] if k % 7 == 0 else total + x[k % 4, k % 3]
    text = str(total <= 3)
    assert text.startswith("FormulaPB(Sum(*[") and flat_sums.evaluate(text, namespace()) is not flat_sums.NOT_READ
    assert_read_as_eval(text)


def test_a_member_that_fails_fails_as_in_eval(x):
    text = str(SumIt([x[0, 0], 2 * x[1, 1]]) <= 1)
    assert_read_as_eval(text, x=5)  # not callable
    assert_read_as_eval(text, x=lambda *indexes: indexes)  # no to_pb


FLAT = "FormulaPB(Sum(*[x(0,1).to_pb(), -3 * (x(2,0).to_pb())]), pb.Comparator_type.LEQ, 2).to_bx(manager)"
FLAT_OBJECTIVE = "FormulaPB(2 * (Sum(*[x(0,1).to_pb(), -1 * (x(2,0).to_pb())])), None, None).to_maxsat(manager, True)"
OTHER_TEXTS = {
    "nested sum": "FormulaPB(x(0,1).to_pb() + x(1,1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",
    "index names": FLAT.replace("x(0,1)", "x(i,1)"),
    "leading zero": FLAT.replace("x(0,1)", "x(0,01)"),
    "a blank more": FLAT.replace("x(0,1)", "x(0, 1)"),
    "a keyword as name": FLAT.replace("x(0,1)", "if(0,1)"),
    "no member": "FormulaPB(Sum(*[]), pb.Comparator_type.LEQ, 2).to_bx(manager)",
    "a bool bound": FLAT.replace(", 2).to_bx", ", True).to_bx"),
    "objective without weight": "FormulaPB(Sum(*[x(0,1).to_pb()]), None, None).to_maxsat(manager, False)",
    "objective of one term": "FormulaPB(3 * (x(0,1).to_pb()), None, None).to_maxsat(manager, None)",
    "objective with a flag of another kind": FLAT_OBJECTIVE.replace("manager, True)", "manager, 1.5)"),
    "objective with more text after": FLAT_OBJECTIVE + ")",
    "more text after": FLAT + ".x",
    "a huge index": FLAT.replace("x(0,1)", "x(0," + "9" * 19 + ")"),
    # Without a UTF-8 form the text is eval's to refuse, with eval's error.
    "a lone surrogate": FLAT + "\ud800",
    "an objective with a lone surrogate": FLAT_OBJECTIVE.replace("True", "True\udfff"),
}


@pytest.mark.parametrize("text", OTHER_TEXTS.values(), ids=OTHER_TEXTS.keys())
def test_any_other_text_is_left_to_eval(text):
    assert flat_sums.evaluate(text, namespace(i=0)) is flat_sums.NOT_READ


def test_a_name_that_the_namespace_lacks_is_left_to_eval():
    assert flat_sums.evaluate(FLAT, namespace()) is not flat_sums.NOT_READ
    assert flat_sums.evaluate(FLAT.replace("x(2,0)", "y(2,0)"), namespace()) is flat_sums.NOT_READ
    names = namespace()
    del names["Sum"]
    assert flat_sums.evaluate(FLAT, names) is flat_sums.NOT_READ
