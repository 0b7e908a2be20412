import pytest

import velmont.corvane_engine as ce
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder.core.pboperations import AddOp, PBBaseOp, PBVariable, Sum

A = PBVariable(1, "x(0)")
B = PBVariable(2, "x(1)")
C = PBVariable(3, "y(i + 1,j)")


def weighted_lit_texts(items):
    return [repr(item) for item in items]


def expected_lit_texts(pairs):
    return [repr(pb.WeightedLit(var, weight)) for var, weight in pairs]


# Each term with its leaves (PB number, coefficient) in left-to-right order.
TERMS = [
    ("leaf", lambda: A, [(1, 1)]),
    ("leaf with coefficient", lambda: PBVariable(2, "x(1)", -7), [(2, -7)]),
    ("difference", lambda: A - 2 * B, [(1, 1), (2, -2)]),
    ("self sum", lambda: A + A, [(1, 1), (1, 1)]),
    ("left-deep chain", lambda: (A + B) + C, [(1, 1), (2, 1), (3, 1)]),
    ("right-nested", lambda: A + (B + C), [(1, 1), (2, 1), (3, 1)]),
    ("zero multiple keeps leaves", lambda: 0 * (A + B), [(1, 0), (2, 0)]),
    ("double negation", lambda: -(-(A - 3 * B)), [(1, 1), (2, -3)]),
    ("negated AddOp", lambda: -(A + 4 * B), [(1, -1), (2, -4)]),
    ("multiple of difference", lambda: 5 * (A - B), [(1, 5), (2, -5)]),
    ("difference of a sum", lambda: A - (B + C), [(1, 1), (2, -1), (3, -1)]),
    ("nested factors", lambda: 2 * (3 * (A + 2 * B)), [(1, 6), (2, 12)]),
    ("sum of nodes", lambda: Sum(A + B, Sum(C, A), -B), [(1, 1), (2, 1), (3, 1), (1, 1), (2, -1)]),
    ("multiple of sum", lambda: 3 * Sum(A, -2 * B), [(1, 3), (2, -6)]),
    ("negated sum", lambda: -Sum(A, Sum(B)), [(1, -1), (2, -1)]),
    ("empty sum", lambda: Sum(), []),
    ("sum plus empty sum", lambda: A + Sum() + B, [(1, 1), (2, 1)]),
]


@pytest.mark.parametrize("label,build,leaves", TERMS, ids=[t[0] for t in TERMS])
def test_flattening_keeps_every_leaf_in_order(sink, label, build, leaves):
    term = build()
    assert term.to_maxsat() == leaves
    assert weighted_lit_texts(term.to_pb()) == expected_lit_texts(leaves)


def test_operators_rebuild_the_same_shape_and_leave_operands_alone():
    term = A - 2 * B
    assert isinstance(term, AddOp)
    assert term.first_variable is A
    assert isinstance(term.second_variable, PBVariable)
    assert (term.second_variable.pb_var, term.second_variable.name) == (2, "x(1)")
    scaled = 3 * Sum(A + B, C)
    assert isinstance(scaled, Sum) and isinstance(scaled.variables[0], AddOp)
    assert (A.coefficient, B.coefficient, C.coefficient) == (1, 1, 1)
    for empty in (Sum(), -Sum(), 4 * Sum()):
        assert isinstance(empty, Sum) and empty.variables == ()


@pytest.mark.parametrize(
    "build,text",
    [
        (lambda: A - 2 * B,
         "AddOp(Var(coeff: 1; pb num: 1; bx var: x(0)), Var(coeff: -2; pb num: 2; bx var: x(1)))"),
        (lambda: Sum(), "Sum()"),
        (lambda: Sum(A, B + C),
         "Sum(Var(coeff: 1; pb num: 1; bx var: x(0)), AddOp(Var(coeff: 1; pb num: 2; bx var: x(1)), "
         "Var(coeff: 1; pb num: 3; bx var: y(i + 1,j))))"),
        (lambda: Sum(Sum(), Sum(A)), "Sum(Sum(), Sum(Var(coeff: 1; pb num: 1; bx var: x(0))))"),
        (lambda: A + 1, "AddOp(Var(coeff: 1; pb num: 1; bx var: x(0)), 1)"),
    ],
)
def test_repr_is_the_string_form(build, text):
    term = build()
    assert repr(term) == text
    assert str(term) == text


def test_each_sum_logs_its_items_when_complete_inner_first(sink):
    term = Sum(A, Sum(B, C) + A, Sum())
    items = term.to_pb()
    lit = {n: repr(pb.WeightedLit(n, 1)) for n in (1, 2, 3)}
    debug = ce.log_level_type.debug
    assert sink == [
        (f"Sum to_pb result [{lit[2]}, {lit[3]}]", debug),
        ("Sum to_pb result []", debug),
        ("Sum to_pb result " + str(items), debug),
    ]
    assert str(items) == f"[{lit[1]}, {lit[2]}, {lit[3]}, {lit[1]}]"


@pytest.mark.parametrize(
    "flatten", [lambda: Sum(A, Sum(B)).to_maxsat(), lambda: (A + B).to_pb(), lambda: A.to_pb()]
)
def test_only_sum_to_pb_logs(sink, flatten):
    flatten()
    assert sink == []


@pytest.mark.parametrize(
    "build,error",
    [
        (lambda: 1 + A, TypeError),
        (lambda: 1 - A, TypeError),
        (lambda: A * 2, TypeError),
        (lambda: A * B, TypeError),
        (lambda: (A + B) * (A + C), TypeError),
        (lambda: PBBaseOp(), TypeError),
        (lambda: (A + 1).to_pb(), AttributeError),
        (lambda: Sum(A, 2).to_maxsat(), AttributeError),
        (lambda: (-(A + 1)).to_maxsat(), AttributeError),
    ],
)
def test_unsupported_shapes_raise_host_errors(sink, build, error):
    with pytest.raises(error):
        build()


def test_term_plus_integer_is_built_and_carried_by_operators():
    term = 2 * (A + 1)
    assert isinstance(term, AddOp) and term.second_variable == 2
    assert (-(A + 1)).second_variable == -1


def test_long_chain_is_walked_without_recursion(sink):
    count = 100_000
    term = PBVariable(1, "v")
    for number in range(2, count + 1):
        term = term + PBVariable(number, "v") if number % 2 else term - PBVariable(number, "v")
    pairs = term.to_maxsat()
    items = term.to_pb()
    assert pairs == [(n, 1 if n % 2 else -1) for n in range(1, count + 1)]
    assert len(items) == count
    assert (-term).to_maxsat()[-2:] == [(count - 1, -1), (count, 1)]
    assert (3 * term).to_maxsat()[:2] == [(1, 3), (2, -3)]
    text = repr(term)
    assert text.startswith("AddOp(" * (count - 1) + "Var(coeff: 1; pb num: 1; bx var: v), ")
    assert text.endswith("Var(coeff: 1; pb num: 99999; bx var: v)), Var(coeff: -1; pb num: 100000; bx var: v))")
