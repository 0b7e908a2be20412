"""Formula-text models against independently computed optima: exhaustive search
over small integer boxes, scipy's milp, and the active-set optimum of small
strictly convex quadratics."""
import itertools

import numpy as np
import pytest
from scipy.optimize import Bounds, LinearConstraint, milp

from tarvo_encoder._exceptions import SolverError
from written_models import reread_optimum
from tarvo_encoder.linear_parser import LinearModel, SolutionStatus, Sum, SumIt, VariableType, inf

NOT_SOLVED = "^The model was not solved correctly$"
REFUSED = "^The model was not solved correctly: the linear solver refused it: .+"


def box_optimum(lows, highs, rows, costs, maximise):
    """Best value of costs·p over the integer points p of the box that satisfy
    every (coefficients, lower, upper) row; None when no point does."""
    points = np.array(list(itertools.product(*(range(lo, hi + 1) for lo, hi in zip(lows, highs)))))
    feasible = np.ones(len(points), dtype=bool)
    for coefficients, lower, upper in rows:
        values = points @ coefficients
        feasible &= (values >= lower - 1e-9) & (values <= upper + 1e-9)
    if not feasible.any():
        return None
    values = points[feasible] @ costs
    return values.max() if maximise else values.min()


def row_holds(coefficients, lower, upper, point):
    value = np.dot(coefficients, point)
    return lower - 1e-6 <= value <= upper + 1e-6


def bordered(expression, lower, upper, style):
    """(expression, keyword borders) stating lower <= expression <= upper in one of the accepted spellings."""
    if style == "arguments":
        return expression, {"lo": lower, "hi": upper}
    if style == "compared above":
        return expression <= upper, {"lo": lower}
    if style == "compared below":
        return expression >= lower, {"hi": upper}
    if lower == upper:
        return expression == lower, {}
    return expression, {"lo": lower, "hi": upper}


STYLES = ["arguments", "compared above", "compared below", "equality"]


def random_box_model(seed):
    """A random integer program over dimensionless blocks, each with its own box,
    and its reference rows: (model, blocks, lows, highs, rows, costs, maximise)."""
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 5))
    binary = rng.integers(0, 4, size=n) == 0
    lows = np.where(binary, 0, rng.integers(-3, 2, size=n))
    highs = np.where(binary, 1, lows + rng.integers(0, 4, size=n))
    model = LinearModel()
    blocks = [model.get_variables(f"b{j}", VariableType.BINARY) if binary[j] else
              model.get_variables(f"z{j}", VariableType.INTEGER, int(lows[j]), int(highs[j])) for j in range(n)]
    rows = []
    for _ in range(int(rng.integers(0, 4))):
        coefficients = rng.integers(-3, 4, size=n)
        constant = int(rng.integers(-3, 4))
        lower = int(rng.integers(-5, 5))
        upper = lower + int(rng.integers(0, 3)) if rng.integers(0, 2) else lower
        style = STYLES[int(rng.integers(0, 4))] if lower == upper else STYLES[int(rng.integers(0, 3))]
        # The constant sits in the text and the borders include it.
        terms = [int(a) * block[()] for a, block in zip(coefficients, blocks)]
        expression = (SumIt(terms) if rng.integers(0, 2) else sum(terms)) + constant
        expression, borders = bordered(expression, lower + constant, upper + constant, style)
        model.add_constraint(expression, **borders)
        rows.append((coefficients, lower, upper))
    costs = rng.integers(-4, 5, size=n)
    maximise = bool(rng.integers(0, 2))
    model.add_target(SumIt([int(c) * block[()] for c, block in zip(costs, blocks)]) + int(rng.integers(-5, 6)),
                     minimization=not maximise)
    return model, blocks, lows, highs, rows, costs, maximise


def names(model):
    return list(model._variables)


def solves_to(model, best):
    """Whether the model solves to the optimum `best` (the target's constant no
    part of it); a model without a reference optimum must fail to solve."""
    if best is None:
        with pytest.raises(SolverError, match=NOT_SOLVED):
            model.solve()
        return False
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(best, abs=1e-6)
    return True


