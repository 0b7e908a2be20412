import pytest

import velmont.corvane_engine as ce
from tarvo_encoder.encode.expressions import (
    And,
    AndIt,
    Equiv,
    IfThenElse,
    Implication,
    Or,
    One,
    OrIt,
    Sum,
    SumIt,
    Xor,
    XorIt,
    pow_expression,
)
from tarvo_encoder.encode.variables import Variable

x = Variable("x", {"a": 4}, 1)

OPERAND = "Type 'Expression' is expected for left side of expression"
FACTOR = "Type 'Expression' or 'int' is expected for expression"
BOUND = "Type 'int' is expected for left side of expression"
COMBINATOR = "Type 'Expression' is expected for variable 'expression'"
MEMBERS = "Variable 'expressions' must contain only objects of type 'Expression'"
IMPLICATION = "Type 'Expression' is expected for variables 'if_expr' and 'then_expr'"
IF_THEN_ELSE = "Type 'Expression' is expected for variables 'if_expr', 'then_expr' and 'else_expr'"
NOT_EQUAL = "An expression has no != comparison: write ~(e == bound) for a sum that differs from the bound"
NO_TRUTH = ("An expression has no truth value: add each bound of a chained comparison as its own constraint,"
            " and join expressions with &, | and ~ instead of and, or and not")


def sequence_message(name):
    return "Use an iterable sequence as " + name + " input argument"


LOGGED = [
    (lambda: x[0] + 1, OPERAND),
    (lambda: x[0] - 1, OPERAND),
    (lambda: x[0] & 1, OPERAND),
    (lambda: x[0] | "x(1)", OPERAND),
    (lambda: x[0] ^ None, OPERAND),
    (lambda: x[0] * 2.5, FACTOR),
    (lambda: 2.5 * x[0], FACTOR),
    (lambda: x[0] * "2", FACTOR),
    (lambda: x[0] <= 2.5, BOUND),
    (lambda: x[0] <= x[1], BOUND),
    (lambda: x[0] >= None, BOUND),
    (lambda: x[0] == 2.5, BOUND),
    (lambda: x[0] != 2.5, BOUND),
    (lambda: Sum(5, i=range(2)), COMBINATOR),
    (lambda: And("x(0)"), COMBINATOR),
    (lambda: Or(None, i=range(2)), COMBINATOR),
    (lambda: Xor([x[0]]), COMBINATOR),
    (lambda: SumIt(e for e in [x[0]]), sequence_message("SumIt")),
    (lambda: SumIt({x[0].name}), sequence_message("SumIt")),
    (lambda: SumIt([x[0], 1]), MEMBERS),
    (lambda: AndIt("ab"), MEMBERS),
    (lambda: OrIt([x[0], x[1], None, "x"]), MEMBERS),
    (lambda: XorIt((1,)), MEMBERS),
    (lambda: Equiv([x[0], x[1]]), MEMBERS),
    (lambda: Equiv(x[0], True), MEMBERS),
    (lambda: Implication(x[0], 1), IMPLICATION),
    (lambda: Implication(None, x[0]), IMPLICATION),
    (lambda: IfThenElse(x[0], x[0], None), IF_THEN_ELSE),
    # Truth-tested, an expression would make these drop a bound or an operand without a word.
    (lambda: 0 <= x[0] + x[1] <= 1, NO_TRUTH),
    (lambda: 1 <= SumIt([x[0], x[1], x[2]]) <= 2, NO_TRUTH),
    (lambda: x[0] and x[1], NO_TRUTH),
    (lambda: x[0] or x[1], NO_TRUTH),
    (lambda: not (x[0] <= 1), NO_TRUTH),
    (lambda: x[0] != 1, NOT_EQUAL),
    (lambda: bool(One), NO_TRUTH),
]


@pytest.mark.parametrize("build, message", LOGGED)
def test_type_refusal_is_logged_at_error_level_then_raised(build, message, log_sink):
    with pytest.raises(TypeError) as raised:
        build()
    assert raised.value.args == (message,)
    assert log_sink.records == [(message, ce.log_level_type.error)]


