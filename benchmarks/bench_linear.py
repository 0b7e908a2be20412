"""Build time of linear models through both linear models of tarvo_encoder,
against highspy's bulk calls (the baseline), pyoptinterface and linopy, in
the same run. A build runs from an empty model to a solver run under a zero
time limit, so every library has handed its whole model to the solver.

Models: the chain LP (x_k + x_(k+1) >= 1, min sum c_k x_k), a QP target of
n quadratic terms over the same rows, lqcp (JuMP's discretised heat-equation
control problem), p-median (JuMP's pMedian) and facility location (100
facilities, 1,000 customers: assignment rows by foralls, 200 rows of 1,000
scaled terms, a target over all 10^5 elements). Each tarvo model is written
as a user would write it: the array model with row sets from slices and the
lqcp target as a loop of scalar products, the text model with foralls and
SumIt. Also timed alone: the text model's add_target over a long sum, and
rows of 1,000 SumIt terms, writing and add_constraint apart, against
pyoptinterface building the same rows.

Times are CPU seconds of this process, best of a few runs up to 10^5 columns;
the objects of the imported modules are frozen out of garbage collection.
    python benchmarks/bench_linear.py           quick sizes (make bench)
    python benchmarks/bench_linear.py --full    adds lqcp n = 1000 and pMedian(100, 100, 5000)
"""
import functools
import gc
import logging
import sys
import time

import numpy as np

import linear_benchmark_models as peers
from linear_benchmark_models import FacilityLocation, Lqcp, PMedian, chain_costs
from tarvo_encoder._exceptions import SolverError
from tarvo_encoder.linear_parser import LinearModel as TextModel
from tarvo_encoder.linear_parser import Sum, SumIt, VariableType as TextType
from tarvo_encoder.linear_parser2 import LinearModel as ArrayModel
from tarvo_encoder.linear_parser2 import VariableType as ArrayType, dot, sumexp


# ---- the array model (linear_parser2) -----------------------------------------------------------------------------

def _array_run(model):
    model.solve()


def array_chain(n, quadratic=False):
    model = ArrayModel(time_limit=0.0)
    x = model.get_variable("x", ArrayType.REAL, 0.0, 10.0, k=n)
    model.add_constraints(x[:n - 1] + x[1:] >= 1)
    model.add_target(sum(x[k] * x[k] for k in range(n)) if quadratic else dot(x[:], chain_costs(n)), True)
    _array_run(model)


def array_lqcp(n):
    p = Lqcp(n)
    model = ArrayModel(time_limit=0.0)
    y = model.get_variable("y", ArrayType.REAL, 0.0, 1.0, i=n + 1, j=n + 1)
    u = model.get_variable("u", ArrayType.REAL, -1.0, 1.0, i=n)
    half = 0.5 * p.dt
    pde = (p.h2 * (y[1:, 1:n] - y[:n, 1:n])
           - half * (y[:n, :n - 1] - 2 * y[:n, 1:n] + y[:n, 2:] + y[1:, :n - 1] - 2 * y[1:, 1:n] + y[1:, 2:]))
    model.add_constraints(pde == 0)
    model.add_constraints(y[0, :] == 0)
    model.add_constraints(y[1:, 2] - 4 * y[1:, 1] + 3 * y[1:, 0] == 0)
    model.add_constraints(y[1:, n - 2] - 4 * y[1:, n - 1] + 3 * y[1:, n] - 2 * p.dx * (u[:] - y[1:, n]) == 0)
    target = 0
    for j in range(n + 1):
        target = target + (y[n, j] - p.yt[j]) * (y[n, j] - p.yt[j])
    for i in range(n):
        target = target + p.a * (u[i] * u[i])
    model.add_target(target, True)
    _array_run(model)


def array_pmedian(p):
    model = ArrayModel(time_limit=0.0)
    L, C = p.locations, p.customers
    s = model.get_variable("s", ArrayType.REAL, 0.0, 1.0, i=L)
    x = model.get_variable("x", ArrayType.REAL, 0.0, 1.0, i=L, a=C)
    model.add_target(dot(x[:, :], p.weights.ravel()), False)
    for a in range(C):
        model.add_constraint(sumexp(x[:, a]) == 1)
    model.add_constraints(x[:, :] - s[np.repeat(np.arange(L), C)] <= 0)
    model.add_constraint(sumexp(s[:]) == p.facilities)
    _array_run(model)