@pytest.mark.parametrize("seed", range(40))
def test_integer_boxes_match_exhaustive_search(seed):
    model, _, lows, highs, rows, costs, maximise = random_box_model(seed)
    best = box_optimum(lows, highs, rows, costs, maximise)
    if not solves_to(model, best):
        return
    results = [model.get_result(name) for name in names(model)]
    assert all(r.shape == () and r.dtype == np.int32 for r in results)
    point = np.array([int(r) for r in results])
    assert (lows <= point).all() and (point <= highs).all()
    assert all(row_holds(*row, point) for row in rows)
    assert costs @ point == best


@pytest.mark.parametrize("seed", [2, 3, 7, 14, 19, 29])  # feasible instances
def test_start_values_leave_the_optimum_alone(seed):
    reference, *_ = random_box_model(seed)
    reference.solve()
    model, *_ = random_box_model(seed)
    rng = np.random.default_rng(seed + 1000)
    # Start values anywhere: outside the boxes, fractional, for some blocks only.
    for name in names(model)[::2]:
        model.set_solution(name, rng.uniform(-6, 6))
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(reference.objective_value, abs=1e-5)


# Forall templates over a 3 by 2 block x: (formula builder, reference builder).
# The builder gets the block and the indexes i, j; the reference gets X, where
# X(a, b) is the unit vector of element x[a, b] in C order, and lists one
# coefficient vector per row, in the order of the foralls.
TEMPLATES = {
    "shifted difference": (
        lambda x, i, j: (x[i + 1, j] - x[i, j], dict(i=range(2), j=range(2))),
        lambda X: [X(a + 1, b) - X(a, b) for a in range(2) for b in range(2)]),
    "sum over the second index, rows over a list": (
        lambda x, i, j: (Sum(x[i, j], j=range(2)), dict(i=[0, 2])),
        lambda X: [X(a, 0) + X(a, 1) for a in (0, 2)]),
    "sum over the first index, rows over a tuple": (
        lambda x, i, j: (Sum(x[i, j], i=range(3)), dict(j=(1, 0))),
        lambda X: [X(0, b) + X(1, b) + X(2, b) for b in (1, 0)]),
    "scaled index": (
        lambda x, i, j: (x[2 * i, j] + 2 * x[i, j], dict(i=range(2), j=range(2))),
        lambda X: [X(2 * a, b) + 2 * X(a, b) for a in range(2) for b in range(2)]),
    "index minus one from a later start": (
        lambda x, i, j: (x[i, j - 1] - 3 * x[i, j], dict(i=range(3), j=range(1, 2))),
        lambda X: [X(a, 0) - 3 * X(a, 1) for a in range(3)]),
    "sum of a sum": (
        lambda x, i, j: (Sum(x[i, j] - x[i, 0], i=range(3), j=range(2)) + x[2, 1], {}),
        lambda X: [sum(X(a, b) - X(a, 0) for a in range(3) for b in range(2)) + X(2, 1)]),
    "two indexes added": (
        lambda x, i, j: (Sum(x[i + j, 1], j=range(2)), dict(i=range(2))),
        lambda X: [X(a, 1) + X(a + 1, 1) for a in range(2)]),
    "stepped range, negated": (
        lambda x, i, j: (-(x[i, 0] + x[i, 1]), dict(i=range(0, 3, 2))),
        lambda X: [-(X(a, 0) + X(a, 1)) for a in (0, 2)]),
    "shifts in several steps": (
        lambda x, i, j: (x[(i + 1) + 1, (j - 1) + 1] - x[i, j], dict(i=range(1), j=range(2))),
        lambda X: [X(a + 2, b) - X(a, b) for a in range(1) for b in range(2)]),
    "scaled shifted index": (
        lambda x, i, j: (x[2 * (i + 1) - 1, j] + x[2 * i + 1, j], dict(i=range(1), j=range(2))),
        lambda X: [X(2 * (a + 1) - 1, b) + X(2 * a + 1, b) for a in range(1) for b in range(2)]),
    "numbers on the left": (
        lambda x, i, j: (4 - x[i, 1] * 2, dict(i=range(1, 3))),
        lambda X: [-2 * X(a, 1) for a in (1, 2)]),
}


