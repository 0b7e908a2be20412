"""Linear models built from formula text, solved, and checked against known optima."""
import itertools
import re
from fractions import Fraction

import numpy as np
import pytest
from scipy.optimize import linprog

from tarvo_encoder._exceptions import FormulaError, SolverError
from tarvo_encoder.linear_parser import LinearModel, SolutionStatus, Sum, SumIt, VariableType, inf
from tarvo_encoder.linear_parser.linear_expression import LinearExpression
from velmont.corvane_engine import tovric

NO_SOLUTION = "There is no solution to the problem. Run 'solve' to find it"


def test_transport_lp_matches_scipy():
    # ship from 2 sources (supply 20, 30) to 3 sinks (demand 10, 25, 15) at least cost
    cost = [[8, 6, 10], [9, 12, 13]]
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, inf, s=2, t=3)
    s, t = model.get_indexes(["s", "t"])
    model.add_constraint(Sum(x[s, t], t=range(3)) <= 20, s=[0])
    model.add_constraint(Sum(x[s, t], t=range(3)), hi=30, s=[1])
    for sink, demand in enumerate([10, 25, 15]):
        model.add_constraint(Sum(x[s, t], s=range(2)) >= demand, t=[sink])
    model.add_target(SumIt([cost[a][b] * x[a, b] for a in range(2) for b in range(3)]), minimization=True)
    assert model.solve() is SolutionStatus.OPTIMAL
    flat_cost = [cost[a][b] for a in range(2) for b in range(3)]
    a_ub = [[1, 1, 1, 0, 0, 0], [0, 0, 0, 1, 1, 1]] + [[-(k % 3 == sink) for k in range(6)] for sink in range(3)]
    reference = linprog(flat_cost, A_ub=a_ub, b_ub=[20, 30, -10, -25, -15])
    assert model.objective_value == pytest.approx(reference.fun)
    shipped = model.get_result("x")
    assert shipped.shape == (2, 3) and shipped.dtype == np.float64
    assert float(np.sum(shipped * np.array(cost))) == pytest.approx(reference.fun)


def test_knapsack_mip_matches_brute_force():
    weights, values, capacity = [3, 4, 5, 9, 4], [3, 4, 4, 10, 4], 13
    model = LinearModel()
    take = model.get_variables("take", VariableType.BINARY, k=5)
    extra = model.get_variables("extra", VariableType.INTEGER, 0, 2)
    k = model.get_indexes("k")
    model.add_constraint(SumIt([weights[n] * take[n] for n in range(5)]) + 2 * extra[()] <= capacity)
    model.add_constraint(take[k] + extra[()] <= 2, k=range(5))
    model.add_target(SumIt([values[n] * take[n] for n in range(5)]) + extra[()], minimization=False)
    assert model.solve() is SolutionStatus.OPTIMAL
    best = max(sum(v * c for v, c in zip(values, choice)) + e
               for choice in itertools.product((0, 1), repeat=5) for e in range(3)
               if sum(w * c for w, c in zip(weights, choice)) + 2 * e <= capacity
               and all(c + e <= 2 for c in choice))
    assert model.objective_value == pytest.approx(best)
    chosen = model.get_result("take")
    assert chosen.dtype == np.int32 and chosen.shape == (5,)
    assert sum(v * c for v, c in zip(values, chosen)) + int(model.get_result("extra")) == best


def test_quadratic_target_minimum_without_its_constant():
    # (a - 1)² + (b + 2)² + a·b = a² + b² + ab - 2a + 4b + 5: minimum at (8/3, -10/3), value -28/3 + 5
    model = LinearModel()
    v = model.get_variables("v", VariableType.REAL, -10, 10, n=2)
    a, b = v[0], v[1]
    model.add_target((a - 1) * (a - 1) + (b + 2) * (b + 2) + a * b, minimization=True)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(-28 / 3, abs=1e-6)
    assert model.get_result("v") == pytest.approx([8 / 3, -10 / 3], abs=1e-4)


def test_a_new_target_replaces_the_earlier_one():
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, -4, 4, n=2)
    model.add_target(x[0] * x[0] + 3 * x[1], minimization=True)
    model.add_target(x[0] - 2 * x[0], minimization=False)  # maximise -x0 alone
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(4)
    assert model.get_result("x")[0] == pytest.approx(-4)


