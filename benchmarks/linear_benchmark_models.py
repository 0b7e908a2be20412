"""The benchmark models of bench_linear.py, as data and as builds through the
peers: highspy's bulk calls (the baseline), pyoptinterface and linopy.

Every build ends with a run under a zero time limit, so that each library
has handed its whole model to the solver; linopy, for one, only does so when
it solves.
"""
import numpy as np

try:
    import highspy
except ImportError:  # a runtime dependency, but the peers are optional
    highspy = None

try:
    import pyoptinterface as poi
    from pyoptinterface import highs as poi_highs

    if not poi_highs.autoload_library():
        poi = None
except ImportError:
    poi = None

try:
    import linopy
except ImportError:
    linopy = None


# ---- model data ---------------------------------------------------------------------------------------------------

def chain_costs(n):
    """Costs of the chain LP: min sum c_k x_k, x_k + x_(k+1) >= 1, x in [0, 10]; its QP
    variant minimises sum x_k^2 over the same rows."""
    return 1.0 + (np.arange(n) % 7) / 10.0


class Lqcp:
    """The discretised heat-equation control problem (JuMP's and pyoptinterface's lqcp):
    y[0..n, 0..n] in [0, 1], u[1..n] in [-1, 1]."""

    def __init__(self, n):
        self.n = n
        self.dx = 1.0 / n
        self.dt = 1.58 / n
        self.h2 = self.dx ** 2
        self.a = 0.001
        self.yt = 0.5 * (1 - (np.arange(n + 1) * self.dx) ** 2)

    def pde_coefficients(self):
        """The PDE row over y[i, j] (i < n, 0 < j < n), as (di, dj, coefficient)."""
        half = 0.5 * self.dt
        return [(1, 0, self.h2 + 2 * half), (0, 0, -self.h2 + 2 * half), (0, -1, -half), (0, 1, -half),
                (1, -1, -half), (1, 1, -half)]


class PMedian:
    """JuMP's pMedian(F, C, L): s[1..L], x[1..L, 1..C] in [0, 1]; max sum |loc_a - i| x[i, a];
    x[i, a] <= s[i]; sum_i x[i, a] = 1; sum_i s[i] = F."""

    def __init__(self, facilities, customers, locations):
        self.facilities, self.customers, self.locations = facilities, customers, locations
        self.customer_locations = np.random.default_rng(10).integers(1, locations + 1, size=customers)
        # weight[i, a], i the location 1..L (row), a the customer (column)
        self.weights = np.abs(self.customer_locations[None, :] - np.arange(1, locations + 1)[:, None]).astype(float)


class FacilityLocation:
    """F facilities, C customers: x[f, c] in [0, 1] (the share of c that f serves), y[f] binary (f open);
    sum_f x[f, c] = 1; sum_c d_c x[f, c] - cap_f y[f] <= 0 (int demands and capacities);
    sum_c t[f][c] x[f, c] <= 4000.0 (float transport costs); min sum_f fixed_f y[f] + sum t[f][c] x[f, c]."""

    def __init__(self, facilities, customers):
        rng = np.random.default_rng(5)
        self.facilities, self.customers = facilities, customers
        # Python numbers, as a model's data usually arrive.
        self.demands = rng.integers(1, 20, customers).tolist()
        self.capacities = rng.integers(150, 400, facilities).tolist()
        self.costs = (rng.random((facilities, customers)) * 10).tolist()
        self.fixed = (100 + rng.random(facilities) * 100).tolist()


# ---- highspy, bulk calls ------------------------------------------------------------------------------------------

def _highs_model():
    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    h.setOptionValue("time_limit", 0.0)
    return h


def _add_csr_rows(h, lower, upper, rows, cols, vals, count):
    order = np.lexsort((cols, rows))
    rows, cols, vals = rows[order], cols[order], vals[order]
    starts = np.searchsorted(rows, np.arange(count)).astype(np.int32)
    h.addRows(count, np.asarray(lower, float), np.asarray(upper, float), len(vals), starts, cols.astype(np.int32),
              vals.astype(float))


def highspy_chain(n, quadratic=False):
    h = _highs_model()
    h.addVars(n, np.zeros(n), np.full(n, 10.0))
    if quadratic:
        h.passHessian(n, n, highspy.HessianFormat.kTriangular, np.arange(n + 1, dtype=np.int32),
                      np.arange(n, dtype=np.int32), np.full(n, 2.0))
    else:
        h.changeColsCost(n, np.arange(n, dtype=np.int32), chain_costs(n))
    m = n - 1
    starts = np.arange(0, 2 * m, 2, dtype=np.int32)
    indices = np.column_stack([np.arange(m), np.arange(1, n)]).ravel().astype(np.int32)
    h.addRows(m, np.ones(m), np.full(m, highspy.kHighsInf), 2 * m, starts, indices, np.ones(2 * m))
    h.run()


