import itertools
import re

import numpy as np
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder.encode.expressions import VariableProxy
from tarvo_encoder.encode.variables import Index, Variable

i = Index("i")
j = Index("j")


@pytest.mark.parametrize(
    "make, text",
    [
        (lambda: Index("i"), "i"),
        (lambda: Index("i", None), "i"),
        (lambda: Index("i", ""), ""),
        (lambda: i + 1, "i + 1"),
        (lambda: i - 2, "i - 2"),
        (lambda: 3 * i, "3 * i"),
        (lambda: i + -1, "i + -1"),
        (lambda: i - -1, "i - -1"),
        (lambda: i + j, "i + j"),
        # chained arithmetic composes from the current text
        (lambda: (i + 1) + 1, "i + 1 + 1"),
        (lambda: (i + 1) + 2, "i + 1 + 2"),
        (lambda: (i + 1) - 1, "i + 1 - 1"),
        (lambda: 2 * (i + 1), "2 * (i + 1)"),
        (lambda: 2 * (i - 1), "2 * (i - 1)"),
        (lambda: 2 * (3 * i), "2 * (3 * i)"),
        (lambda: 2 * i + 1, "2 * i + 1"),
        (lambda: i - (j + 1), "i - (j + 1)"),
    ],
)
def test_index_text_and_name(make, text):
    index = make()
    assert str(index) == text
    assert index.expression == text
    assert index.name == "i"


INDEX_ARITHMETIC = [
    lambda i, j: i + 1,
    lambda i, j: i - 2,
    lambda i, j: 3 * i,
    lambda i, j: (i + 1) + 2,
    lambda i, j: (i + 1) - 1,
    lambda i, j: 2 * (i + 1),
    lambda i, j: 2 * (i - 1) + 3,
    lambda i, j: 3 * (2 * (i + -1) - 1),
    lambda i, j: i - (j + 1),
    lambda i, j: (i - j) - -2,
]


@pytest.mark.parametrize("arithmetic", INDEX_ARITHMETIC)
def test_index_text_evaluates_like_integer_arithmetic(arithmetic):
    text = str(arithmetic(Index("i"), Index("j")))
    for iv, jv in itertools.product(range(-2, 4), range(-1, 3)):
        assert eval(text, {"i": iv, "j": jv}) == arithmetic(iv, jv)
    # evaluated over the index objects themselves, the text writes itself again
    assert str(eval(text, {"i": Index("i"), "j": Index("j")})) == text


@pytest.mark.parametrize(
    "refused", [lambda: 1 + i, lambda: 1 - i, lambda: i * 2, lambda: -i, lambda: i < 1]
)
def test_index_operators_left_to_the_host(refused):
    with pytest.raises(TypeError):
        refused()


@pytest.mark.parametrize(
    "sizes, shifts",
    [((2, 3, 4), [12, 4, 1]), ((5,), [1]), ((), []), ((0, 3), [3, 1]), ((3, 1, 2), [2, 2, 1])],
)
def test_shifts(sizes, shifts):
    x = Variable("x", {f"d{k}": s for k, s in enumerate(sizes)}, 1)
    assert x.shifts == shifts


@pytest.mark.parametrize("sizes", [(2, 3, 4), (5,), (3, 1, 2), (2, 2, 2, 2)])
def test_numbers_are_row_major_without_gaps(sizes):
    x = Variable("x", {f"d{k}": s for k, s in enumerate(sizes)}, 7)
    mapping = x.map
    expected = {
        "x[" + ",".join(map(str, t)) + "]": 7 + int(np.ravel_multi_index(t, sizes))
        for t in itertools.product(*map(range, sizes))
    }
    assert mapping == expected
    assert list(mapping.values()) == list(range(7, 7 + int(np.prod(sizes))))
    for t in itertools.product(*map(range, sizes)):
        assert x(*t) == mapping["x[" + ",".join(map(str, t)) + "]"]


def test_two_by_three_example():
    x = Variable("x", {"a": 2, "b": 3}, 5)
    assert x.shifts == [3, 1]
    assert list(x.map.items()) == [
        ("x[0,0]", 5), ("x[0,1]", 6), ("x[0,2]", 7), ("x[1,0]", 8), ("x[1,1]", 9), ("x[1,2]", 10)
    ]
    assert x(1, 2) == 10
    assert x(True, 0) == 8


