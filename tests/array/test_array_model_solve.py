"""Solving array models, checked against known optima (by hand and scipy's milp)."""
import re

import highspy
import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp
from scipy.sparse import csc_array, csr_array

from tarvo_encoder._exceptions import BuildError, SolverError
from tarvo_encoder.linear_parser2 import LinearModel, SolutionStatus, VariableType, dot, inf, sumexp
from tarvo_encoder.linear_parser2._expression import LinearExpression

NO_SOLUTION = "There is no solution to the problem. Run 'solve' to find it"
NOT_SOLVED = "The model was not solved correctly"
VERDICT = "The linear solver's verdict: "


def feasible_range(build, pick):
    """The smallest and the largest value of `pick(variable)` over the model that `build()` returns."""
    ends = []
    for minimization in (True, False):
        model, variable = build()
        model.add_target(pick(variable), minimization)
        assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
        ends.append(model.objective_value)
    return ends


@pytest.mark.parametrize(
    "bounded, kwargs, expected",
    [
        (lambda e: e, dict(lower_bound=1, upper_bound=5), [-1, 3]),
        (lambda e: e >= 1, dict(upper_bound=5), [-1, 3]),
        (lambda e: e <= 7, {}, [-100, 5]),
        (lambda e: e, dict(equation_bound=3), [1, 1]),
        (lambda e: e == 3, {}, [1, 1]),
        (lambda e: (e <= 4) >= 0, {}, [-2, 2]),
        (lambda e: 2 - e, dict(lower_bound=1), [-100, -1]),
        (lambda e: e, {}, [-100, 100]),
        (lambda e: e, dict(lower_bound=1, equation_bound=3), [1, 1]),  # without the debug flag the equation wins
    ],
)
def test_single_row_bounds(bounded, kwargs, expected):
    def build():
        model = LinearModel()
        x = model.get_variable("x", VariableType.REAL, -100, 100, i=1)
        model.add_constraint(bounded(x[0] + 2), **kwargs)
        return model, x

    assert feasible_range(build, lambda x: x[0] * 1.0) == pytest.approx(expected)


@pytest.mark.parametrize(
    "bounded, kwargs, lows, highs",
    [
        (lambda r: r, dict(lower_bounds=np.array([0.0, 1]), upper_bounds=np.array([4.0, 2])), [-3, -2], [1, -1]),
        (lambda r: r, dict(lower_bounds=0, upper_bounds=1), [-3, -3], [-2, -2]),
        (lambda r: r >= np.array([0.0, 1]), dict(upper_bounds=np.array([4.0, 2])), [-3, -2], [1, -1]),
        (lambda r: r == 2, {}, [-1, -1], [-1, -1]),
        (lambda r: r, dict(equation_bounds=np.array([3.0, 5])), [0, 2], [0, 2]),
        (lambda r: r, dict(equation_bounds=np.array([3.0, 5]), lower_bounds=np.zeros(2)), [0, 2], [0, 2]),
        (lambda r: r * np.array([1.0, -1]), dict(upper_bounds=0), [-10, -3], [-3, 10]),
        (lambda r: r, {}, [-10, -10], [10, 10]),
    ],
)
def test_row_set_bounds(bounded, kwargs, lows, highs):
    def build():
        model = LinearModel()
        x = model.get_variable("x", VariableType.REAL, -10, 10, i=2)
        model.add_constraints(bounded(x[:] + 3), **kwargs)
        return model, x

    ranges = [feasible_range(build, lambda x: x[i] * 1.0) for i in range(2)]
    assert [low for low, _ in ranges] == pytest.approx(lows)
    assert [high for _, high in ranges] == pytest.approx(highs)


@pytest.mark.parametrize(
    "bounded, kwargs",
    [
        (lambda e: e >= 1, dict(lower_bound=0)),
        (lambda e: e <= 4, dict(equation_bound=3)),
        (lambda e: e == 4, dict(upper_bound=5)),
    ],
)
def test_a_side_given_twice_is_refused_unlogged(caplog, bounded, kwargs):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, i=1)
    with pytest.raises(ValueError, match="^The border is set twice$"):
        model.add_constraint(bounded(x[0] + 0), **kwargs)
    with pytest.raises(ValueError, match="^The border is set twice$"):
        model.add_constraints(bounded(x[:] + 0), **{k + "s": np.array([v]) for k, v in kwargs.items()})
    assert not caplog.records


def test_quadratic_constraint_is_refused(raises_logged):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 4, i=2)
    with raises_logged(BuildError, "A constraint with a quadratic part cannot be added"):
        model.add_constraint(x[0] * x[1] + x[0], upper_bound=3)