@pytest.mark.parametrize("refused, error", [
    (lambda x, i: x[i], NameError),  # an index that no forall binds
    (lambda x, i: x[0] * 1e308 * 10, ValueError),
    (lambda x, i: x[0] * x[1] * 1e308 * 10, ValueError),
])
@pytest.mark.filterwarnings("ignore:overflow encountered")
def test_a_refused_target_keeps_the_objective(refused, error):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 1, 2, n=2)
    model.add_target(x[0] + 2 * x[1], minimization=True)
    with pytest.raises(error):
        model.add_target(refused(x, model.get_indexes("i")), minimization=False)
    # Maximising the kept costs would give 6; a half-made new objective, another value.
    assert model.solve() is SolutionStatus.OPTIMAL and model.objective_value == pytest.approx(3)


@pytest.mark.parametrize("minimization, optimum", [(True, -3), (False, 5), (None, 5), (0, 5)])
def test_sense_follows_the_truth_of_minimization(minimization, optimum):
    model = LinearModel()
    x = model.get_variables("x", VariableType.INTEGER, -3, 5)
    model.add_target(x[()] + 7, minimization)
    model.solve()
    assert model.objective_value == optimum


@pytest.fixture
def rows_model(recording):
    model = LinearModel()
    model.get_variables("x", VariableType.REAL, 0, 10, i=2, j=3)
    return model


def rows_of(model):
    return [(lower, upper, list(columns), list(values)) for lower, upper, _, columns, values in
            model._tovric_model.named("addRow")]


def test_rows_follow_the_foralls_order(rows_model):
    x = rows_model._variables["x"]
    i, j = rows_model.get_indexes(["i", "j"])
    rows_model.add_constraint(x[i, j] <= 1, i=range(2), j=range(3))
    assert [columns for _, _, columns, _ in rows_of(rows_model)] == [
        [a + 2 * b] for a, b in itertools.product(range(2), range(3))]


@pytest.mark.parametrize("build, arguments, bounds", [
    (lambda e: e <= 5, {"lo": 1}, (-4, 0)),
    (lambda e: e == 3, {}, (-2, -2)),
    (lambda e: e, {"eq": 2}, (-3, -3)),
    (lambda e: e, {}, (-inf, inf)),
    (lambda e: e <= 7, {}, (-inf, 2)),
    (lambda e: e >= 0, {"hi": 0}, (-5, -5)),
])
def test_borders_shift_by_the_constant(rows_model, build, arguments, bounds):
    x = rows_model._variables["x"]
    rows_model.add_constraint(build(x[0, 1] + 5), **arguments)
    assert rows_of(rows_model) == [(*bounds, [2], [1])]


@pytest.mark.parametrize("build, arguments, text", [
    (lambda e: e <= 5, {"hi": 4}, "The border is set twice"),
    (lambda e: e == 3, {"eq": 3}, "The borders is set twice"),
    (lambda e: e, {"lo": 0, "eq": 0}, "The borders is set twice"),
])
def test_borders_given_twice_are_refused_unlogged(rows_model, sink, build, arguments, text):
    x = rows_model._variables["x"]
    with pytest.raises(ValueError, match=f"^{text}$"):
        rows_model.add_constraint(build(x[0, 1]), **arguments)
    assert rows_of(rows_model) == [] and sink.records == []


def test_forall_counts(rows_model):
    x = rows_model._variables["x"]
    i, k = rows_model.get_indexes(["i", "k"])
    rows_model.add_constraint(x[i, 0] <= 1, i=range(0))
    assert rows_of(rows_model) == []
    rows_model.add_constraint(x[0, 0] <= 1, k=[4, 5, 6])
    assert len(rows_of(rows_model)) == 3


ONLY_FORMULA = "Formula text may hold only names, numbers, calls, +, -, *, / and for clauses"
REFUSED = [
    (lambda x, i: (x[0, 0] * x[0, 1] <= 1, {}), FormulaError,
     "A constraint must be linear: its quadratic part cannot be a solver row"),
    (lambda x, i: (x[i, 0] <= 1, {"i": "range(2)"}), TypeError,
     "Index values must be a range or a sequence of integers"),
    (lambda x, i: (LinearExpression("__import__('os').getpid()") <= 1, {}), FormulaError,
     ONLY_FORMULA),
    (lambda x, i: (x[("().__class__",)] <= 1, {}), FormulaError,
     ONLY_FORMULA),
    (lambda x, i: (x[i - 1, 0] <= 1, {"i": range(2)}), IndexError,
     "Subscripts (-1,0) are out of range for linear variable x of shape (2, 3)"),
    (lambda x, i: (LinearExpression("7") <= 1, {}), FormulaError,
     "The formula does not evaluate to an expression over linear variables"),
    (lambda x, i: (x[0, 0] <= x[0, 1], {}), TypeError, "The borders of a constraint must be numbers"),
]


