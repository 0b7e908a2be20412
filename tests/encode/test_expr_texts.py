import pytest

from tarvo_encoder.encode.expressions import (
    And,
    AndIt,
    Equiv,
    Expression,
    IfThenElse,
    Implication,
    One,
    Or,
    OrIt,
    Sum,
    SumIt,
    Xor,
    XorIt,
    Zero,
    pow_expression,
)
from tarvo_encoder.encode.variables import Index, Variable

x = Variable("x", {"a": 4, "b": 4}, 1)
i = Index("i")
j = Index("j")

OPERATORS = [
    (lambda: x[0] + x[1], "x(0).to_pb() + x(1).to_pb()", True),
    (lambda: x[0] + x[0], "x(0).to_pb() + x(0).to_pb()", True),
    (lambda: x[0] - (x[1] + x[2]), "x(0).to_pb() - (x(1).to_pb() + x(2).to_pb())", True),
    (lambda: x[0] - x[1], "x(0).to_pb() - (x(1).to_pb())", True),
    (lambda: 2 * x[0], "2 * (x(0).to_pb())", True),
    (lambda: x[0] * 2, "2 * (x(0).to_pb())", True),
    (lambda: -3 * x[0], "-3 * (x(0).to_pb())", True),
    (lambda: 3 * (x[0] + x[1]), "3 * (x(0).to_pb() + x(1).to_pb())", True),
    (lambda: x[0] * True, "True * (x(0).to_pb())", True),
    (lambda: pow_expression(2, i) * x[i], "2 ** i * (x(i).to_pb())", True),
    (lambda: x[i] * pow_expression(2, i), "x(i) * (2 ** i)", True),
    # A sum as the left factor is grouped, so the factor reaches every term.
    (lambda: (x[0] + x[1]) * pow_expression(2, 1), "(x(0).to_pb() + x(1).to_pb()) * (2 ** 1)", True),
    (lambda: (x[0] - x[1]) * pow_expression(2, i), "(x(0).to_pb() - (x(1).to_pb())) * (2 ** i)", True),
    (lambda: pow_expression(-2, i + 1) * x[i], "(-2) ** (i + 1) * (x(i).to_pb())", True),
    (
        lambda: x[0] + x[1] <= 1,
        "FormulaPB(x(0).to_pb() + x(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",
        False,
    ),
    (lambda: 1 <= x[0], "FormulaPB(x(0).to_pb(), pb.Comparator_type.GEQ, 1).to_bx(manager)", False),
    (lambda: x[0] >= 1, "FormulaPB(x(0).to_pb(), pb.Comparator_type.GEQ, 1).to_bx(manager)", False),
    (lambda: 2 >= x[0], "FormulaPB(x(0).to_pb(), pb.Comparator_type.LEQ, 2).to_bx(manager)", False),
    (lambda: x[0] == 0, "FormulaPB(x(0).to_pb(), pb.Comparator_type.BOTH, 0).to_bx(manager)", False),
    (lambda: 0 == x[0], "FormulaPB(x(0).to_pb(), pb.Comparator_type.BOTH, 0).to_bx(manager)", False),
    (
        lambda: (x[0] <= 0) | x[1],
        "bx.or_s([FormulaPB(x(0).to_pb(), pb.Comparator_type.LEQ, 0).to_bx(manager), x(1).to_bx()])",
        False,
    ),
    (lambda: x[0] & x[1], "bx.and_s([x(0).to_bx(), x(1).to_bx()])", False),
    (lambda: x[0] ^ x[1], "bx.xor_s([x(0).to_bx(), x(1).to_bx()])", False),
    (lambda: ~x[0], "~(x(0).to_bx())", False),
    (lambda: ~~x[0], "~(~(x(0).to_bx()))", False),
    (lambda: One & x[0], "bx.and_s([bx.one(), x(0).to_bx()])", False),
    (lambda: (x[0] + x[1]) & x[2], "bx.and_s([x(0).to_pb() + x(1).to_pb(), x(2).to_bx()])", False),
    (
        lambda: (x[0] + x[1]).maxsat(True),
        "FormulaPB(x(0).to_pb() + x(1).to_pb(), None, None).to_maxsat(manager, True)",
        True,
    ),
    (lambda: x[0].maxsat(False), "FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, False)", True),
    (lambda: x[0].maxsat(1), "FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, 1)", True),
    (lambda: Expression(), "", True),
    (lambda: x[i], "x(i)", True),
    (lambda: One, "bx.one()", False),
    (lambda: Zero, "bx.zero()", False),
]