def highspy_lqcp(n):
    p = Lqcp(n)
    h = _highs_model()
    side = n + 1
    h.addVars(side * side, np.zeros(side * side), np.ones(side * side))
    u0 = side * side
    h.addVars(n, np.full(n, -1.0), np.ones(n))
    # xᵀQx with Q diagonal: (y[n, j] - yt_j)^2 over j and a * u_i^2; H = 2Q, the constant dropped
    diagonal = np.zeros(u0 + n)
    last = n * side + np.arange(side)
    diagonal[last] = 2.0
    diagonal[u0:] = 2.0 * p.a
    costs = np.zeros(u0 + n)
    costs[last] = -2.0 * p.yt
    h.changeColsCost(u0 + n, np.arange(u0 + n, dtype=np.int32), costs)
    used = np.flatnonzero(diagonal)
    starts = np.searchsorted(used, np.arange(u0 + n + 1)).astype(np.int32)
    h.passHessian(u0 + n, len(used), highspy.HessianFormat.kTriangular, starts, used.astype(np.int32),
                  diagonal[used])
    # PDE rows over i < n, 0 < j < n
    i, j = np.meshgrid(np.arange(n), np.arange(1, n), indexing="ij")
    i, j = i.ravel(), j.ravel()
    count = len(i)
    terms = p.pde_coefficients()
    rows = np.tile(np.arange(count), len(terms))
    cols = np.concatenate([(i + di) * side + (j + dj) for di, dj, _ in terms])
    vals = np.concatenate([np.full(count, c) for _, _, c in terms])
    _add_csr_rows(h, np.zeros(count), np.zeros(count), rows, cols, vals, count)
    # initial condition y[0, j] = 0
    h.addRows(side, np.zeros(side), np.zeros(side), side, np.arange(side, dtype=np.int32),
              np.arange(side, dtype=np.int32), np.ones(side))
    # boundary rows over i = 1..n
    i = np.arange(1, n + 1)
    left = [(i * side + 2, 1.0), (i * side + 1, -4.0), (i * side, 3.0)]
    right = [(i * side + n - 2, 1.0), (i * side + n - 1, -4.0), (i * side + n, 3.0 + 2 * p.dx),
             (u0 + i - 1, -2 * p.dx)]
    for terms in (left, right):
        rows = np.tile(np.arange(n), len(terms))
        cols = np.concatenate([c for c, _ in terms])
        vals = np.concatenate([np.full(n, v) for _, v in terms])
        _add_csr_rows(h, np.zeros(n), np.zeros(n), rows, cols, vals, n)
    h.run()


def highspy_pmedian(p):
    h = _highs_model()
    L, C = p.locations, p.customers
    h.addVars(L, np.zeros(L), np.ones(L))
    h.addVars(L * C, np.zeros(L * C), np.ones(L * C))
    h.changeObjectiveSense(highspy.ObjSense.kMaximize)
    h.changeColsCost(L * C, np.arange(L, L + L * C, dtype=np.int32), p.weights.ravel())
    # x[i, a] - s[i] <= 0, one row per (i, a)
    x = L + np.arange(L * C)
    s = np.repeat(np.arange(L), C)
    m = L * C
    h.addRows(m, np.full(m, -highspy.kHighsInf), np.zeros(m), 2 * m, np.arange(0, 2 * m, 2, dtype=np.int32),
              np.column_stack([s, x]).ravel().astype(np.int32), np.tile([-1.0, 1.0], m))
    # sum_i x[i, a] = 1 for each a
    columns = (L + np.arange(L)[None, :] * C + np.arange(C)[:, None]).ravel()
    h.addRows(C, np.ones(C), np.ones(C), L * C, np.arange(0, L * C, L, dtype=np.int32), columns.astype(np.int32),
              np.ones(L * C))
    h.addRow(p.facilities, p.facilities, L, np.arange(L, dtype=np.int32), np.ones(L))
    h.run()


# ---- pyoptinterface, one scalar expression at a time --------------------------------------------------------------

def _poi_model():
    model = poi_highs.Model()
    model.set_model_attribute(poi.ModelAttribute.Silent, True)
    model.set_model_attribute(poi.ModelAttribute.TimeLimitSec, 0.0)
    return model


def poi_chain(n, quadratic=False):
    model = _poi_model()
    x = [model.add_variable(lb=0.0, ub=10.0) for _ in range(n)]
    for k in range(n - 1):
        model.add_linear_constraint(x[k] + x[k + 1], poi.Geq, 1.0)
    costs = chain_costs(n)
    objective = poi.ExprBuilder()
    for k in range(n):
        objective += x[k] * x[k] if quadratic else costs[k] * x[k]
    model.set_objective(objective, poi.ObjectiveSense.Minimize)
    model.optimize()


