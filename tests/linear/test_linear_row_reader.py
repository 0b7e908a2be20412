"""The one-pass row reader against the checked evaluation, the reference
road it stands beside: random constraints and targets of the forms the
operators and sum combinators write, added with the reader on and forced
off, must hand the engine the same rows and costs, raise the same errors and
log the same lines; every text the reader is unsure of is left to the
reference road."""
import random

import numpy as np
import pytest

from random_formulas import Writer, declared
from tarvo_encoder.linear_parser import LinearModel
from tarvo_encoder.linear_parser import _row_reader as row_reader
from tarvo_encoder.linear_parser.compiled_linear_expressions import CompiledSum

def plain(value):
    """An engine argument as comparable data: arrays with their dtype, numbers with their type."""
    if isinstance(value, np.ndarray):
        return value.dtype.str, [(item, type(item)) for item in value.tolist()]
    return value, type(value)


def outcome(seed, reader_on, act):
    """What the model hands the engine, raises and logs for `act(model, writer)`."""
    row_reader.set_row_reader(reader_on)
    try:
        model = LinearModel()
        variables, indexes = declared(model)
        writer = Writer(random.Random(seed), variables, indexes)
        model._tovric_model.calls.clear()
        try:
            act(model, writer)
            error = None
        except Exception as caught:  # noqa: BLE001 - the error is what is compared
            error = type(caught), str(caught)
        calls = [(name, [plain(argument) for argument in arguments]) for name, arguments in model._tovric_model.calls]
        return calls, error
    finally:
        row_reader.set_row_reader(True)


def add_constraint(model, writer):
    expression, arguments = writer.constraint()
    model.add_constraint(expression, **arguments)


def add_target(model, writer):
    model.add_target(writer.term([]), writer.rng.random() < 0.5)


@pytest.mark.parametrize("act", [add_constraint, add_target])
def test_the_reader_gives_what_the_checked_evaluation_gives(act, recording, sink, monkeypatch):
    read = []
    for name in ("read_rows", "read_expression"):
        road = getattr(row_reader, name)
        monkeypatch.setattr(row_reader, name, lambda *arguments, road=road: read.append(road(*arguments)) or read[-1])
    for seed in range(300):
        start = len(sink.records)
        fast = outcome(seed, True, act)
        fast_log = sink.records[start:]
        reference = outcome(seed, False, act)
        assert fast == reference, f"seed {seed}"
        assert fast_log == sink.records[start + len(fast_log):], f"seed {seed}"
    # The reader took most texts; it is not asked with the road off.
    assert sum(value is not None for value in read) > 200


@pytest.fixture
def blocks():
    model = LinearModel()
    declared(model)
    return model._blocks


@pytest.mark.parametrize("text", [
    "(x(0,0)) * (y(1))",                     # quadratic
    "x(i,0)",                                # a name no clause binds
    "CompiledSum([])",                       # the empty sum is the evaluation's
    "CompiledSum([3, x(0,0)])",              # a number among the sum's elements
    "True * (x(0,0))",
    "1/3 * (x(0,0))",
    "x(0,0) ** 2",
    "2 - x(0,0)",                            # number - expression
    "x(5,0)",                                # outside its block
    "x(0)",                                  # too few subscripts
    "z(0)",
    "x(0.0,1)",
    "w(0)",                                  # not a variable
    "12345678901234567890 * (x(0,0))",       # past 64 bits
    "1e400 * (x(0,0))",                      # not finite
    "1e300 * (1e300 * (x(0,0)))",            # overflows to inf
    "inf * (x(0,0))",
    "x(01,0)",
    "1_0 * (x(0,0))",
    "x(0,0),",
    "CompiledSum([x(i,0) for i in range(0, 3) if i])",
    "CompiledSum([x(i,0) for range in range(0, 3)])",
    "CompiledSum([x(x,0) for x in range(0, 3)])",
    "CompiledSum([x(i,0) for i in range(0, 3, 0)])",
    "CompiledSum([x(0,0)], 1)",
    "x(0,0)" + " + x(0,1)" * 1200,           # deeper than the host's compiler goes
    "-(" * 120 + "x(0,0)" + ")" * 120,       # nested deeper than the host's parser takes
    "- " * 100000 + "x(0,0)",                # signs past the host's recursion
    "x(" + "-" * 100000 + "1,0)",
    "x(0,0) + ÿ(0)",
])
def test_texts_the_reader_is_unsure_of_go_the_reference_road(blocks, text):
    assert row_reader.read_rows(text, "", blocks) is None


@pytest.mark.parametrize("text, fors, expected", [
    ("CompiledSum([2 * (x(0,1)), 0.5 * (y(3)), x(0,1)]) - (3 * (y(0))) + 4", "",
     [(4.0, [5, 20, 23], [3.0, -3.0, 0.5])]),
    ("CompiledSum([x(i,j) for i in range(0, 4)])", "for j in [0, 2]", [(0, [0, 1, 2, 3], [1, 1, 1, 1]),
                                                                      (0, [10, 11, 12, 13], [1, 1, 1, 1])]),
    ("CompiledSum([x(i,j) for i in range(0, 2) for i in [3]])", "for j in (1,)", [(0, [8], [2])]),
    ("x(i + 1,2 * j - 1) - -2", "for i in range(1, -1, -1) for j in [1]", [(2, [7], [1]), (2, [6], [1])]),
    ("x(0,0) - (x(0,0))", "", [(0, [], [])]),
    ("0 * (x(0,0))", "", [(0, [0], [0])]),
    ("-0.5 * (x(0,0)) + 1", "for i in []", []),
])
def test_rows_as_read(blocks, text, fors, expected):
    rows = row_reader.read_rows(text, fors, blocks)
    assert [(c, columns.tolist(), values.tolist()) for c, columns, values in rows] == expected
    for reference, (c, columns, values) in zip(eval(f"[{text} {fors}]", {"CompiledSum": CompiledSum, **model_of(blocks)}),
                                               rows):
        assert (c, type(c)) == (reference.constant, type(reference.constant))
        assert columns.dtype == reference.linear_coefficients_indexes.dtype
        assert values.dtype == reference.linear_coefficients.dtype


def model_of(blocks):
    model = LinearModel()
    variables, _ = declared(model)
    assert model._blocks == blocks
    return variables