POWERS = [
    (lambda: pow_expression(2, i), "2 ** i", True),
    (lambda: pow_expression(3, 4), "3 ** 4", True),
    (lambda: pow_expression(-2, 2), "(-2) ** 2", True),
    (lambda: pow_expression(2, -1), "2 ** (-1)", True),
    (lambda: pow_expression(2, 2 * i), "2 ** (2 * i)", True),
    (lambda: pow_expression(2, i + 1), "2 ** (i + 1)", True),
    (lambda: pow_expression(pow_expression(2, 3), 2), "(2 ** 3) ** 2", True),
]

INDEXED = [
    (
        lambda: Sum(x[i, j], i=range(3), j=range(2)),
        "Sum(*[x(i,j).to_pb() for i in range(0, 3) for j in range(0, 2)])",
        True,
    ),
    (
        lambda: Sum(x[i, j], j=range(2), i=range(3)),
        "Sum(*[x(i,j).to_pb() for j in range(0, 2) for i in range(0, 3)])",
        True,
    ),
    (lambda: And(x[i, j], j=[0, 1]), "bx.and_s([x(i,j).to_bx() for j in [0, 1]])", False),
    (
        lambda: Or(x[i, 0] & x[i + 1, 0], i=range(2)),
        "bx.or_s([bx.and_s([x(i,0).to_bx(), x(i + 1,0).to_bx()]) for i in range(0, 2)])",
        False,
    ),
    (lambda: Xor(x[0, 1]), "bx.xor_s([x(0,1).to_bx() ])", False),
    (lambda: Sum(x[0, 1]), "Sum(*[x(0,1).to_pb() ])", True),
    (
        lambda: Sum(Sum(x[i, j], j=range(2)), i=range(3)),
        "Sum(*[Sum(*[x(i,j).to_pb() for j in range(0, 2)]) for i in range(0, 3)])",
        True,
    ),
    (lambda: Sum(2 * x[i, 0], i=range(3)), "Sum(*[2 * (x(i,0).to_pb()) for i in range(0, 3)])", True),
    (
        lambda: Sum(pow_expression(2, i) * x[i], i=range(3)),
        "Sum(*[2 ** i * (x(i).to_pb()) for i in range(0, 3)])",
        True,
    ),
    (lambda: Sum(x[i], i=range(0)), "Sum(*[x(i).to_pb() for i in range(0, 0)])", True),
    (lambda: And(x[i], i=(3,)), "bx.and_s([x(i).to_bx() for i in (3,)])", False),
    (lambda: Or(x[i], i=range(1, 10, 2)), "bx.or_s([x(i).to_bx() for i in range(1, 10, 2)])", False),
    (
        lambda: Sum(x[i, j], i=range(3), j="range(i, 2)"),
        "Sum(*[x(i,j).to_pb() for i in range(0, 3) for j in range(i, 2)])",
        True,
    ),
    (
        lambda: Sum(x[i, j], j=range(2)) <= 1,
        "FormulaPB(Sum(*[x(i,j).to_pb() for j in range(0, 2)]), pb.Comparator_type.LEQ, 1).to_bx(manager)",
        False,
    ),
]