def unit(a, b):
    vector = np.zeros(6, dtype=int)
    vector[2 * a + b] = 1
    return vector


def constant_of(name):
    return 4 if name == "numbers on the left" else 0


@pytest.mark.parametrize("seed", range(12))
def test_foralls_and_sums_match_exhaustive_search(seed):
    rng = np.random.default_rng(seed)
    chosen = rng.choice(list(TEMPLATES), size=3, replace=False)
    model = LinearModel()
    x = model.get_variables("x", VariableType.INTEGER, -1, 2, a=3, b=2)
    i, j = model.get_indexes(["i", "j"])
    rows = []
    for name in chosen:
        build, reference = TEMPLATES[name]
        expression, foralls = build(x, i, j)
        scale = int(rng.choice([-2, -1, 1, 2]))
        lower = int(rng.integers(-5, 1))
        upper = lower + int(rng.integers(2, 7))
        style = STYLES[int(rng.integers(0, 3))]
        offset = constant_of(name) * scale
        expression, borders = bordered(scale * expression, lower + offset, upper + offset, style)
        model.add_constraint(expression, **borders, **foralls)
        rows += [(scale * vector, lower, upper) for vector in reference(unit)]
    costs = rng.integers(-3, 4, size=(3, 2))
    maximise = bool(rng.integers(0, 2))
    model.add_target(SumIt([int(costs[a, b]) * x[a, b] for a in range(3) for b in range(2)]), not maximise)
    best = box_optimum([-1] * 6, [2] * 6, rows, costs.ravel(), maximise)
    if not solves_to(model, best):
        return
    result = model.get_result("x")
    assert result.shape == (3, 2) and result.dtype == np.int32
    # result[a, b] is element x[a, b]: the rows written with the reference's layout hold.
    assert all(row_holds(*row, result.ravel()) for row in rows)
    assert np.sum(costs * result) == best


@pytest.mark.parametrize("seed", range(6))
def test_mixed_blocks_match_scipy(seed):
    # one real and one integer block; rows over both with foralls
    rng = np.random.default_rng(seed)
    a, c = rng.integers(-3, 5, size=(3, 4)), rng.integers(-2, 6, size=(2, 4))
    upper = rng.integers(3, 12, size=3)
    model = LinearModel()
    r = model.get_variables("r", VariableType.REAL, 0, 3.5, n=4)
    z = model.get_variables("z", VariableType.INTEGER, 0, 3, n=4)
    k = model.get_indexes("k")
    for row in range(3):
        model.add_constraint(SumIt([int(a[row, col]) * (r[col] + z[col]) for col in range(4)]) <= int(upper[row]))
    model.add_constraint(r[k] - z[k] <= 1, k=range(4))
    model.add_target(SumIt([int(c[0, col]) * r[col] + int(c[1, col]) * z[col] for col in range(4)]), False)
    # columns r0..r3, z0..z3
    a_ub = np.vstack([np.hstack([a, a]), np.hstack([np.eye(4), -np.eye(4)])])
    b_ub = np.concatenate([upper, np.ones(4)])
    truth = milp(-c.ravel(), constraints=LinearConstraint(a_ub, -np.inf, b_ub),
                 integrality=[0] * 4 + [1] * 4, bounds=Bounds([0] * 8, [3.5] * 4 + [3] * 4))
    assert truth.success
    assert model.solve() is SolutionStatus.OPTIMAL
    assert model.objective_value == pytest.approx(-truth.fun, abs=1e-6)
    point = np.concatenate([model.get_result("r"), model.get_result("z")])
    assert (a_ub @ point <= b_ub + 1e-6).all() and c.ravel() @ point == pytest.approx(-truth.fun, abs=1e-6)


