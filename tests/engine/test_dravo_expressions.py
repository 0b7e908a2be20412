import pytest

import velmont.corvane_engine.dravo as bx
from dravo_check import RandomFormulas, assignments, evaluate

CTX = bx.Context()
A, B, C = (CTX.get_var(n) for n in "abc")
ONE, ZERO = bx.one(), bx.zero()


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda: bx.and_s([]), "1"),
        (lambda: bx.or_s([]), "0"),
        (lambda: bx.xor_s([]), "0"),
        (lambda: bx.eq_s([]), "1"),
        (lambda: bx.and_s([A]), "a"),
        (lambda: bx.or_s([~A]), "~a"),
        (lambda: bx.xor_s([A]), "a"),
        (lambda: bx.eq_s([A]), "1"),
        # constants fold
        (lambda: bx.and_s([A, ZERO, B]), "0"),
        (lambda: bx.and_s([ONE, A, ONE, B]), "And(a, b)"),
        (lambda: bx.or_s([A, ONE]), "1"),
        (lambda: bx.or_s([ZERO, A, ZERO]), "a"),
        (lambda: bx.xor_s([A, ONE]), "~a"),
        (lambda: bx.xor_s([ZERO, A, B]), "Xor(a, b)"),
        (lambda: bx.eq_s([A, ONE, B]), "And(a, b)"),
        (lambda: bx.eq_s([A, ZERO]), "~a"),
        (lambda: bx.eq_s([ONE, ZERO, A]), "0"),
        # a variable meeting its negation
        (lambda: bx.and_s([A, B, ~A]), "0"),
        (lambda: bx.or_s([~A, B, A]), "1"),
        (lambda: bx.xor_s([A, ~A]), "1"),
        (lambda: bx.eq_s([A, ~A]), "0"),
        # flattening and duplicates
        (lambda: bx.and_s([A, bx.and_s([B, C]), A]), "And(a, b, c)"),
        (lambda: bx.or_s([bx.or_s([A, B]), bx.or_s([B, C])]), "Or(a, b, c)"),
        (lambda: bx.and_s([bx.and_([A, ~B]), B]), "0"),
        (lambda: bx.xor_s([A, B, A]), "b"),
        (lambda: bx.xor_s([bx.xor_s([A, B]), ~B, C]), "~Xor(a, c)"),
        # implication and if-then-else
        (lambda: bx.impl_s(ZERO, A), "1"),
        (lambda: bx.impl_s(ONE, A), "a"),
        (lambda: bx.impl_s(A, ZERO), "~a"),
        (lambda: bx.impl_s(A, A), "1"),
        (lambda: bx.impl_s(A, ~A), "~a"),
        (lambda: bx.impl_s(A, B), "Impl(a, b)"),
        (lambda: bx.ite_s(ONE, A, B), "a"),
        (lambda: bx.ite_s(ZERO, A, B), "b"),
        (lambda: bx.ite_s(C, A, A), "a"),
        (lambda: bx.ite_s(A, ONE, ZERO), "a"),
        (lambda: bx.ite_s(A, ZERO, ONE), "~a"),
        (lambda: bx.ite_s(A, ONE, B), "Or(a, b)"),
        (lambda: bx.ite_s(A, B, ~B), "Eq(a, b)"),
        (lambda: bx.ite_s(~A, B, C), "Ite(a, c, b)"),
        (lambda: bx.ite_s(A, B, C), "Ite(a, b, c)"),
        # negation
        (lambda: ~~A, "a"),
        (lambda: ~ONE, "0"),
        (lambda: ~bx.and_s([A, ~B]), "~And(a, ~b)"),
        (lambda: bx.eq_s([A, B, C]), "Eq(a, b, c)"),
    ],
)
def test_simplification_table(build, text):
    assert str(build()) == text


def test_simplified_constructors_keep_the_meaning():
    # Random nested uses of every constructor (constants, negations, shared
    # operands included), each compared with its plain-Python meaning.
    names = ["a", "b", "c", "d"]
    gen = RandomFormulas(7, bx.Context(), names)
    for _ in range(200):
        formula, meaning = gen.formula(depth=3)
        for values in assignments(names):
            assert evaluate(formula, values) == meaning(values), str(formula)


@pytest.mark.parametrize("operands", [[], [A], [A, A], [A, ~B, A, ONE], [bx.or_s([A, B]), ZERO]])
def test_plain_and_keeps_every_operand_in_order(operands):
    conj = bx.and_(operands)
    assert isinstance(conj, bx.And)
    args = conj.get_args()
    assert len(args) == len(operands) and all(x is y for x, y in zip(args, operands))