# ---- the text model (linear_parser) -------------------------------------------------------------------------------

def _text_run(model):
    try:
        model.solve()
    except SolverError:  # no feasible point within a zero time limit
        pass


def text_chain(n, quadratic=False, timings=None):
    """The chain LP (or QP) through the text model; `timings` receives add_target's time."""
    model = TextModel(time_limit=0.0)
    x = model.get_variables("x", TextType.REAL, 0.0, 10.0, k=n)
    i = model.get_indexes(["i"])
    model.add_constraint(x[i] + x[i + 1] >= 1, i=range(n - 1))
    costs = chain_costs(n)
    target = SumIt([x[k] * x[k] if quadratic else float(costs[k]) * x[k] for k in range(n)])
    start = time.process_time()
    model.add_target(target, True)
    if timings is not None:
        timings.append(time.process_time() - start)
    _text_run(model)


def text_lqcp(n):
    p = Lqcp(n)
    model = TextModel(time_limit=0.0)
    y = model.get_variables("y", TextType.REAL, 0.0, 1.0, i=n + 1, j=n + 1)
    u = model.get_variables("u", TextType.REAL, -1.0, 1.0, i=n)
    i, j = model.get_indexes(["i", "j"])
    half = 0.5 * p.dt
    pde = (p.h2 * (y[i + 1, j] - y[i, j])
           - half * (y[i, j - 1] - 2 * y[i, j] + y[i, j + 1] + y[i + 1, j - 1] - 2 * y[i + 1, j] + y[i + 1, j + 1]))
    model.add_constraint(pde == 0, i=range(n), j=range(1, n))
    model.add_constraint(y[0, j] == 0, j=range(n + 1))
    model.add_constraint(y[i, 2] - 4 * y[i, 1] + 3 * y[i, 0] == 0, i=range(1, n + 1))
    model.add_constraint(y[i, n - 2] - 4 * y[i, n - 1] + 3 * y[i, n] - 2 * p.dx * (u[i - 1] - y[i, n]) == 0,
                         i=range(1, n + 1))
    terms = [(y[n, k] - float(p.yt[k])) * (y[n, k] - float(p.yt[k])) for k in range(n + 1)]
    terms += [p.a * (u[k] * u[k]) for k in range(n)]
    model.add_target(SumIt(terms), True)
    _text_run(model)


def text_pmedian(p):
    model = TextModel(time_limit=0.0)
    L, C = p.locations, p.customers
    s = model.get_variables("s", TextType.REAL, 0.0, 1.0, i=L)
    x = model.get_variables("x", TextType.REAL, 0.0, 1.0, i=L, a=C)
    i, a = model.get_indexes(["i", "a"])
    model.add_target(SumIt([float(p.weights[k, c]) * x[k, c] for k in range(L) for c in range(C)]), False)
    model.add_constraint(Sum(x[i, a], i=range(L)) == 1, a=range(C))
    model.add_constraint(x[i, a] - s[i] <= 0, i=range(L), a=range(C))
    model.add_constraint(Sum(s[i], i=range(L)) == p.facilities)
    _text_run(model)


def array_facility(p):
    model = ArrayModel(time_limit=0.0)
    F, C = p.facilities, p.customers
    x = model.get_variable("x", ArrayType.REAL, 0.0, 1.0, f=F, c=C)
    y = model.get_variable("y", ArrayType.BINARY, 0, 1, f=F)
    demands, costs = np.array(p.demands), np.array(p.costs)
    for c in range(C):
        model.add_constraint(sumexp(x[:, c]) == 1)
    for f in range(F):
        model.add_constraint(dot(x[f, :], demands) - p.capacities[f] * y[f] <= 0)
        model.add_constraint(dot(x[f, :], costs[f]) <= 4000.0)
    model.add_target(dot(y[:], np.array(p.fixed)) + dot(x[:, :], costs.ravel()), True)
    _array_run(model)