def random_milp(seed):
    rng = np.random.default_rng(seed)
    n, m = 4, 3
    a = rng.integers(-3, 6, size=(m, n)).astype(np.float64)
    upper = rng.integers(4, 15, size=m).astype(np.float64)
    cost = rng.integers(-4, 7, size=n).astype(np.float64)
    integral = rng.integers(0, 2, size=n)
    return a, upper, cost, integral


@pytest.mark.parametrize("seed", range(8))
def test_mixed_integer_programs_reach_scipys_optimum(seed):
    a, upper, cost, integral = random_milp(seed)
    n = cost.size
    truth = milp(-cost, constraints=LinearConstraint(a, -np.inf, upper), integrality=integral, bounds=Bounds(0, 5))
    assert truth.success

    model = LinearModel()
    reals = model.get_variable("r", VariableType.REAL, 0, 5, i=n)
    ints = model.get_variable("z", VariableType.INTEGER, 0, 5, i=n)
    # column j of the problem is z[j] when integral, r[j] otherwise; the unused twin is pinned to 0
    chosen = [ints[j] if integral[j] else reals[j] for j in range(n)]
    model.add_constraints(reals[np.flatnonzero(integral)] * 1.0, equation_bounds=np.zeros(int(integral.sum())))
    model.add_constraints(ints[np.flatnonzero(1 - integral)] * 1, equation_bounds=np.zeros(int(n - integral.sum())))
    rows = sum(reals[[j] * len(upper)] * a[:, j] for j in range(n) if not integral[j]) * 1.0
    rows = rows + sum(ints[[j] * len(upper)] * a[:, j] for j in range(n) if integral[j])
    model.add_constraints(rows <= upper)
    model.add_target(sum(float(cost[j]) * chosen[j] for j in range(n)), False)

    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(-truth.fun, abs=1e-6)
    point = np.where(integral == 1, model.get_result("z"), model.get_result("r"))
    assert (a @ point <= upper + 1e-6).all()
    assert cost @ point == pytest.approx(-truth.fun, abs=1e-6)


def test_binary_knapsack_by_brute_force():
    weights = np.array([3.0, 4, 5, 9, 2, 7])
    values = np.array([4.0, 5, 7, 11, 2, 9])
    capacity = 15
    best = max(
        values @ bits
        for bits in (np.array([(k >> i) & 1 for i in range(6)]) for k in range(64))
        if weights @ bits <= capacity
    )
    model = LinearModel()
    take = model.get_variable("take", VariableType.BINARY, i=6)
    model.add_constraint(dot(take[:], weights) <= capacity)
    model.add_target(take[:].dot(values), False)
    assert model.solve() is SolutionStatus.OPTIMAL
    chosen = model.get_result("take")
    assert chosen.dtype == np.int32 and model.objective_value == pytest.approx(best)
    assert values @ chosen == pytest.approx(best) and weights @ chosen <= capacity


@pytest.mark.parametrize(
    "extra_row, point, minimum",
    [
        (None, [1, -2], 0),
        # the nearest point of the half-plane x0 + x1 >= 2 to (1, -2)
        (2, [2.5, -0.5], 4.5),
    ],
)
def test_convex_quadratic_objective(extra_row, point, minimum):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, -10, 10, i=2)
    if extra_row is not None:
        model.add_constraint(sumexp(x[:]) >= extra_row)
    dx, dy = x[0] - 1, x[1] + 2
    target = dx * dx + dy * dy + 3 * x[0] - 3 * x[0]
    model.add_target(target, True)
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    np.testing.assert_allclose(model.get_result("x"), point, atol=1e-5)
    # the objective excludes the target's constant, 1 + 4
    assert model.objective_value == pytest.approx(minimum - target.constant, abs=1e-5)


def test_concave_quadratic_maximum():
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, -10, 10, i=1)
    gap = x[0] - 3
    model.add_target(-1 * (gap * gap) + 2 * x[0], False)  # -(x-3)² + 2x, largest at x = 4
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.get_result("x") == pytest.approx([4.0], abs=1e-5)
    assert model.objective_value == pytest.approx(-1 + 8 + 9, abs=1e-5)


def upper_triangle_square_of_difference(x):
    """(x0 - x1)² written with a Q that holds one triangle only: x0² - 2·x0·x1 + x1²."""
    q = csc_array(np.array([[1.0, -2.0], [0.0, 1.0]]))
    return LinearExpression(linear_coefficients=csr_array((x[0] * 1.0).linear_coefficients.shape), quadratic_coefficients=q)