def active_set_minimum(hessian, gradient, a, lower, upper):
    """min ½·xᵀHx + g·x subject to lower <= A·x <= upper, for positive definite H:
    the best feasible point among the minima over each choice of active sides."""
    sides = [(row, bound) for row, lo, hi in zip(a, lower, upper) for bound in (lo, hi) if np.isfinite(bound)]
    n, best = len(gradient), None
    for size in range(min(n, len(sides)) + 1):
        for active in itertools.combinations(sides, size):
            rows = np.array([row for row, _ in active]).reshape(size, n)
            kkt = np.block([[hessian, rows.T], [rows, np.zeros((size, size))]])
            if abs(np.linalg.det(kkt)) < 1e-9:
                continue
            point = np.linalg.solve(kkt, np.concatenate([-gradient, [bound for _, bound in active]]))[:n]
            values = a @ point
            if (values >= lower - 1e-9).all() and (values <= upper + 1e-9).all():
                value = 0.5 * point @ hessian @ point + gradient @ point
                best = value if best is None or value < best else best
    return best


EARLIER_TARGETS = {
    "none": None,
    "linear": lambda v: 5 * v[0] - 7 * v[1],
    "quadratic": lambda v: 3 * (v[1] * v[1]) + v[0] * v[1] + v[0],
}


@pytest.mark.parametrize("earlier", list(EARLIER_TARGETS))
@pytest.mark.parametrize("seed", range(5))
def test_convex_quadratics_match_the_active_set_optimum(seed, earlier):
    rng = np.random.default_rng(seed)
    n = 3
    model = LinearModel()
    v = model.get_variables("v", VariableType.REAL, -2, 3, n=n)
    k = model.get_indexes("k")
    row = rng.integers(-2, 3, size=n)
    row_bound = int(rng.integers(-1, 3))
    model.add_constraint(SumIt([int(a) * v[c] for c, a in enumerate(row)]) >= row_bound)
    if EARLIER_TARGETS[earlier] is not None:
        model.add_target(EARLIER_TARGETS[earlier](v), minimization=True)
    # Σ w·(a·v + b)² + Σ v_k² + g·v + 9, written as products of texts
    squares = [(rng.uniform(0.5, 2), rng.integers(-2, 3, size=n), int(rng.integers(-3, 4))) for _ in range(2)]
    gradient = rng.integers(-4, 5, size=n).astype(float)
    target = Sum(v[k] * v[k], k=range(n)) + SumIt([int(g) * v[c] for c, g in enumerate(gradient)]) + 9
    for weight, a, b in squares:
        affine = SumIt([int(w) * v[c] for c, w in enumerate(a)]) + b
        target = target + float(weight) * (affine * affine)
    hessian = 2 * np.eye(n) + sum(2 * w * np.outer(a, a) for w, a, _ in squares)
    gradient = gradient + sum(2 * w * b * a for w, a, b in squares)
    bounds = np.vstack([np.eye(n), [row]])
    minimum = active_set_minimum(hessian, gradient, bounds, np.array([-2.0] * n + [row_bound]),
                                 np.array([3.0] * n + [np.inf]))
    for minimization, expected in ((True, minimum), (False, -minimum)):
        model.add_target(target if minimization else -1 * target, minimization)
        assert model.solve() is SolutionStatus.OPTIMAL
        # The constants of the target (9 and w·b²) are excluded.
        assert model.objective_value == pytest.approx(expected, abs=1e-5)
        point = model.get_result("v")
        assert point.shape == (n,) and point.dtype == np.float64
        assert 0.5 * point @ hessian @ point + gradient @ point == pytest.approx(minimum, abs=1e-5)


def integer_square_target():
    model = LinearModel()
    z = model.get_variables("z", VariableType.INTEGER, -3, 3, n=2)
    model.add_target((z[0] - 0.5) * (z[0] - 0.5) + z[1], minimization=True)
    return model


def unbounded_real():
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, inf, n=2)
    model.add_constraint(x[0] - x[1] <= 1)
    model.add_target(x[0] + x[1], minimization=False)
    return model


