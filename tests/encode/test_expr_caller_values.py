"""Caller values written into expression text: numbers as their digits, index
arithmetic as itself, and anything else refused with a logged TypeError before
a text exists, so that no caller value is ever evaluated as code."""
import numpy as np
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder import Model
from tarvo_encoder.encode.expressions import And, Sum, pow_expression
from tarvo_encoder.encode.variables import Index, Variable

x = Variable("x", {"a": 4}, 1)
y = Variable("y", {"a": 2, "b": 2}, 5)
i, j = Index("i"), Index("j")
PAYLOAD = "print('ran') or 1"


class Formatted(int):
    """An int whose formatting says something else."""

    def __format__(self, format_spec):
        return PAYLOAD

    def __str__(self):
        return PAYLOAD


class ListWithText(list):
    def __format__(self, format_spec):
        return "[0] if print('ran') else [0]"


@pytest.mark.parametrize("build", [
    lambda: Sum(x[i], i=PAYLOAD),
    lambda: Sum(x[i], i="range(__import__('os').getpid())"),
    lambda: Sum(x[i], i="range(i.name)"),
    lambda: Sum(x[i], i=5),
    lambda: Sum(x[i], i=[0, "1"]),
    lambda: Sum(x[i], **{"i in [0]] + [print('ran') for i": [0]}),
    lambda: And(x[i], **{"if": [0]}),
    lambda: x[PAYLOAD],
    lambda: x[(0, "print('ran')")],
    lambda: x[1.0],
    lambda: x[Index("i", PAYLOAD)],
    lambda: i + PAYLOAD,
    lambda: PAYLOAD * i,
    lambda: pow_expression(PAYLOAD, 2),
    lambda: pow_expression(2, "k.bit_length()"),
    lambda: pow_expression(2, Index("k", "len(k)")),
    lambda: pow_expression(2, 1.5),
    lambda: x[0].maxsat(PAYLOAD),
    lambda: x[0].maxsat(1.0),
], ids=["loop text", "loop call", "loop attribute", "loop int", "loop str member",
        "loop name", "loop keyword", "subscript text", "subscript member", "subscript float",
        "subscript index text", "shift text", "factor text", "power base text", "power call",
        "power index text", "power float", "minimization text", "minimization float"])
def test_values_that_are_no_index_arithmetic_are_refused(build, capsys, caplog):
    with pytest.raises(TypeError) as raised:
        build()
    assert ("ERROR", str(raised.value)) in [(r.levelname, r.getMessage()) for r in caplog.records]
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("build, text", [
    (lambda: x[Formatted(2)], "x(2)"),
    (lambda: Sum(x[i], i=ListWithText([0, Formatted(1)])), "Sum(*[x(i).to_pb() for i in [0, 1]])"),
    (lambda: i + Formatted(1), "i + 1"),
    (lambda: Formatted(3) * x[0], "3 * (x(0).to_pb())"),
    (lambda: x[0] <= Formatted(1), "FormulaPB(x(0).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)"),
    (lambda: pow_expression(Formatted(2), np.int64(3)), "2 ** 3"),
    (lambda: x[np.int64(1)], "x(1)"),
    (lambda: y[i, j - np.int8(1)], "y(i,j - 1)"),
    (lambda: y["ij"], "y(i,j)"),
    (lambda: Sum(y[i, j], i=range(2), j=" range(i, 2) "), "Sum(*[y(i,j).to_pb() for i in range(0, 2) for j in range(i, 2)])"),
    (lambda: Sum(y[i, j], i=range(2), j="range(-1 + (i - 1), 2 * i, 1)"),
     "Sum(*[y(i,j).to_pb() for i in range(0, 2) for j in range(-1 + (i - 1), 2 * i, 1)])"),
    (lambda: pow_expression(2, "62 - k"), "2 ** (62 - k)"),
    (lambda: pow_expression(i + 1, pow_expression(2, j)), "(i + 1) ** (2 ** j)"),
    (lambda: x[0].maxsat(np.True_), "FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, True)"),
    (lambda: x[0].maxsat(None), "FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, None)"),
    (lambda: x[0].maxsat(np.int64(0)), "FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, 0)"),
], ids=["subscript digits", "list subclass", "shift digits", "factor digits", "bound digits", "power digits", "numpy subscript",
        "numpy shift", "subscript string", "dependent range", "dependent range arithmetic", "power arithmetic",
        "power of powers", "numpy minimization", "no minimization", "int minimization"])
def test_numbers_are_written_as_digits_and_index_arithmetic_as_itself(build, text):
    assert str(build()) == text


@pytest.mark.parametrize("weight, minimization", [
    ("1", False), (1.0, False), (None, False), (1, "print('ran') or True"), (1, 0.5), (1, [True]),
], ids=["weight text", "weight float", "weight None", "minimization text", "minimization float",
        "minimization list"])
@pytest.mark.parametrize("use_formula_encoder", [False, True], ids=["container", "formula encoder"])
def test_soft_constraint_arguments_are_checked_before_anything_is_written(use_formula_encoder, weight,
                                                                          minimization, capsys, caplog):
    model = Model(ce.manager(), "soft", use_formula_encoder=use_formula_encoder)
    v = model.create_variables("v", a=2)
    with pytest.raises(TypeError) as raised:
        model.add_soft_constraint(v[0] + v[1], weight, minimization)
    assert ("ERROR", str(raised.value)) in [(r.levelname, r.getMessage()) for r in caplog.records]
    assert capsys.readouterr().out == ""
    # Refused before the model changed: hard constraints are still welcome.
    assert model._is_wcnf is None
    model.add_constraint(v[0])