def text_facility(p):
    """Written as a new user writes it: the assignment rows by foralls, the long rows and the target with SumIt."""
    model = TextModel(time_limit=0.0)
    F, C = p.facilities, p.customers
    x = model.get_variables("x", TextType.REAL, 0.0, 1.0, f=F, c=C)
    y = model.get_variables("y", TextType.BINARY, f=F)
    f, c = model.get_indexes(["f", "c"])
    model.add_constraint(Sum(x[f, c], f=range(F)) == 1, c=range(C))
    d, t = p.demands, p.costs
    for k in range(F):
        model.add_constraint(SumIt([d[j] * x[k, j] for j in range(C)]) - p.capacities[k] * y[k] <= 0)
        model.add_constraint(SumIt([t[k][j] * x[k, j] for j in range(C)]) <= 4000.0)
    model.add_target(SumIt([p.fixed[k] * y[k] for k in range(F)] + [t[k][j] * x[k, j] for k in range(F)
                                                                      for j in range(C)]), True)
    _text_run(model)


LONG_ROWS, LONG_TERMS = 20, 1000
# The terms of a long row: the element alone, times an int, times a float.
LONG_ROW_SHAPES = {"x[f, c]": None, "3 * x[f, c]": 3, "2.5 * x[f, c]": 2.5}


def text_long_rows(coefficient):
    """(writing, adding) CPU seconds of LONG_ROWS SumIt rows of LONG_TERMS terms <= 5 in the text model."""
    model = TextModel(time_limit=0.0)
    x = model.get_variables("x", TextType.REAL, 0.0, 1.0, f=LONG_ROWS, c=LONG_TERMS)
    writing = adding = 0.0
    for f in range(LONG_ROWS):
        start = time.process_time()
        if coefficient is None:
            row = SumIt([x[f, c] for c in range(LONG_TERMS)]) <= 5
        else:
            row = SumIt([coefficient * x[f, c] for c in range(LONG_TERMS)]) <= 5
        written = time.process_time()
        model.add_constraint(row)
        writing, adding = writing + written - start, adding + time.process_time() - written
    _text_run(model)
    return writing, adding


def print_long_rows():
    """Per term, best of three: the text model's writing and add_constraint, pyoptinterface's whole build."""
    terms = LONG_ROWS * LONG_TERMS
    print(f"{LONG_ROWS} SumIt rows of {LONG_TERMS} terms, us a term:")
    print(f"{'term':<16}{'write':>8}{'add':>8}{'text':>8}{'poi':>8}{'txt/poi':>8}")
    for label, coefficient in LONG_ROW_SHAPES.items():
        runs = [text_long_rows(coefficient) for _ in range(3)]
        writing, adding = min(run[0] for run in runs), min(run[1] for run in runs)
        text = min(sum(run) for run in runs)
        poi = (cpu_seconds(lambda _: peers.poi_long_rows(LONG_ROWS, LONG_TERMS, coefficient), None, 3)
               if peers.poi is not None else None)
        print(f"{label:<16}{1e6 * writing / terms:8.3f}{1e6 * adding / terms:8.3f}{1e6 * text / terms:8.3f}"
              + (f"{1e6 * poi / terms:8.3f}{text / poi:8.2f}" if poi else f"{'-':>8}{'-':>8}"))
        if coefficient is not None:
            print(f"target: text model, SumIt row of {label}, write us a term: {verdict(1e6 * writing / terms, 0.6)}")
            print(f"target: text model, SumIt row of {label}, add_constraint us a term: "
                  f"{verdict(1e6 * adding / terms, 1)}")


# ---- driver -------------------------------------------------------------------------------------------------------