def unbounded_integer():
    model = LinearModel()
    z = model.get_variables("z", VariableType.INTEGER, 0, 5)
    y = model.get_variables("y", VariableType.REAL, -inf, 0)
    model.add_target(z[()] + y[()], minimization=True)
    return model


def unbounded_quadratic():
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, n=2)
    model.add_target(x[0] * x[0] - x[1], minimization=True)
    return model


def infeasible_equalities():
    model = LinearModel()
    x = model.get_variables("x", VariableType.INTEGER, 0, 4, n=2)
    k = model.get_indexes("k")
    model.add_constraint(2 * x[k] == 3, k=range(2))
    return model


def cancelled_row():
    # 0 >= 1 once the terms cancel
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, 0, 1, n=2)
    model.add_constraint(x[0] + x[1] - x[0] - x[1] >= 1)
    model.add_target(x[0], minimization=True)
    return model


def nonconvex_minimum():
    model = LinearModel()
    x = model.get_variables("x", VariableType.REAL, -1, 1, n=2)
    model.add_target(x[0] * x[1], minimization=True)
    return model


@pytest.mark.parametrize("build, refused", [
    (integer_square_target, True), (unbounded_real, False), (unbounded_integer, False), (unbounded_quadratic, False),
    (infeasible_equalities, False), (cancelled_row, False), (nonconvex_minimum, True),
])
def test_models_without_an_optimum_fail(build, refused):
    model = build()
    with pytest.raises(SolverError, match=REFUSED if refused else NOT_SOLVED):
        model.solve()
    with pytest.raises(SolverError):
        model.objective_value


@pytest.mark.parametrize("options", [{}, {"presolve": "off"}, {"solver": "ipm"}])
def test_a_time_limit_point_that_breaks_rows_is_no_solution(options):
    # Stopped before any iteration, the engine still offers values: the start
    # point 0, which breaks both rows.
    model = LinearModel(time_limit=0.0, **options)
    x = model.get_variables("x", VariableType.REAL, 0, 10, n=2)
    model.add_constraint(x[0] + 2 * x[1] >= 5)
    model.add_constraint(3 * x[0] + x[1] >= 4)
    model.add_target(x[0] + x[1], minimization=True)
    with pytest.raises(SolverError, match=NOT_SOLVED):
        model.solve()
    with pytest.raises(SolverError):
        model.get_result("x")


def written_mixed_model():
    model = LinearModel()
    z = model.get_variables("z", VariableType.INTEGER, -3, 4, n=3)
    y = model.get_variables("y", VariableType.REAL, -2.5, 6, n=2)
    b = model.get_variables("b", VariableType.BINARY, n=2)
    k = model.get_indexes("k")
    model.add_constraint(z[0] + 2 * z[1] - y[0] <= 3.5)
    model.add_constraint(z[k] - y[k], lo=-1, hi=2, k=range(2))
    model.add_constraint(b[0] + b[1] + z[2] == 2)
    model.add_constraint(z[1] + 0)
    model.add_target(3 * z[0] + z[1] - 2 * z[2] + y[0] - y[1] + 5 * b[0] + 7, minimization=False)
    return model


def written_quadratic_model():
    model = LinearModel()
    y = model.get_variables("y", VariableType.REAL, -2.5, inf, n=2)
    model.add_constraint(y[0] + y[1] >= 1)
    model.add_target(-1 * ((y[0] - 3) * (y[0] - 3)) - 2 * ((y[1] + 1) * (y[1] + 1)) + y[0] * y[1], False)
    return model


@pytest.mark.parametrize("suffix", [".lp", ".mps", ".LP", ".Mps", ".lp.gz", ".MPS.gz"])
@pytest.mark.parametrize("build", [written_mixed_model, written_quadratic_model])
def test_written_models_read_back_with_the_same_optimum(tmp_path, build, suffix):
    model = build()
    model.solve()
    model.write_model(tmp_path / f"model{suffix}")
    assert reread_optimum(tmp_path / f"model{suffix}") == pytest.approx(model.objective_value, abs=1e-6)