BOOLEAN_TERM = r"A Boolean formula \(a comparison, a connective, a negation, One or Zero\) {} is not a pseudo-Boolean term"
POWER_TERM = r"pow_expression\(\.\.\.\) {} is a number, not a pseudo-Boolean term"


@pytest.mark.parametrize("build, message", [
    (lambda: x[0] + One, BOOLEAN_TERM.format("in a sum")),
    (lambda: (x[0] <= 1) - x[1], BOOLEAN_TERM.format("in a sum")),
    (lambda: 3 * ~x[0], BOOLEAN_TERM.format("multiplied by an int")),
    (lambda: (x[0] & x[1]) <= 1, BOOLEAN_TERM.format("compared with a bound")),
    (lambda: (x[0] == 1).maxsat(True), BOOLEAN_TERM.format("as a soft constraint")),
    (lambda: Sum(x[0] <= 0, i=range(2)), BOOLEAN_TERM.format("in a sum")),
    (lambda: SumIt([x[0], ~x[1]]), BOOLEAN_TERM.format("in a sum")),
    (lambda: pow_expression(2, 3) <= 9, POWER_TERM.format("compared with a bound")),
    (lambda: pow_expression(2, 3) + x[0], POWER_TERM.format("in a sum")),
    (lambda: Sum(pow_expression(2, 1) * 3, i=range(2)), POWER_TERM.format("in a sum")),
], ids=["One in a sum", "comparison in a difference", "weighted negation", "formula compared", "comparison as soft",
        "comparison in Sum", "negation in SumIt", "power compared", "power in a sum", "multiple of a power in Sum"])
def test_operand_that_is_no_term_is_refused_at_the_operator(build, message, log_sink):
    with pytest.raises(TypeError, match="^" + message) as raised:
        build()
    assert log_sink.records == [(str(raised.value), ce.log_level_type.error)]


class SinkCalled(Exception):
    pass


def test_message_reaches_the_sink_before_the_raise(monkeypatch):
    def failing_sink(message, level):
        raise SinkCalled(message, level)

    monkeypatch.setattr(ce, "log_encoder", failing_sink)
    with pytest.raises(SinkCalled) as raised:
        x[0] + 1
    assert raised.value.args == (OPERAND, ce.log_level_type.error)


@pytest.mark.parametrize(
    "build, message",
    [
        (lambda: OrIt(e for e in [x[0]]), sequence_message("OrIt")),
        (lambda: AndIt({1, 2}), sequence_message("AndIt")),
        (lambda: XorIt({"a": x[0]}), sequence_message("XorIt")),
        (lambda: OrIt(iter([x[0]])), sequence_message("OrIt")),
    ],
)
def test_sequence_check_of_boolean_iterations_is_silent(build, message, log_sink):
    with pytest.raises(TypeError) as raised:
        build()
    assert raised.value.args == (message,)
    assert log_sink.records == []


@pytest.mark.parametrize(
    "refused",
    [
        lambda: 1 + x[0],
        lambda: x[0] / 2,
        lambda: -x[0],
        lambda: x[0] < 1,
        lambda: x[0] > 1,
        lambda: True & x[0],
        lambda: Sum(x[0], expr=range(2)),
    ],
)
def test_operations_refused_by_the_host_log_nothing(refused, log_sink):
    with pytest.raises(TypeError):
        refused()
    assert log_sink.records == []


@pytest.mark.parametrize(
    "build",
    [lambda: AndIt([]), lambda: SumIt(()), lambda: OrIt(""), lambda: XorIt(range(0))],
)
def test_empty_sequence_warns_and_goes_on(build, log_sink):
    build()
    assert log_sink.records == [("The input sequence has zero length", ce.log_level_type.warning)]


@pytest.mark.parametrize(
    "build", [lambda: Equiv(), lambda: Equiv(x[0]), lambda: Sum(x[0], i=range(0)), lambda: SumIt([x[0]])]
)
def test_valid_constructions_log_nothing(build, log_sink):
    build()
    assert log_sink.records == []
