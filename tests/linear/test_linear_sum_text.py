"""The fast road for the text of a sum of simple terms against the reference
road, the checked evaluation of the same text: equal values, and every
other text left to the reference road."""
import pytest

from tarvo_encoder.linear_parser import LinearModel, SumIt, VariableType
from tarvo_encoder.linear_parser._sum_text import evaluated_sum
from tarvo_encoder.linear_parser.compiled_linear_expressions import CompiledSum


@pytest.fixture
def model():
    model = LinearModel()
    model.get_variables("x", VariableType.REAL, 0.0, 1.0, i=3, j=4)
    model.get_variables("y", VariableType.REAL, 0.0, 1.0, k=5)
    model.get_variables("z", VariableType.REAL, 0.0, 1.0)
    return model


def by_eval(text, model):
    return eval(text, {"CompiledSum": CompiledSum, **model._variables})


def assert_equal(fast, reference):
    assert fast.constant == reference.constant and type(fast.constant) is type(reference.constant)
    assert fast.linear_coefficients_indexes.tolist() == reference.linear_coefficients_indexes.tolist()
    assert fast.linear_coefficients.tolist() == reference.linear_coefficients.tolist()
    assert fast._linear_coefficients.shape == reference._linear_coefficients.shape
    fast_q, reference_q = fast.quadratic_coefficients, reference.quadratic_coefficients
    assert (fast_q is None) == (reference_q is None)
    if fast_q is not None:
        assert (fast_q != reference_q).nnz == 0 and fast_q.shape == reference_q.shape


def sum_text(model, build):
    x, y, z = (model._variables[name] for name in "xyz")
    return str(SumIt(build(x, y, z)))


@pytest.mark.parametrize("build", [
    lambda x, y, z: [x[0, 0]],
    lambda x, y, z: [2 * x[1, 2], 0.5 * y[4], -3 * z[()], 1e-05 * y[0], -0.0 * y[1], 0 * y[1]],
    lambda x, y, z: [x[i, j] for i in range(3) for j in range(4)] + [x[2, 3], 7 * x[2, 3]],
    lambda x, y, z: [y[k] * y[k] for k in range(5)] + [x[0, 1] * y[2], 2.5 * y[3], x[1, 1]],
    lambda x, y, z: [1.5e+20 * y[0], 12345678901234567890 * y[1], y[2] * y[2], -2 * y[2]],
], ids=["one element", "numbers", "repeated columns", "products", "large numbers"])
def test_fast_road_equals_evaluation(model, build):
    text = sum_text(model, build)
    fast = evaluated_sum(text, model._variables)
    assert fast is not None
    assert_equal(fast, by_eval(text, model))


@pytest.mark.parametrize("text", [
    "CompiledSum([])",
    "CompiledSum([x(0,0) - y(1)])",
    "CompiledSum([1/3 * (y(0))])",
    "CompiledSum([True * (y(0))])",
    "CompiledSum([inf * (y(0))])",
    "CompiledSum([2 * (w(0))])",
    "CompiledSum([y(0),y(1)])",
    "CompiledSum([y(01)])",
    "CompiledSum([y(0)]) + y(1)",
    "CompiledSum([CompiledSum([y(0)])])",
    "CompiledSum([y(k) for k in range(0, 3)])",
    "y(0)",
])
def test_other_texts_take_the_reference_road(model, text):
    assert evaluated_sum(text, model._variables) is None


def test_targets_through_either_road_give_one_optimum():
    def solve(terms):
        model = LinearModel()
        y = model.get_variables("y", VariableType.REAL, -2.0, 3.0, k=4)
        model.add_constraint(SumIt([y[k] for k in range(4)]) >= 1)
        model.add_target(SumIt(terms(y)), True)
        model.solve()
        return model.objective_value, model.get_result("y").tolist()

    fast = solve(lambda y: [y[k] * y[k] for k in range(4)] + [-1.5 * y[0]])
    # The same target, written so that it takes the reference road.
    reference = solve(lambda y: [y[k] * y[k] for k in range(4)] + [0 - 1.5 * y[0]])
    assert fast[0] == pytest.approx(reference[0]) and fast[1] == pytest.approx(reference[1], abs=1e-6)


def test_a_subscript_out_of_range_fails_as_on_the_reference_road(model, sink):
    y = model._variables["y"]
    with pytest.raises(IndexError) as fast:
        model.add_target(SumIt([y[0], y[5]]), True)
    with pytest.raises(IndexError) as reference:
        model.add_target(SumIt([y[0], 1 * y[5] + 0]), True)
    assert str(fast.value) == str(reference.value)
    assert [record for record in sink.records if record[0] == "error"] == [("error", str(fast.value))] * 2