def cpu_seconds(build, argument, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.process_time()
        build(argument)
        best = min(best, time.process_time() - start)
    return best


def quadratic(chain_build):
    return None if chain_build is None else functools.partial(chain_build, quadratic=True)


def peer(build_name, library):
    """A peer's build function, or None when the peer is not importable."""
    return getattr(peers, build_name) if library is not None else None


def measure(label, argument, size, builds):
    """One table line: every build of this model that exists, timed."""
    repeats = 3 if size <= 10**4 else 2 if size <= 10**5 else 1
    times = {name: cpu_seconds(build, argument, repeats) if build else None for name, build in builds.items()}
    return label, times


def ratio(times, numerator, denominator):
    top, bottom = times.get(numerator), times.get(denominator)
    return f"{top / bottom:8.2f}" if top is not None and bottom else f"{'-':>8}"


def seconds(value):
    return f"{value:9.4f}" if value is not None else f"{'-':>9}"


COLUMNS = ["highspy", "array", "text", "poi", "linopy"]


def print_table(lines):
    print(f"{'model':<22}" + "".join(f"{name:>9}" for name in COLUMNS)
          + f"{'arr/hs':>8}{'txt/poi':>8}{'txt/hs':>8}{'txt/arr':>8}")
    for label, times in lines:
        print(f"{label:<22}" + "".join(seconds(times.get(name)) for name in COLUMNS)
              + ratio(times, "array", "highspy") + ratio(times, "text", "poi") + ratio(times, "text", "highspy")
              + ratio(times, "text", "array"))


def main():
    full = "--full" in sys.argv[1:]
    # The modules of every peer are loaded in this one process (linopy brings pandas and xarray:
    # 60,000 objects more than tarvo_encoder alone); frozen, they are left out of every build's
    # garbage collections, as they would be absent from a program that uses one library.
    gc.collect()
    gc.freeze()
    # Every build ends in a solver run under a zero time limit, whose verdict the models log.
    logging.getLogger("velmont.corvane_engine").setLevel(logging.CRITICAL)
    print(__doc__.strip().splitlines()[0])
    for name, library in (("highspy", peers.highspy), ("pyoptinterface with highsbox", peers.poi),
                          ("linopy", peers.linopy)):
        if library is None:
            print(f"{name} is not importable: its column stays empty (pip install '.[bench]')")
    lines = []
    for n in (10**3, 10**4, 10**5):
        lines.append(measure(f"chain LP {n:.0e}", n, n, {
            "highspy": peer("highspy_chain", peers.highspy), "array": array_chain, "text": text_chain,
            "poi": peer("poi_chain", peers.poi), "linopy": peer("linopy_chain", peers.linopy)}))
    n = 10**4
    lines.append(measure(f"QP target {n:.0e}", n, n, {
        "highspy": quadratic(peer("highspy_chain", peers.highspy)), "array": quadratic(array_chain),
        "text": quadratic(text_chain), "poi": quadratic(peer("poi_chain", peers.poi))}))
    for n in (100, 300) + ((1000,) if full else ()):
        builds = {"highspy": peer("highspy_lqcp", peers.highspy), "array": array_lqcp,
                  "text": text_lqcp if n <= 300 else None, "poi": peer("poi_lqcp", peers.poi)}
        lines.append(measure(f"lqcp {n}", n, (n + 1) ** 2, builds))
    for sizes in ((10, 100, 500),) + (((100, 100, 5000),) if full else ()):
        p = PMedian(*sizes)
        builds = {"highspy": peer("highspy_pmedian", peers.highspy), "array": array_pmedian,
                  "text": text_pmedian, "poi": peer("poi_pmedian", peers.poi),
                  "linopy": peer("linopy_pmedian", peers.linopy)}
        lines.append(measure(f"p-median {sizes[0]},{sizes[1]},{sizes[2]}", p, sizes[1] * sizes[2], builds))
    p = FacilityLocation(100, 1000)
    lines.append(measure("facility 100 x 1000", p, 10**5, {
        "array": array_facility, "text": text_facility, "poi": peer("poi_facility", peers.poi)}))
    print_table(lines)
    print_targets(lines)
    print_long_rows()


# (model, build, baseline, the ratio it may reach)
RATIO_TARGETS = [("lqcp 1000", "array", "highspy", 3), ("chain LP 1e+05", "array", "highspy", 2),
                 ("p-median 100,100,5000", "array", "highspy", 2), ("chain LP 1e+05", "text", "poi", 3),
                 ("facility 100 x 1000", "text", "poi", 2)]


def verdict(value, limit):
    return f"{value:.2f} (at most {limit}: {'met' if value <= limit else 'NOT met'})"


def print_targets(lines):
    times = dict(lines)
    for label, build, baseline, limit in RATIO_TARGETS:
        if label in times and times[label].get(build) and times[label].get(baseline):
            print(f"target: {build} model, {label} / {baseline}: {verdict(times[label][build] / times[label][baseline], limit)}")
    small, large = times["chain LP 1e+04"]["text"], times["chain LP 1e+05"]["text"]
    print(f"target: text model, chain LP 1e5 / 1e4 (10x the rows): {verdict(large / small, 11)}")
    linear, squares = [], []
    text_chain(3 * 10**4, timings=linear)
    text_chain(10**4, quadratic=True, timings=squares)
    print(f"target: text model add_target over 3e4 linear terms, seconds: {verdict(linear[0], 0.3)}")
    print(f"target: text model add_target over 1e4 quadratic terms, seconds: {verdict(squares[0], 0.3)}")


if __name__ == "__main__":
    main()
