"""Array models built from slices, masks, index arrays, weights and products,
against independently computed optima: scipy's milp for mixed-integer programs
and the closed-form optimum of equality-constrained strictly convex quadratics."""
import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from tarvo_encoder._exceptions import SolverError
from written_models import reread_optimum
from tarvo_encoder.linear_parser2 import LinearModel, SolutionStatus, VariableType, dot, inf, sumexp

NOT_SOLVED = "^The model was not solved correctly$"
REFUSED = "^The model was not solved correctly: the linear solver refused it: .+"
WIDTH = 10  # x: 2 by 3 integers in columns 0..5, y: 4 reals in columns 6..9


def X(a, b):
    vector = np.zeros(WIDTH)
    vector[3 * a + b] = 1
    return vector


def Y(k):
    vector = np.zeros(WIDTH)
    vector[6 + k] = 1
    return vector


W = np.array([2.0, -1.0, 0.5])
MASK = np.array([[True, False, True], [False, True, False]])

# Row-set builders over (x, y): (expression, reference rows, reference constants).
# The reference lists the coefficient vector of each row in the columns above.
ROW_SETS = {
    "two slices of rows": lambda x, y: (x[0, :] + x[1, :], [X(0, b) + X(1, b) for b in range(3)], [0] * 3),
    "stepped columns": lambda x, y: (x[:, ::2] * 1, [X(a, b) for a in range(2) for b in (0, 2)], [0] * 4),
    "weighted rows": lambda x, y: (y[1:] * W + y[:3], [W[k] * Y(k + 1) + Y(k) for k in range(3)], [0] * 3),
    "weights on the left": lambda x, y: (W * x[1, :] - 2, [W[b] * X(1, b) for b in range(3)], [-2] * 3),
    "mask against repeated elements": lambda x, y: (
        x[MASK] * 2 - y[[0, 0, 3]], [2 * X(0, 0) - Y(0), 2 * X(0, 2) - Y(0), 2 * X(1, 1) - Y(3)], [0] * 3),
    "reversed from a number": lambda x, y: (5 - y[::-1], [-Y(3 - k) for k in range(4)], [5] * 4),
    "index array and list": lambda x, y: (
        x[np.array([5, 0, 2])] + x[[1, 1, 4]] + 0.5, [X(1, 2) + X(0, 1), X(0, 0) + X(0, 1), X(0, 2) + X(1, 1)],
        [0.5] * 3),
    "negative slice bounds": lambda x, y: (y[-3:-1] - y[:2], [Y(1) - Y(0), Y(2) - Y(1)], [0] * 2),
}

# Single rows: (expression, reference row, reference constant).
SINGLE_ROWS = {
    "sum and dot": lambda x, y: (sumexp(x[:, 1]) + dot(y[1:], W), X(0, 1) + X(1, 1) + W @ [Y(1), Y(2), Y(3)], 0),
    "dot from the left": lambda x, y: (dot(W, x[0, :]) - y[2], W @ [X(0, 0), X(0, 1), X(0, 2)] - Y(2), 0),
    "elements and numbers": lambda x, y: (2 * x[1, 2] - y[3] + 1.5 - x[0, 0], 2 * X(1, 2) - Y(3) - X(0, 0), 1.5),
    "number minus a row": lambda x, y: (3 - (x[1, 0] - y[0]), -X(1, 0) + Y(0), 3),
}


def bound_rows(rng, model, expression, values):
    """Add `expression` with random bounds around `values`, its values at a point of
    the boxes, in one of the accepted spellings; the (lower, upper) bounds."""
    lower = values - rng.integers(0, 3, size=np.shape(values))
    upper = values + rng.integers(0, 3, size=np.shape(values))
    style = int(rng.integers(0, 4))
    if np.ndim(values) == 0:
        lower, upper = float(lower), float(upper)
        add = model.add_constraint
        spelled = [lambda: add(expression, lower, upper),
                   lambda: add(expression >= lower, upper_bound=upper),
                   lambda: add((expression <= upper) >= lower),
                   lambda: add(lower <= expression, upper_bound=upper)]
    else:
        add = model.add_constraints
        spelled = [lambda: add(expression, lower_bounds=lower, upper_bounds=upper),
                   lambda: add(expression >= lower, upper_bounds=upper),
                   lambda: add((expression <= upper) >= lower),
                   lambda: add(upper >= expression, lower_bounds=lower)]
    spelled[style]()
    return lower, upper