@pytest.mark.parametrize(
    "build, text",
    [
        (lambda: A, "a"),
        (lambda: ~A, "~a"),
        (lambda: CTX.get_var("x(i + 1,j)"), "x(i + 1,j)"),
        (lambda: ~CTX.get_var("x(i + 1,j)"), "~x(i + 1,j)"),
        (lambda: bx.and_([A, ~B]), "And(a, ~b)"),
        (lambda: bx.and_([]), "And()"),
        (lambda: bx.or_s([A, bx.and_s([B, ~C])]), "Or(a, And(b, ~c))"),
        (lambda: bx.impl_s(A, bx.xor_s([B, C])), "Impl(a, Xor(b, c))"),
    ],
)
def test_text_forms(build, text):
    e = build()
    assert str(e) == text and repr(e) == text


@pytest.mark.parametrize(
    "build, kind",
    [
        (lambda: bx.and_s([A, B]), bx.And), (lambda: bx.or_s([A, B]), bx.Or),
        (lambda: bx.xor_s([A, B]), bx.Xor), (lambda: bx.eq_s([A, B]), bx.Eq),
        (lambda: bx.impl_s(A, B), bx.Impl), (lambda: bx.ite_s(A, B, C), bx.Ite),
        (lambda: ~A, bx.Not), (lambda: A, bx.Variable),
        (lambda: bx.zero(), bx.Zero), (lambda: bx.one(), bx.One),
    ],
)
def test_every_node_is_an_instance_of_its_class_and_of_base_expr(build, kind):
    e = build()
    assert type(e) is kind and isinstance(e, bx.BaseExpr)


def test_operands_come_in_a_fixed_order():
    f = bx.and_s([bx.or_s([A, ~B]), C, bx.or_s([B, C])])
    first = [str(x) for x in f.get_args()]
    assert first == ["Or(a, ~b)", "c", "Or(b, c)"] == [str(x) for x in f.get_args()]
    assert [str(x) for x in f.get_args()[0].get_args()] == ["a", "~b"]
    assert A.get_args() == [] and ZERO.get_args() == []


def test_context_gives_one_variable_per_name():
    ctx = bx.Context()
    x = ctx.get_var("x")
    assert ctx.get_var("x") is x and x == ctx.get_var("x")
    assert len({x, ctx.get_var("x"), ctx.get_var("y")}) == 2
    other = bx.Context().get_var("x")
    assert other != x and str(other) == str(x)


def test_support_lists_each_variable_once_in_order_of_appearance():
    f = bx.or_s([bx.and_s([C, ~A]), bx.xor_s([A, B]), ~C])
    assert [str(v) for v in f.support()] == ["c", "a", "b"]
    assert all(type(v) is bx.Variable for v in f.support())
    assert bx.one().support() == []


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: bx.and_s([A, 1]), TypeError, "an element that is int"),
        (lambda: bx.or_s([A, None]), TypeError, "an element that is NoneType"),
        (lambda: bx.xor_s([True]), TypeError, "an element that is bool"),
        (lambda: bx.eq_s(A), TypeError, "list of dravo expressions"),
        (lambda: bx.and_("ab"), TypeError, "list of dravo expressions"),
        (lambda: bx.and_s(3), TypeError, "list of dravo expressions"),
        (lambda: bx.impl_s(A, False), TypeError, "impl_s expects dravo expressions, got bool"),
        (lambda: bx.ite_s(A, B, "c"), TypeError, "ite_s expects dravo expressions, got str"),
        (lambda: CTX.get_var("a~b"), ValueError, "must not contain '~'"),
        (lambda: CTX.get_var(""), ValueError, "must not be empty"),
        (lambda: CTX.get_var(5), TypeError, None),
        (lambda: A.tseytin("ctx", "p"), TypeError, None),
        (lambda: A.tseytin(CTX, 5), TypeError, None),
        (lambda: bx.or_s([A, B]).tseytin(CTX, "p~"), ValueError, "must not contain '~'"),
        (lambda: bx.BaseExpr(), TypeError, None),
        # An instance made with __new__ holds no expression.
        (lambda: bx.and_s([A, bx.And.__new__(bx.And)]), TypeError, "an empty .*dravo.And made with __new__"),
        (lambda: bx.and_([bx.Variable.__new__(bx.Variable)]), TypeError, "an empty .*dravo.Variable made with"),
        (lambda: bx.impl_s(bx.Or.__new__(bx.Or), A), TypeError, "impl_s expects dravo expressions, got an empty"),
    ],
)
def test_bad_input_raises_a_clear_error(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_comparison_with_other_objects_is_left_to_python():
    empty = bx.And.__new__(bx.And)
    assert (A == None) is False and (A != None) is True  # noqa: E711
    assert None not in [A] and A in [None, A] and [None, 1, A].index(A) == 2
    assert (A == 1) is False and (A == "a") is False and (A == empty) is False and A != empty
    assert A == CTX.get_var("a") and A != B
