"""Variable blocks (columns, subscript text, element order) and symbolic indexes."""
import doctest
import itertools

import numpy as np
import pytest

from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.linear_parser import linear_variables
from tarvo_encoder.linear_parser.linear_variables import Index, LinearVariable

i, j = Index("i"), Index("j")


@pytest.mark.parametrize("build, text", [
    (lambda: Index("i"), "i"),
    (lambda: Index("i", "i + 1"), "i + 1"),
    (lambda: i + 1, "i + 1"),
    (lambda: i - 2, "i - 2"),
    (lambda: 3 * i, "3 * i"),
    (lambda: (i + 1) + 2, "i + 1 + 2"),
    (lambda: (i - 1) - 1, "i - 1 - 1"),
    (lambda: 2 * (i + 1), "2 * (i + 1)"),
    (lambda: 2 * i + 1, "2 * i + 1"),
    (lambda: i + j, "i + j"),
    (lambda: i - (j + 1), "i - (j + 1)"),
    (lambda: i + -1, "i + -1"),
    (lambda: i - -1, "i - -1"),
])
def test_index_text(build, text):
    index = build()
    assert str(index) == text and index.name == "i"


def test_the_index_docstring_examples_hold():
    # The docstring is where a newcomer learns what (i + 1) + 2 means.
    results = doctest.testmod(linear_variables, optionflags=doctest.ELLIPSIS)
    assert results.attempted and not results.failed


@pytest.mark.parametrize("operation", [lambda: i * 2, lambda: 1 + i, lambda: -i])
def test_index_has_no_other_operators(operation):
    with pytest.raises(TypeError):
        operation()


def block(st_shift=10, **dims):
    return LinearVariable("x", -1, 1, dims or {"a": 2, "b": 3}, st_shift, type_var="float64")


@pytest.mark.parametrize("key, text", [
    ((i, j + 1), "x(i,j + 1)"),
    ([i, 2], "x(i,2)"),
    ((), "x()"),
    (("i", 2), "x(i,2)"),
    ("ij", "x(i,j)"),
    (i, "x(i)"),
    (0, "x(0)"),
])
def test_subscript_text(key, text):
    assert repr(block()[key]) == text


class Disguised(int):
    """An int whose text is another formula."""

    def __str__(self):
        return "y(1)"

    __format__ = __repr__ = lambda self, *format_spec: "y(1)"


def test_an_integral_subscript_or_operand_is_written_as_its_digits():
    assert repr(block()[Disguised(1), np.int64(2)]) == "x(1,2)"
    assert repr(block(a=2)[Disguised(1)]) == "x(1)"
    element = block()[0, 0]
    assert [str(f(element)) for f in (lambda e: e + Disguised(1), lambda e: Disguised(1) * e)] == [
        "x(0,0) + 1", "1 * (x(0,0))"]


@pytest.mark.parametrize("key", [("0) + 100 * y(1",), (0, "0) + y(1"), i + "0)) + y((1"],
                         ids=["text", "second text", "index shifted by text"])
def test_a_subscript_that_would_close_the_call_is_refused(sink, key):
    # Pasted as written, each would close the call of x and add a term of y to the row.
    with pytest.raises(FormulaError) as raised:
        block()[key]
    assert str(raised.value).startswith("A subscript must be an int, an index or one expression of its own, not ")
    assert sink.records == [("error", str(raised.value))]


def test_columns_run_first_subscript_fastest_and_map_lists_c_order():
    x = block(st_shift=10, a=2, b=3, c=4)
    assert x._shifts == [1, 2, 6]
    columns = {s: x(*s).linear_coefficients_indexes[0] for s in itertools.product(range(2), range(3), range(4))}
    assert sorted(columns.values()) == list(range(10, 34))
    assert all(columns[(a, b, c)] == 10 + a + 2 * b + 6 * c for a, b, c in columns)
    assert x.map == tuple(columns[s] for s in itertools.product(range(2), range(3), range(4)))
    assert block().map == (10, 12, 14, 11, 13, 15) and block().shape == (2, 3)


def test_one_element_call():
    element = block()(1, 2)
    assert element._linear_coefficients.shape == (16, 1)
    assert list(element.linear_coefficients_indexes) == [15] and list(element.linear_coefficients) == [1]
    assert element.constant == 0 and element.quadratic_coefficients is None


def test_blocks_without_dimensions_and_of_size_zero():
    scalar = LinearVariable("s", 0, 1, {}, 7, type_var="int32")
    assert scalar.shape == () and scalar.map == (7,) and scalar._shifts == []
    assert list(scalar().linear_coefficients_indexes) == list(scalar(0).linear_coefficients_indexes) == [7]
    assert LinearVariable("e", 0, 1, {"k": 0}, 3, type_var="int32").map == ()


@pytest.mark.parametrize("subscripts, error, text", [
    ((1,), IndexError, "Linear variable x takes 2 subscripts, 1 given"),
    ((1, 2, 0), IndexError, "Linear variable x takes 2 subscripts, 3 given"),
    ((2, 0), IndexError, "Subscripts (2,0) are out of range for linear variable x of shape (2, 3)"),
    ((0, -1), IndexError, "Subscripts (0,-1) are out of range for linear variable x of shape (2, 3)"),
    ((0, 1.0), TypeError, "Subscripts of linear variable x must be integers"),
])
def test_calls_outside_the_block_are_refused(sink, subscripts, error, text):
    with pytest.raises(error) as raised:
        block()(*subscripts)
    assert str(raised.value) == text
    assert sink.records == [("error", text)]


def test_a_block_is_not_iterable(sink):
    with pytest.raises(TypeError, match="not iterable"):
        list(block())
    assert len(sink.records) == 1