@pytest.mark.parametrize(
    "sizes, st_shift, expected_map, call_result",
    [
        ({}, 4, {"x[]": 4}, 4),
        ({"a": 0, "b": 3}, 1, {}, None),
    ],
)
def test_degenerate_dimensions(sizes, st_shift, expected_map, call_result):
    x = Variable("x", sizes, st_shift)
    assert x.map == expected_map
    if call_result is not None:
        assert x() == call_result


@pytest.mark.parametrize(
    "values",
    [(0.0, 1), (0, 1.0), (Index("i"), 0), (np.int64(0), 1), (0, "1")],
)
def test_call_with_wrong_type_raises_silently(values, log_sink):
    x = Variable("x", {"a": 2, "b": 3}, 1)
    with pytest.raises(TypeError) as raised:
        x(*values)
    assert raised.value.args == ()
    assert log_sink.records == []


@pytest.mark.parametrize("values, reference", [((), "x()"), ((0,), "x(0)"), ((0, 1, 2), "x(0,1,2)")])
@pytest.mark.parametrize("call", [lambda x, values: x(*values), lambda x, values: x.check_reference(values)],
                         ids=["call", "check_reference"])
def test_wrong_count_of_values_is_refused_with_a_logged_message(values, reference, call, log_sink):
    x = Variable("x", {"a": 2, "b": 3}, 1)
    message = f"variable 'x' takes 2 indexes, got {len(values)} in {reference}"
    with pytest.raises(TypeError, match=re.escape(message)):
        call(x, values)
    assert log_sink.records == [(message, ce.log_level_type.error)]


@pytest.mark.parametrize(
    "values, message",
    [
        ((2, 0), "Index value 2 at position 0 of variable 'x' is outside dimension 'a' of size 2"),
        ((-1, 0), "Index value -1 at position 0 of variable 'x' is outside dimension 'a' of size 2"),
        ((1, 3), "Index value 3 at position 1 of variable 'x' is outside dimension 'b' of size 3"),
        ((0, -1), "Index value -1 at position 1 of variable 'x' is outside dimension 'b' of size 3"),
    ],
)
def test_call_out_of_range_raises_index_error(values, message, log_sink):
    x = Variable("x", {"a": 2, "b": 3}, 1)
    with pytest.raises(IndexError) as raised:
        x(*values)
    assert raised.value.args == (message,)
    assert log_sink.records == [(message, ce.log_level_type.error)]


@pytest.mark.parametrize("iterate", [list, lambda x: 0 in x, lambda x: [v for v in x], tuple])
def test_iteration_is_refused(iterate, log_sink):
    x = Variable("x", {"a": 2}, 1)
    message = "Variable 'x' cannot be iterated; subscript it with indexes, such as x[i]"
    with pytest.raises(TypeError) as raised:
        iterate(x)
    assert raised.value.args == (message,)
    assert log_sink.records == [(message, ce.log_level_type.error)]


@pytest.mark.parametrize(
    "key, text",
    [
        ((i, j), "x(i,j)"),
        ((i + 1, j), "x(i + 1,j)"),
        ((2 * i, j - 1), "x(2 * i,j - 1)"),
        (i, "x(i)"),
        ((i,), "x(i)"),
        (i - 1, "x(i - 1)"),
        ((0, 3), "x(0,3)"),
        (5, "x(5)"),
        ([0, 1], "x(0,1)"),
        (range(3), "x(0,1,2)"),
        ("ab", "x(a,b)"),
        ((), "x()"),
        (2 * (i + 1), "x(2 * (i + 1))"),
    ],
)
def test_variable_reference_text(key, text):
    x = Variable("x", {"a": 2, "b": 3}, 1)
    reference = x[key]
    assert type(reference) is VariableProxy
    assert str(reference) == repr(reference) == reference.name == text
    assert reference.soft is True


def test_copy_is_independent():
    class Derived(Variable):
        pass

    original = Derived("x", {"a": 2, "b": 3}, 5)
    copied = original.copy()
    assert type(copied) is Variable
    assert (copied.name, copied.st_shift, copied.shifts) == ("x", 5, [3, 1])
    copied.indexes["a"] = 9
    assert original.indexes == {"a": 2, "b": 3}
    assert original.shifts == [3, 1]
    assert len(original.map) == 6


def test_variable_holds_the_given_dimensions():
    dims = {"a": 2}
    assert Variable("x", dims, 0).indexes is dims