@pytest.mark.parametrize(
    "targets, x1_range, point, optimum",
    [
        # targets are added in turn as (expression, minimization); only the last one counts
        (lambda x: [(x[0] * x[0] + 4 * x[1], True), (-1 * x[0], True)], (0, 3), [3, 0], -3),
        (lambda x: [(5 * x[1], False), (x[0] * 1.0, False)], (0, 3), [3, None], 3),
        (lambda x: [(x[0] + x[1], False), ((x[0] - 1) * (x[0] - 1) + (x[1] - 2) * (x[1] - 2), True)], (0, 3), [1, 2], -5),
        # (x0 - 1)² - 2·x0 is least at x0 = 2
        (lambda x: [(upper_triangle_square_of_difference(x) - 2 * x[0], True)], (1, 1), [2, 1], -3),
    ],
)
def test_the_last_target_is_the_objective(targets, x1_range, point, optimum):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 3, i=2)
    model.add_constraint(sumexp(x[:]) <= 5)
    model.add_constraint(x[1] + 0, *x1_range)
    for target, minimization in targets(x):
        model.add_target(target, minimization)
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(optimum, abs=1e-5)
    for found, expected in zip(model.get_result("x"), point):
        if expected is not None:
            assert found == pytest.approx(expected, abs=1e-5)


@pytest.mark.parametrize(
    "refused, error",
    [
        (lambda x, foreign: foreign[3], BuildError),
        (lambda x, foreign: foreign[3] * x[0], BuildError),
        (lambda x, foreign: x[:], AttributeError),  # a row set, unchecked without the debug flag
        (lambda x, foreign: x[0] * np.inf, ValueError),
        (lambda x, foreign: x[0] * x[1] * 1e308 * 10, ValueError),
    ],
)
@pytest.mark.filterwarnings("ignore:overflow encountered")
def test_a_refused_target_keeps_the_objective(refused, error):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 1, 2, i=2)
    model.add_target(x[0] + 2 * x[1], True)
    foreign = LinearModel().get_variable("f", VariableType.REAL, n=4)
    with pytest.raises(error):
        model.add_target(refused(x, foreign), False)
    # Maximising the kept costs would give 6; a half-made new objective, another value.
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL and model.objective_value == pytest.approx(3)


def test_results_before_any_solve(raises_logged):
    model = LinearModel()
    model.get_variable("x", VariableType.REAL)
    for read in (lambda: model.objective_value, lambda: model.get_result("x"), model.get_tovric_solution):
        with raises_logged(SolverError, NO_SOLUTION):
            read()


def test_infeasible_run_keeps_the_last_success(raises_logged, warnings_logged):
    model = LinearModel()
    x = model.get_variable("x", VariableType.INTEGER, 0, 3, i=2)
    model.add_target(sumexp(x[:]), False)
    assert model.solve() is SolutionStatus.OPTIMAL
    first = model.get_tovric_solution()
    model.add_constraint(sumexp(x[:]) >= 7)
    assert model.solve() is SolutionStatus.INFEASIBLE
    assert warnings_logged() == [VERDICT + "the model is infeasible", NOT_SOLVED]
    assert model.get_result("x").tolist() == [3, 3] and model.objective_value == 6
    assert model.get_tovric_solution() is not first
    with raises_logged(SolverError, NOT_SOLVED):
        model.solve(is_feasible=True)


def test_infeasible_first_run_leaves_no_values(raises_logged):
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 1, i=1)
    model.add_constraint(x[0] >= 2)
    assert model.solve() is SolutionStatus.INFEASIBLE
    model.get_tovric_solution()
    with raises_logged(SolverError, NO_SOLUTION):
        model.get_result("x")


def knapsack_with_no_time(warm_start):
    model = LinearModel(time_limit=0.0)
    x = model.get_variable("x", VariableType.INTEGER, 0, 10, i=8)
    w = np.arange(1.0, 9)
    model.add_constraint(x[:].dot(w) <= 37)
    model.add_target(x[:].dot(1.1 * w + 0.3), False)
    if warm_start:
        model.set_solution("x", 0)
    return model


def test_time_limit_with_a_start_point_is_suboptimal(warnings_logged):
    model = knapsack_with_no_time(warm_start=True)
    assert model.solve(is_feasible=True) is SolutionStatus.SUBOPTIMAL
    assert warnings_logged() == ["Solution is suboptimal due to a time limit, but a primal solution is available"]
    assert model.get_result("x").tolist() == [0] * 8 and model.objective_value == 0


def test_time_limit_without_a_solution(raises_logged, warnings_logged):
    model = knapsack_with_no_time(warm_start=False)
    assert model.solve() is SolutionStatus.INFEASIBLE
    assert warnings_logged() == [VERDICT + "the time limit was reached without a feasible point", NOT_SOLVED]
    with raises_logged(SolverError, NOT_SOLVED):
        model.solve(is_feasible=True)