ITERATED_AND_CONNECTIVES = [
    (lambda: AndIt([]), "bx.and_s([])", False),
    (lambda: SumIt(()), "Sum(*[])", True),
    (lambda: OrIt(""), "bx.or_s([])", False),
    (lambda: XorIt(range(0)), "bx.xor_s([])", False),
    (lambda: SumIt([x[0], x[1]]), "Sum(*[x(0).to_pb(), x(1).to_pb()])", True),
    (lambda: AndIt([x[0], x[1]]), "bx.and_s([x(0).to_bx(), x(1).to_bx()])", False),
    (lambda: XorIt((x[0], x[1], x[2])), "bx.xor_s([x(0).to_bx(), x(1).to_bx(), x(2).to_bx()])", False),
    (lambda: OrIt([x[0]]), "bx.or_s([x(0).to_bx()])", False),
    (lambda: OrIt([x[0], x[0]]), "bx.or_s([x(0).to_bx(), x(0).to_bx()])", False),
    (
        lambda: AndIt([x[0], OrIt([x[1], x[2]])]),
        "bx.and_s([x(0).to_bx(), bx.or_s([x(1).to_bx(), x(2).to_bx()])])",
        False,
    ),
    (lambda: SumIt([2 * x[0], x[1]]) >= 1,
     "FormulaPB(Sum(*[2 * (x(0).to_pb()), x(1).to_pb()]), pb.Comparator_type.GEQ, 1).to_bx(manager)",
     False),
    (lambda: IfThenElse(x[0], x[1], x[2]), "bx.ite_s(x(0).to_bx(), x(1).to_bx(), x(2).to_bx())", False),
    (lambda: Implication(x[0], x[1]), "bx.impl_s(x(0).to_bx(), x(1).to_bx())", False),
    (lambda: Equiv(), "bx.eq_s([])", False),
    (lambda: Equiv(x[0]), "bx.eq_s([x(0).to_bx()])", False),
    (lambda: Equiv(x[0], ~x[1], Zero), "bx.eq_s([x(0).to_bx(), ~(x(1).to_bx()), bx.zero()])", False),
]


@pytest.mark.parametrize("build, text, soft", OPERATORS + POWERS + INDEXED + ITERATED_AND_CONNECTIVES)
def test_text_and_soft_flag(build, text, soft):
    expression = build()
    assert str(expression) == text
    assert expression.soft is soft


TERM_OPERATORS = [
    lambda a, b: a + b, lambda a, b: a - b, lambda a, b: 2 * a, lambda a, b: a * 2,
    lambda a, b: a <= 1, lambda a, b: a >= 1, lambda a, b: a == 1, lambda a, b: a.maxsat(True),
    lambda a, b: pow_expression(2, 3) * a,
]
BOOLEAN_OPERATORS = [lambda a, b: a & b, lambda a, b: a | b, lambda a, b: a ^ b, lambda a, b: ~a]
TERMS = [lambda: x[0], lambda: Sum(x[i], i=range(2))]


@pytest.mark.parametrize("operate, left", [(operate, left) for left in TERMS for operate in
                                           TERM_OPERATORS + BOOLEAN_OPERATORS]
                         + [(operate, lambda: AndIt([x[1]])) for operate in BOOLEAN_OPERATORS])
def test_operators_build_plain_expressions_and_leave_operands(operate, left):
    a, b = left(), x[3]
    before = (str(a), str(b), type(a))
    result = operate(a, b)
    assert type(result) is Expression
    assert (str(a), str(b), type(a)) == before


def test_expressions_are_unhashable():
    with pytest.raises(TypeError):
        hash(x[0])
    with pytest.raises(TypeError):
        {x[0] + x[1]}


@pytest.mark.parametrize(
    "build, has_ability",
    [
        (lambda: SumIt([x[0]]), True),
        (lambda: SumIt([]), True),
        (lambda: AndIt([x[0]]), False),
        (lambda: OrIt([x[0]]), False),
        (lambda: XorIt([x[0]]), False),
        (lambda: Sum(x[0]), False),
        (lambda: And(x[0]), False),
        (lambda: Equiv(), False),
        (lambda: Implication(x[0], x[1]), False),
        (lambda: IfThenElse(x[0], x[1], x[2]), False),
        (lambda: x[0] + x[1], False),
    ],
)
def test_only_sum_it_carries_target_ability(build, has_ability):
    assert getattr(build(), "ability_use_for_target", None) is (True if has_ability else None)


def test_indexed_value_is_read_once_at_construction():
    values = [0, 1]
    expression = And(x[i], i=values)
    values.append(2)
    assert str(expression) == "bx.and_s([x(i).to_bx() for i in [0, 1]])"