def build_mixed(seed):
    """A random feasible mixed-integer model and its reference (A, lower, upper, costs, maximise)."""
    rng = np.random.default_rng(seed)
    model = LinearModel()
    x = model.get_variable("x", VariableType.INTEGER, -1, 3, a=2, b=3)
    y = model.get_variable("y", VariableType.REAL, 0, 2.5, k=4)
    inside = np.concatenate([rng.integers(-1, 4, size=6), rng.uniform(0, 2.5, size=4)])
    rows, lowers, uppers = [], [], []
    for name in rng.choice(list(ROW_SETS), size=2, replace=False):
        expression, reference, constants = ROW_SETS[name](x, y)
        lower, upper = bound_rows(rng, model, expression, np.array(reference) @ inside + constants)
        rows += reference
        lowers += list(lower - constants)
        uppers += list(upper - constants)
    name = rng.choice(list(SINGLE_ROWS))
    expression, reference, constant = SINGLE_ROWS[name](x, y)
    lower, upper = bound_rows(rng, model, expression, reference @ inside + constant)
    rows.append(reference)
    lowers.append(lower - constant)
    uppers.append(upper - constant)
    costs = rng.integers(-3, 4, size=WIDTH).astype(float)
    maximise = bool(rng.integers(0, 2))
    target = dot(x[np.arange(6)], costs[:6]) + dot(costs[6:], y[:]) + 4
    model.add_target(target, not maximise)
    return model, (np.array(rows), np.array(lowers), np.array(uppers), costs, maximise)


def reference_milp(a, lower, upper, costs, maximise):
    return milp(-costs if maximise else costs, constraints=LinearConstraint(a, lower, upper),
                integrality=[1] * 6 + [0] * 4, bounds=Bounds([-1] * 6 + [0] * 4, [3] * 6 + [2.5] * 4))


def point_of(model):
    x, y = model.get_result("x"), model.get_result("y")
    assert x.shape == (2, 3) and x.dtype == np.int32
    assert y.shape == (4,) and y.dtype == np.float64
    return np.concatenate([x.ravel(), y])


@pytest.mark.parametrize("seed", range(24))
def test_mixed_programs_match_scipy(seed):
    model, (a, lower, upper, costs, maximise) = build_mixed(seed)
    truth = reference_milp(a, lower, upper, costs, maximise)
    assert truth.success
    best = -truth.fun if maximise else truth.fun
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    # The target's constant 4 is no part of the objective.
    assert model.objective_value == pytest.approx(best, abs=1e-6)
    point = point_of(model)
    assert ((lower - 1e-6 <= a @ point) & (a @ point <= upper + 1e-6)).all()
    assert costs @ point == pytest.approx(best, abs=1e-6)


@pytest.mark.parametrize("seed", [0, 1, 2, 4, 5, 6])
def test_start_values_leave_the_optimum_alone(seed):
    reference, _ = build_mixed(seed)
    assert reference.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    model, _ = build_mixed(seed)
    rng = np.random.default_rng(seed)
    model.set_solution("x", rng.uniform(-5, 5, size=(2, 3)))
    model.set_solution("y", rng.choice([0.0, 9.5]))
    late = model.get_variable("late", VariableType.BINARY, n=2)  # after the start values
    model.set_solution("late", [1, 1])
    model.add_constraint(sumexp(late[:]) <= 1)
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(reference.objective_value, abs=1e-5)


def closed_form_minimum(hessian, gradient, a, b):
    """The minimum point of ½·xᵀHx + g·x subject to A·x = b, H positive definite."""
    n, m = len(gradient), len(b)
    kkt = np.block([[hessian, a.T], [a, np.zeros((m, m))]])
    return np.linalg.solve(kkt, np.concatenate([-gradient, b]))[:n]


EARLIER_TARGETS = {
    "none": None,
    "linear": lambda v: 4 * v[0] - v[2],
    "quadratic": lambda v: v[1] * v[1] * 3 + v[0] * v[2],
}


@pytest.mark.parametrize("earlier", list(EARLIER_TARGETS))
@pytest.mark.parametrize("seed", range(5))
def test_convex_quadratics_match_the_closed_form(seed, earlier):
    rng = np.random.default_rng(seed)
    model = LinearModel()
    v = model.get_variable("v", VariableType.REAL, -50, 50, n=3)
    a = rng.integers(-2, 3, size=(2, 3)).astype(float)
    a[0, 0] = 1.0  # two independent rows
    a[1] = [0.0, 1.0, a[1, 2]]
    b = rng.integers(-3, 4, size=2).astype(float)
    model.add_constraints(v[[0, 0]] * a[:, 0] + v[[1, 1]] * a[:, 1] + v[[2, 2]] * a[:, 2] + 1.0, equation_bounds=b + 1)
    if EARLIER_TARGETS[earlier] is not None:
        model.add_target(EARLIER_TARGETS[earlier](v), True)
    # Σ w·(c·v + d)² + v·v + g·v + 3, from products of single rows
    gradient = rng.integers(-4, 5, size=3).astype(float)
    target = dot(v[:], gradient) + sumexp(v[:] * 0.0) + 3
    hessian = 2 * np.eye(3)
    for k in range(3):
        target = target + v[k] * v[k]
    for _ in range(2):
        weight, c, d = rng.uniform(0.5, 2), rng.integers(-2, 3, size=3).astype(float), float(rng.integers(-3, 4))
        affine = v[:].dot(c) + d
        target = target + weight * (affine * affine)
        hessian += 2 * weight * np.outer(c, c)
        gradient += 2 * weight * d * c
    point = closed_form_minimum(hessian, gradient, a, b)
    assert (abs(point) < 50).all()
    minimum = 0.5 * point @ hessian @ point + gradient @ point
    for minimization, expected in ((True, minimum), (False, -minimum)):
        model.add_target(target if minimization else -1 * target, minimization)
        assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
        # The constants of the target (3 and w·d²) are excluded.
        assert model.objective_value == pytest.approx(expected, abs=1e-5)
        np.testing.assert_allclose(model.get_result("v"), point, atol=1e-4)