def poi_lqcp(n):
    p = Lqcp(n)
    model = _poi_model()
    y = [[model.add_variable(lb=0.0, ub=1.0) for _ in range(n + 1)] for _ in range(n + 1)]
    u = [model.add_variable(lb=-1.0, ub=1.0) for _ in range(n)]
    objective = poi.ExprBuilder()
    for j in range(n + 1):
        objective += (y[n][j] - p.yt[j]) * (y[n][j] - p.yt[j])
    for i in range(n):
        objective += p.a * u[i] * u[i]
    model.set_objective(objective, poi.ObjectiveSense.Minimize)
    terms = p.pde_coefficients()
    for i in range(n):
        for j in range(1, n):
            row = poi.ExprBuilder()
            for di, dj, c in terms:
                row += c * y[i + di][j + dj]
            model.add_linear_constraint(row, poi.Eq, 0.0)
    for j in range(n + 1):
        model.add_linear_constraint(y[0][j], poi.Eq, 0.0)
    for i in range(1, n + 1):
        model.add_linear_constraint(y[i][2] - 4 * y[i][1] + 3 * y[i][0], poi.Eq, 0.0)
        model.add_linear_constraint(
            y[i][n - 2] - 4 * y[i][n - 1] + 3 * y[i][n] - (2 * p.dx) * (u[i - 1] - y[i][n]), poi.Eq, 0.0)
    model.optimize()


def poi_pmedian(p):
    model = _poi_model()
    L, C = p.locations, p.customers
    s = [model.add_variable(lb=0.0, ub=1.0) for _ in range(L)]
    x = [[model.add_variable(lb=0.0, ub=1.0) for _ in range(C)] for _ in range(L)]
    objective = poi.ExprBuilder()
    for i in range(L):
        for a in range(C):
            objective += p.weights[i, a] * x[i][a]
    model.set_objective(objective, poi.ObjectiveSense.Maximize)
    for a in range(C):
        total = poi.ExprBuilder()
        for i in range(L):
            total += x[i][a]
        model.add_linear_constraint(total, poi.Eq, 1.0)
    for i in range(L):
        for a in range(C):
            model.add_linear_constraint(x[i][a] - s[i], poi.Leq, 0.0)
    total = poi.ExprBuilder()
    for i in range(L):
        total += s[i]
    model.add_linear_constraint(total, poi.Eq, float(p.facilities))
    model.optimize()


def poi_facility(p):
    model = _poi_model()
    F, C = p.facilities, p.customers
    x = [[model.add_variable(lb=0.0, ub=1.0) for _ in range(C)] for _ in range(F)]
    y = [model.add_variable(domain=poi.VariableDomain.Binary) for _ in range(F)]
    for c in range(C):
        model.add_linear_constraint(poi.quicksum(x[f][c] for f in range(F)), poi.Eq, 1.0)
    for f in range(F):
        row = poi.ExprBuilder()
        for c in range(C):
            row.add_affine_term(x[f][c], p.demands[c])
        row.add_affine_term(y[f], -p.capacities[f])
        model.add_linear_constraint(row, poi.Leq, 0.0)
        row = poi.ExprBuilder()
        for c in range(C):
            row.add_affine_term(x[f][c], p.costs[f][c])
        model.add_linear_constraint(row, poi.Leq, 4000.0)
    objective = poi.ExprBuilder()
    for f in range(F):
        objective.add_affine_term(y[f], p.fixed[f])
        for c in range(C):
            objective.add_affine_term(x[f][c], p.costs[f][c])
    model.set_objective(objective, poi.ObjectiveSense.Minimize)
    model.optimize()


def poi_long_rows(rows, terms, coefficient):
    """`rows` rows of `terms` terms (x alone, or times an int or float coefficient) <= 5."""
    model = _poi_model()
    x = [[model.add_variable(lb=0.0, ub=1.0) for _ in range(terms)] for _ in range(rows)]
    for f in range(rows):
        row = poi.ExprBuilder()
        for c in range(terms):
            row.add_affine_term(x[f][c], 1.0 if coefficient is None else coefficient)
        model.add_linear_constraint(row, poi.Leq, 5.0)
    model.optimize()


# ---- linopy, labelled arrays ----------------------------------------------------------------------------------------

def _linopy_solve(model):
    model.solve(solver_name="highs", io_api="direct", time_limit=0.0, output_flag=False)


def linopy_chain(n):
    model = linopy.Model()
    x = model.add_variables(lower=0.0, upper=10.0, coords=[np.arange(n)], name="x")
    model.add_constraints(x.isel(dim_0=slice(0, n - 1)) + x.isel(dim_0=slice(1, n)).assign_coords(dim_0=np.arange(n - 1))
                          >= 1, name="chain")
    model.add_objective((chain_costs(n) * x).sum())
    _linopy_solve(model)


def linopy_pmedian(p):
    import xarray as xr

    model = linopy.Model()
    L, C = p.locations, p.customers
    locations, customers = np.arange(L), np.arange(C)
    s = model.add_variables(lower=0.0, upper=1.0, coords=[locations], dims=["i"], name="s")
    x = model.add_variables(lower=0.0, upper=1.0, coords=[locations, customers], dims=["i", "a"], name="x")
    weights = xr.DataArray(p.weights, coords=[locations, customers], dims=["i", "a"])
    model.add_objective((weights * x).sum(), sense="max")
    model.add_constraints(x.sum("i") == 1, name="assign")
    model.add_constraints(x - s <= 0, name="open")
    model.add_constraints(s.sum() == p.facilities, name="count")
    _linopy_solve(model)