def unsolvable(variable_type, lower, upper, target, minimization):
    model = LinearModel()
    x = model.get_variable("x", variable_type, lower, upper, i=2)
    model.add_target(target(x), minimization)
    return model


def test_an_unbounded_model_is_named_so(warnings_logged):
    model = unsolvable(VariableType.REAL, 0, inf, lambda x: sumexp(x[:]), False)
    assert model.solve() is SolutionStatus.INFEASIBLE
    assert warnings_logged() == [VERDICT + "the model is unbounded", NOT_SOLVED]


@pytest.mark.parametrize("model, reason", [
    (lambda: unsolvable(VariableType.INTEGER, 0, 3, lambda x: x[0] * x[0] + x[1], True), "MIQP"),
    (lambda: unsolvable(VariableType.REAL, 0, 5, lambda x: x[0] * x[1], True), "[Nn]on-convex"),
    (lambda: unsolvable(VariableType.REAL, 0, 5, lambda x: x[0] * x[0], False), "[Nn]on-convex"),
])
@pytest.mark.parametrize("is_feasible", [False, True])
def test_a_refused_model_is_never_infeasible(caplog, warnings_logged, model, reason, is_feasible):
    # The solver gave up on these without judging them: no answer of INFEASIBLE.
    with pytest.raises(SolverError) as raised:
        model().solve(is_feasible)
    [warning] = warnings_logged()
    refusal = warning.removeprefix(VERDICT + "it refused the model: ")
    assert refusal != warning and re.search(reason, refusal)
    error = f"{NOT_SOLVED}: the linear solver refused it: {refusal}"
    assert str(raised.value) == error
    assert [r.getMessage() for r in caplog.records] == [warning, error]


def test_results_take_the_variables_type_and_shape():
    model = LinearModel()
    real = model.get_variable("r", VariableType.REAL, i=2, j=3)
    model.get_variable("n", VariableType.INTEGER, k=3)
    model.get_variable("s", VariableType.REAL)
    model.add_constraints(real[np.arange(6)] == np.arange(6) + 0.5)
    assert model.solve() is SolutionStatus.OPTIMAL
    r = model.get_result("r")
    assert r.dtype == np.float64 and r.shape == (2, 3) and r.tolist() == [[0.5, 1.5, 2.5], [3.5, 4.5, 5.5]]
    assert model.get_result("s").shape == ()
    # Integral columns come back within the solver's tolerance: rounded, never truncated.
    model._solution_values[6:9] = [0.9999999, 3.0000001, -1.9999999]
    n = model.get_result("n")
    assert n.dtype == np.int32 and n.tolist() == [1, 3, -2]
    with pytest.raises(KeyError):
        model.get_result("missing")


def test_warm_start_vector():
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, 0, 9, i=2, j=3)
    model.set_solution("x", np.arange(6).reshape(2, 3))
    y = model.get_variable("y", VariableType.INTEGER, 0, 9, k=2)  # after the first start values
    model.set_solution("y", 7)
    assert model._prev_solution.dtype == np.float64
    assert model._prev_solution.tolist() == [0, 1, 2, 3, 4, 5, 7, 7]
    model.add_target(sumexp(x[:, :]) + sumexp(y[:]), False)
    assert model.solve() is SolutionStatus.OPTIMAL and model.objective_value == pytest.approx(72)
    with pytest.raises(ValueError):
        model.set_solution("x", np.zeros(4))
    with pytest.raises(KeyError):
        model.set_solution("z", 0)


@pytest.mark.parametrize("as_path", [False, True])
def test_write_model_creates_the_directories(tmp_path, as_path):
    model = LinearModel()
    x = model.get_variable("x", VariableType.INTEGER, 0, 4, i=2)
    model.add_constraint(sumexp(x[:]) <= 3)
    model.add_target(x[0] * 2, False)
    target = tmp_path / "out" / "sub" / "model.lp"
    model.write_model(target if as_path else str(target))
    reread = highspy.Highs()
    reread.setOptionValue("output_flag", False)
    reread.readModel(str(target))
    reread.run()
    assert reread.getInfo().objective_function_value == pytest.approx(6)


def test_write_model_to_a_name_without_ending_writes_mps(tmp_path):
    model = LinearModel()
    x = model.get_variable("x", VariableType.INTEGER, 0, 4, i=2)
    model.add_constraint(sumexp(x[:]) <= 3)
    model.write_model(tmp_path / "out" / "sub" / "model")
    assert (tmp_path / "out" / "sub" / "model").read_text().startswith("NAME")