def integer_square_target():
    model = LinearModel()
    z = model.get_variable("z", VariableType.INTEGER, -3, 3, n=2)
    half = z[0] - 0.5
    model.add_target(half * half + z[1], True)
    return model


def unbounded_integer():
    model = LinearModel()
    z = model.get_variable("z", VariableType.INTEGER, 0, n=2)
    model.add_constraints(z[:] * np.array([1.0, -1.0]) <= 3)
    model.add_target(sumexp(z[:]), False)
    return model


def unbounded_quadratic():
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, n=2)
    model.add_target(x[0] * x[0] - x[1], True)
    return model


def infeasible_row_set():
    model = LinearModel()
    x = model.get_variable("x", VariableType.INTEGER, 0, 4, n=3)
    model.add_constraints(x[:] * 2, equation_bounds=np.array([2.0, 3.0, 4.0]))
    return model


def zero_row_set():
    # 0 >= 1 in every row once the coefficients vanish
    model = LinearModel()
    x = model.get_variable("x", VariableType.INTEGER, 0, 1, n=2)
    model.add_constraints(x[:] * 3 - x[0:2] * 3 >= 1)
    model.add_target(x[0] * 1, True)
    return model


def nonconvex_minimum():
    model = LinearModel()
    x = model.get_variable("x", VariableType.REAL, -1, 1, n=2)
    model.add_target(x[0] * x[1], True)
    return model


@pytest.mark.parametrize("build, refused", [
    (integer_square_target, True), (unbounded_integer, False), (unbounded_quadratic, False),
    (infeasible_row_set, False), (zero_row_set, False), (nonconvex_minimum, True),
])
def test_models_without_an_optimum_are_not_reported_solved(build, refused):
    model = build()
    # A model that the solver will not take is an error, never an answer of INFEASIBLE.
    if refused:
        with pytest.raises(SolverError, match=REFUSED):
            model.solve()
    else:
        assert model.solve() is SolutionStatus.INFEASIBLE
    with pytest.raises(SolverError, match=REFUSED if refused else NOT_SOLVED):
        model.solve(is_feasible=True)
    with pytest.raises(SolverError):
        model.objective_value


@pytest.mark.parametrize("options", [{}, {"presolve": "off"}, {"solver": "ipm"}])
def test_a_time_limit_point_that_breaks_rows_is_no_solution(options, warnings_logged):
    # Stopped before any iteration, the engine still offers values: the start
    # point 0, which breaks both rows.
    model = LinearModel(time_limit=0.0, **options)
    x = model.get_variable("x", VariableType.REAL, 0, 10, n=2)
    model.add_constraints(x[[0, 0]] * np.array([1.0, 3.0]) + x[[1, 1]] * np.array([2.0, 1.0]) >= np.array([5.0, 4.0]))
    model.add_target(sumexp(x[:]), True)
    assert model.solve() is SolutionStatus.INFEASIBLE
    assert warnings_logged() == [
        "The linear solver's verdict: the time limit was reached without a feasible point",
        "The model was not solved correctly",
    ]
    with pytest.raises(SolverError, match=NOT_SOLVED):
        model.solve(is_feasible=True)


def written_free_integers():
    # integers without bounds of their own, bounded by rows only
    model = LinearModel()
    z = model.get_variable("z", VariableType.INTEGER, n=3)
    b = model.get_variable("b", VariableType.BINARY, n=2)
    model.add_constraints(z[:] * np.array([2.0, 3.0, 1.0]) + b[[0, 1, 1]], -7.5, 9.5)
    model.add_constraint(sumexp(z[:]) - b[0], upper_bound=4)
    model.add_target(dot(z[:], np.array([1.0, 2.0, -1.0])) + 3 * b[1], False)
    return model


def written_quadratic():
    model = LinearModel()
    y = model.get_variable("y", VariableType.REAL, -2.5, inf, n=2)
    model.add_constraint(sumexp(y[:]) >= 1)
    low, high = y[0] - 3, y[1] + 1
    model.add_target(-1 * (low * low) - 2 * (high * high) + y[0] * y[1], False)
    return model


@pytest.mark.parametrize("suffix", [".lp", ".mps", ".LP", ".Mps", ".lp.gz", ".MPS.gz"])
@pytest.mark.parametrize("build", [written_free_integers, written_quadratic])
def test_written_models_read_back_with_the_same_optimum(tmp_path, build, suffix):
    model = build()
    assert model.solve(is_feasible=True) is SolutionStatus.OPTIMAL
    model.write_model(tmp_path / f"model{suffix}")
    assert reread_optimum(tmp_path / f"model{suffix}") == pytest.approx(model.objective_value, abs=1e-6)