@pytest.mark.parametrize("build, error, text", REFUSED)
def test_constraint_refusals_add_no_row(rows_model, sink, build, error, text):
    expression, foralls = build(rows_model._variables["x"], rows_model.get_indexes("i"))
    with pytest.raises(error) as raised:
        rows_model.add_constraint(expression, **foralls)
    assert str(raised.value) == text and ("error", text) in sink.records
    assert rows_of(rows_model) == []


@pytest.mark.parametrize("text", ["x(0, 0)] + [x(0, 1)", "x(0, 0) for i in range(3)"])
def test_constraint_text_must_be_one_expression(rows_model, text):
    with pytest.raises(SyntaxError):
        rows_model.add_constraint(LinearExpression(text) <= 1)
    assert rows_of(rows_model) == []


def test_a_variable_named_like_the_sum_hides_no_sum_silently(recording, sink):
    model = LinearModel()
    hiding = model.get_variables("CompiledSum", VariableType.REAL, 0, 1, n=2)
    k = model.get_indexes("k")
    text = "A linear variable named CompiledSum hides the sums of formula text"
    for add in (lambda: model.add_constraint(Sum(hiding[k], k=range(2)) <= 1),
                lambda: model.add_target(SumIt([hiding[0], hiding[1]]), minimization=True)):
        with pytest.raises(FormulaError, match=f"^{text}$"):
            add()
    assert sink.records == [("error", text)] * 2
    model.add_constraint(hiding[1] + hiding[0] <= 1)
    assert [list(columns) for *_, columns, _ in model._tovric_model.named("addRow")] == [[0, 1]]


# max of the target over 0 <= x <= 2 with x0 / 2 + x1 <= 3/2
@pytest.mark.parametrize("target, optimum", [
    (lambda x: x[0] + x[1], 2.5),
    (lambda x: Fraction(1, 2) * x[0] + x[1], 1.5),
    (lambda x: LinearExpression(" \tx(0) + 3 * (x(1))"), 4.5),
], ids=["plain", "fraction", "leading blanks"])
def test_texts_that_evaluate_like_numbers_do(target, optimum):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, 2, n=2)
    model.add_constraint(x[0] * Fraction(1, 2) + x[1] <= Fraction(3, 2))
    model.add_target(target(x), minimization=False)
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(optimum)


def test_suboptimal_on_a_time_limit_with_a_solution(sink, monkeypatch):
    model = LinearModel()
    model.get_variables("x", VariableType.INTEGER, 0, 3)
    model.add_target(model._variables["x"][()], minimization=False)
    monkeypatch.setattr(model._tovric_model, "getModelStatus", lambda: tovric.TovricModelStatus.kTimeLimit)
    assert model.solve() is SolutionStatus.SUBOPTIMAL
    assert sink.records == [("warning", "Solution is suboptimal due to a time limit, but a primal solution is available")]
    assert model.objective_value == 3


def test_failed_solves_keep_the_last_usable_answer(sink):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, 1)
    for read in (lambda: model.objective_value, lambda: model.get_result("x"), model.get_tovric_solution):
        with pytest.raises(SolverError, match=f"^{NO_SOLUTION}$"):
            read()
    model.add_target(x[()], minimization=False)
    model.solve()
    usable_run = model.get_tovric_solution()
    model.add_constraint(x[()] >= 2)
    with pytest.raises(SolverError, match="^The model was not solved correctly$"):
        model.solve()
    assert model.objective_value == 1 and model.get_result("x") == 1
    assert model.get_tovric_solution() is not usable_run
    assert sink.records[-1] == ("error", "The model was not solved correctly")


