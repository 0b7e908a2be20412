"""The native operators and subscript of the text linear model against the
reference functions they stand beside (the fast road switched off): random
formulas, now and then with operands that only the reference road takes or
refuses, must come out with the same texts, borders and classes, raise the
same errors and log the same lines."""
import copy
import gc
import math
import pickle
import random
import struct
from fractions import Fraction

import numpy as np
import pytest

from random_formulas import Writer, declared
from tarvo_encoder import _native
from tarvo_encoder.linear_parser import LinearModel, Sum, SumIt

# Numbers that the reference road writes (or refuses): other number types, bool, non-finite floats, no number.
ODD_OPERANDS = [np.float64(0.25), np.int64(-4), True, Fraction(1, 3), float("inf"), float("nan"), 2 ** 70, "a"]


class OddWriter(Writer):
    def number(self):
        return self.rng.choice(ODD_OPERANDS) if self.rng.random() < 0.05 else super().number()

    def term(self, bound, depth=0):
        term = super().term(bound, depth)
        # A bordered operand: refused by every operator but unary + and - and subtraction from a number.
        return term <= 1 if self.rng.random() < 0.03 else term


def written(seed, fast, sink):
    _native.set_linear_fast_road(fast)
    start = len(sink.records)
    try:
        model = LinearModel()
        variables, indexes = declared(model)
        writer = OddWriter(random.Random(seed), variables, indexes)
        try:
            expression, arguments = writer.constraint()
            result = type(expression).__name__, str(expression), expression.lo, expression.hi, arguments
        except Exception as caught:  # noqa: BLE001 - the error is what is compared
            result = type(caught), str(caught)
        return result, sink.records[start:]
    finally:
        _native.set_linear_fast_road(True)


def test_native_operators_write_what_the_reference_functions_write(sink):
    for seed in range(400):
        assert written(seed, True, sink) == written(seed, False, sink), f"seed {seed}"


@pytest.mark.parametrize("write, text", [
    (lambda x: 3 * x[1, 2], "3 * (x(1,2))"),
    (lambda x: x[1, 2] * 2.5, "2.5 * (x(1,2))"),
    (lambda x: x[0, 0] * -1e-05 + 7, "-1e-05 * (x(0,0)) + 7"),
    (lambda x: 1e16 * x[0, 0] - 0.1, "1e+16 * (x(0,0)) - 0.1"),
    (lambda x: 100.0 * x[0, 0], "100.0 * (x(0,0))"),
    (lambda x: 5 - x[0, 1], "-(x(0,1)) + 5"),
    (lambda x: 0.5 + x[0, 1], "x(0,1) + 0.5"),
    (lambda x: SumIt([x[0, 0], 2 * x[1, 0]]) - 3 * x[2, 0], "CompiledSum([x(0,0), 2 * (x(1,0))]) - (3 * (x(2,0)))"),
    (lambda x: x[(1, 2)] * x[0, 0], "(x(1,2)) * (x(0,0))"),
    (lambda x: -x[4, 3] + -2, "-(x(4,3)) + -2"),
])
def test_texts(write, text):
    model = LinearModel()
    variables, _ = declared(model)
    assert str(write(variables["x"])) == text


def test_a_comparison_copies_and_leaves_the_operand_free():
    model = LinearModel()
    x = declared(model)[0]["x"]
    element = x[0, 0]
    bounded = 1 <= element
    assert (type(bounded).__name__, bounded.lo, bounded.hi) == ("LinearExpression", 1, None)
    assert element.lo is None and str(element + 1) == "x(0,0) + 1"
    with pytest.raises(TypeError):
        hash(element)


def _floats():
    """Doubles whose repr takes every form: fixed and exponent notation on both sides of their borders,
    subnormals, the extremes, and random bit patterns."""
    rng = random.Random(11)
    edges = [0.0, -0.0, 0.1, 0.5, 1.0, 100.0, 0.0001, 0.00001, 9.999999999999999e-05, 1e15, 1e16,
             9999999999999998.0, 1e16 + 2, 123456789012345.6, 1.7976931348623157e308, 5e-324, 2.2250738585072014e-308,
             1 / 3, 2 / 3, 1e22, 1e23, 4.35, 0.3]
    numbers = edges + [-value for value in edges]
    while len(numbers) < 3000:
        value = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
        if math.isfinite(value):
            numbers.append(value)
    numbers += [rng.uniform(-1e6, 1e6) for _ in range(1000)] + [float(rng.randrange(-10**17, 10**17)) for _ in range(500)]
    return numbers


def test_a_float_is_written_as_its_repr():
    model = LinearModel()
    element = declared(model)[0]["x"][0, 0]
    for value in _floats():
        assert str(element * value) == f"{value!r} * (x(0,0))", repr(value)


@pytest.mark.parametrize("field", ["_lo", "_hi", "_expression"])
def test_a_cycle_through_an_expressions_field_is_collected(field):
    model = LinearModel()
    x = declared(model)[0]["x"]
    gc.collect()
    cycle = x[0, 0] + 1
    setattr(cycle, field, [cycle])
    del cycle
    assert gc.collect() >= 2  # the expression and its list


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, lambda value: pickle.loads(pickle.dumps(value))],
                         ids=["copy", "deepcopy", "pickle"])
def test_expressions_and_variables_copy_whole(duplicate):
    model = LinearModel()
    variables, indexes = declared(model)
    x, i = variables["x"], indexes["i"]
    for expression in (x[1, 2], 2.5 * x[0, 0] <= 3, Sum(x[i, 0], i=range(2)), x[0, 0] == [1]):
        copied = duplicate(expression)
        assert (type(copied), str(copied), copied.lo, copied.hi) == (type(expression), str(expression),
                                                                      expression.lo, expression.hi)
    variable = duplicate(x)
    assert (type(variable), str(variable[1, 2]), variable.map, variable.shape) == (type(x), "x(1,2)", x.map, x.shape)