def test_a_first_failed_solve_leaves_no_solution():
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, 1)
    model.add_constraint(x[()] >= 2)
    with pytest.raises(SolverError):
        model.solve()
    assert model.get_tovric_solution() is not None
    with pytest.raises(SolverError, match=NO_SOLUTION):
        model.objective_value


NOT_SOLVED = "The model was not solved correctly"


def unsolvable(variable_type, lo, hi, target, minimization, row=None):
    model = LinearModel()
    x = model.get_variables("x", variable_type, lo, hi, k=2)
    if row is not None:
        model.add_constraint(row(x))
    model.add_target(target(x), minimization)
    return model


@pytest.mark.parametrize("model, verdict", [
    (lambda: unsolvable(VariableType.REAL, 0, 1, lambda x: x[0], True, lambda x: x[0] >= 2), "the model is infeasible"),
    (lambda: unsolvable(VariableType.REAL, -inf, inf, lambda x: x[0] + x[1], False), "the model is unbounded"),
])
def test_an_unsolved_run_names_the_solvers_verdict(sink, model, verdict):
    with pytest.raises(SolverError, match=f"^{NOT_SOLVED}$"):
        model().solve()
    assert sink.records == [("warning", "The linear solver's verdict: " + verdict), ("error", NOT_SOLVED)]


@pytest.mark.parametrize("model, reason", [
    (lambda: unsolvable(VariableType.INTEGER, 0, 3, lambda x: x[0] * x[0] + x[1], True), "MIQP"),
    (lambda: unsolvable(VariableType.REAL, 0, 5, lambda x: x[0] * x[1], True), "[Nn]on-convex"),
    (lambda: unsolvable(VariableType.REAL, 0, 5, lambda x: x[0] * x[0], False), "[Nn]on-convex"),
])
def test_a_refused_model_raises_with_the_solvers_reason(sink, model, reason):
    with pytest.raises(SolverError) as raised:
        model().solve()
    (_, warning), (_, error) = sink.records
    refusal = error.removeprefix(NOT_SOLVED + ": the linear solver refused it: ")
    assert str(raised.value) == error != refusal and re.search(reason, refusal)
    assert warning == "The linear solver's verdict: it refused the model: " + refusal


def test_warm_start_vector(recording):
    model = LinearModel()
    x = model.get_variables("x", VariableType.INTEGER, 0, 9, a=2, b=3)
    model.get_variables("y", VariableType.INTEGER, 0, 9, n=2)
    model.add_target(x[0, 0], minimization=True)
    model.solve()
    assert model._tovric_model.named("setSolution") == []
    model.set_solution("x", [[1, 2, 3], [4, 5, 6]])
    model.set_solution("y", 7)
    model.set_solution("y", [8, 9])
    model.solve()
    [(start,)] = model._tovric_model.named("setSolution")
    expected = np.zeros(8)
    expected[list(x.map)] = [1, 2, 3, 4, 5, 6]
    expected[6:] = [8, 9]
    assert list(start.col_value) == list(expected)


def test_start_values_reach_variables_declared_after_the_first(recording):
    model = LinearModel()
    x = model.get_variables("x", VariableType.INTEGER, 0, 9, n=2)
    model.set_solution("x", [1, 2])
    y = model.get_variables("y", VariableType.INTEGER, 0, 9, n=2)
    model.set_solution("y", [3, 4])
    model.add_target(x[0] + y[1], minimization=True)
    model.solve()
    [(start,)] = model._tovric_model.named("setSolution")
    assert list(start.col_value) == [1, 2, 3, 4]


def test_integral_results_are_rounded_not_truncated():
    model = LinearModel()
    model.get_variables("x", VariableType.INTEGER, -5, 5, n=2)
    model.get_variables("r", VariableType.REAL, -5, 5)
    model._solution_values = np.array([2.9999999, -0.9999999, 2.9999999])
    assert model.get_result("x").tolist() == [3, -1]
    assert model.get_result("r") == pytest.approx(2.9999999)


def test_write_model_creates_directories(tmp_path, monkeypatch):
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, 1, n=2)
    model.add_constraint(x[0] + x[1] <= 1)
    model.write_model(tmp_path / "deep" / "er" / "model.lp")
    assert (tmp_path / "deep" / "er" / "model.lp").stat().st_size > 0
    monkeypatch.chdir(tmp_path)
    model.write_model("bare.mps")
    assert (tmp_path / "bare.mps").exists()
