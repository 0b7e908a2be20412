"""The decision instances of bench_pb_solve.py, generated from fixed seeds.

Every instance is a conjunction of linear constraints over 0/1 variables
whose answer is known without a SAT solver: an optimum by dynamic
programming, a sum reached or not by meeting in the middle, a solution
planted by construction, or a counting argument. Weights are positive and
every bound is non-negative, so that each peer takes the constraints as
they are.
"""
import random
from dataclasses import dataclass

import numpy as np

@dataclass(frozen=True)
class Constraint:
    """sum(weights[k] * x[variables[k]]) <comparator> bound, variables counted from 0."""
    weights: tuple
    variables: tuple
    comparator: str
    bound: int

    def holds(self, values) -> bool:
        total = sum(w for w, v in zip(self.weights, self.variables) if values[v])
        if self.comparator == "<=":
            return total <= self.bound
        if self.comparator == ">=":
            return total >= self.bound
        return total == self.bound

    @property
    def is_cardinality(self) -> bool:
        return all(w == 1 for w in self.weights)


@dataclass(frozen=True)
class Instance:
    name: str
    family: str
    variable_count: int
    constraints: tuple
    satisfiable: bool

    def is_solution(self, values) -> bool:
        return all(c.holds(values) for c in self.constraints)

    @property
    def is_cardinality(self) -> bool:
        return all(c.is_cardinality for c in self.constraints)


def weighted(weights, comparator, bound) -> Constraint:
    return Constraint(tuple(weights), tuple(range(len(weights))), comparator, bound)


def cardinality(variables, comparator, bound) -> Constraint:
    return Constraint((1,) * len(variables), tuple(variables), comparator, bound)


def knapsack_optimum(weights, values, capacity) -> int:
    """The largest total value within the capacity (0/1 knapsack by dynamic programming)."""
    best = np.zeros(capacity + 1, dtype=np.int64)  # best[c]: largest value of weight at most c
    for w, v in zip(weights, values):
        if w <= capacity:
            best[w:] = np.maximum(best[w:], best[:-w] + v)
    return int(best[capacity])


def knapsack_decisions(seed, n, fill):
    """value >= opt within the capacity (satisfiable) and value >= opt + 1 (not);
    the capacity is the fraction fill of the total weight."""
    rng = random.Random(seed)
    weights = [rng.randint(1, 1000) for _ in range(n)]
    values = [rng.randint(1, 1000) for _ in range(n)]
    capacity = int(sum(weights) * fill)
    optimum = knapsack_optimum(weights, values, capacity)
    for target, satisfiable in ((optimum, True), (optimum + 1, False)):
        yield Instance(f"knapsack n={n} fill={fill} s={seed} v>={'opt' if satisfiable else 'opt+1'}", "knapsack",
                       n, (weighted(weights, "<=", capacity), weighted(values, ">=", target)), satisfiable)


def two_resource_optimum(first, second, values, capacities) -> int:
    """The largest total value within two capacities, by dynamic programming over both."""
    best = np.zeros((capacities[0] + 1, capacities[1] + 1), dtype=np.int64)
    for a, b, v in zip(first, second, values):
        if a <= capacities[0] and b <= capacities[1]:
            best[a:, b:] = np.maximum(best[a:, b:], best[:best.shape[0] - a, :best.shape[1] - b] + v)
    return int(best[capacities[0], capacities[1]])


def multi_knapsack_decisions(seed, n, fill):
    """Two resources and a value: value >= opt is feasible, value >= opt + 1 is not."""
    rng = random.Random(seed)
    first = [rng.randint(1, 200) for _ in range(n)]
    second = [rng.randint(1, 200) for _ in range(n)]
    values = [rng.randint(1, 200) for _ in range(n)]
    capacities = (int(sum(first) * fill), int(sum(second) * fill))
    optimum = two_resource_optimum(first, second, values, capacities)
    for target, satisfiable in ((optimum, True), (optimum + 1, False)):
        yield Instance(f"multi-knapsack n={n} fill={fill} s={seed} v>={'opt' if satisfiable else 'opt+1'}",
                       "multi-knapsack", n, (weighted(first, "<=", capacities[0]),
                                             weighted(second, "<=", capacities[1]), weighted(values, ">=", target)),
                       satisfiable)


def subset_sums(weights) -> np.ndarray:
    """The sums of all subsets of the weights, sorted (2^len(weights) of them)."""
    sums = np.zeros(1, dtype=np.int64)
    for w in weights:
        sums = np.concatenate((sums, sums + w))
    return np.sort(sums)


def reachable(weights, target) -> bool:
    """Whether some subset sums to target: meet in the middle over the two halves."""
    low, high = subset_sums(weights[: len(weights) // 2]), subset_sums(weights[len(weights) // 2:])
    rest = target - low
    positions = np.minimum(np.searchsorted(high, rest), len(high) - 1)
    return bool(np.any(high[positions] == rest))


def subset_sum_decisions(seed, n, bits):
    """sum == target for a target reached by a planted subset, and for the
    unreachable target nearest to half the total.

    Weights of about n bits make the count of subsets close to the range of
    sums: the hard region, where unreachable targets sit between reachable ones."""
    rng = random.Random(seed)
    weights = [rng.randint(1, 2**bits) for _ in range(n)]
    planted = sum(w for w in weights if rng.random() < 0.5)
    yield Instance(f"subset-sum n={n} s={seed} reachable", "subset-sum", n,
                   (weighted(weights, "==", planted),), True)
    half = sum(weights) // 2
    near_half = (t for d in range(min(half, 10_000) + 1) for t in (half - d, half + d))
    target = next((t for t in near_half if not reachable(weights, t)), None)
    if target is None:
        raise ValueError(f"subset sum n={n} bits={bits}: every sum near the middle is reachable, take more bits")
    yield Instance(f"subset-sum n={n} s={seed} unreachable", "subset-sum", n,
                   (weighted(weights, "==", target),), False)


def queens(n):
    """n queens: exactly one per row and per column, at most one per diagonal (satisfiable for n >= 4)."""
    square = lambda r, c: r * n + c
    lines = [cardinality([square(r, c) for c in range(n)], "==", 1) for r in range(n)]
    lines += [cardinality([square(r, c) for r in range(n)], "==", 1) for c in range(n)]
    for d in range(-(n - 2), n - 1):
        lines.append(cardinality([square(r, r - d) for r in range(n) if 0 <= r - d < n], "<=", 1))
        lines.append(cardinality([square(r, d + n - 1 - r) for r in range(n) if 0 <= d + n - 1 - r < n], "<=", 1))
    return Instance(f"queens n={n}", "cardinality", n * n, tuple(lines), True)


def timetable(seed, slots, per_slot, extra_events, density):
    """Events into time slots: each event in exactly one slot, at most per_slot
    events a slot, conflicting events (a shared attendee) never in one slot.

    Each pair of events in different slots of a planted timetable conflicts
    with probability density, so with no extra events it is satisfiable; an
    extra event exceeds the slots' total capacity, which makes it unsatisfiable."""
    rng = random.Random(seed)
    events = slots * per_slot + extra_events
    planted = [e % slots for e in range(events)]
    at = lambda e, t: e * slots + t
    constraints = [cardinality([at(e, t) for t in range(slots)], "==", 1) for e in range(events)]
    constraints += [cardinality([at(e, t) for e in range(events)], "<=", per_slot) for t in range(slots)]
    for e in range(events):
        for f in range(e + 1, events):
            if planted[e] != planted[f] and rng.random() < density:
                constraints += [cardinality([at(e, t), at(f, t)], "<=", 1) for t in range(slots)]
    return Instance(f"timetable {events} events {slots}x{per_slot} s={seed}", "cardinality", events * slots,
                    tuple(constraints), extra_events == 0)


# The arguments of each generator per run, calibrated so that pindakaas's
# adder decides most instances in tens to hundreds of milliseconds within
# 10^5 conflicts: knapsack and multi-knapsack (seed, n, fill), subset sums
# (seed, n, bits), queens n, timetables (seed, slots, per slot, extra events,
# conflict density).
SIZES = {
    "quick": dict(knapsack=[(1, 20, 0.5)], multi=[(4, 40, 0.05)], subset=[(8, 19, 19)], queens=[30],
                  timetable=[(1, 8, 4, 0, 0.6), (2, 4, 3, 1, 0.3)]),
    "default": dict(knapsack=[(1, 22, 0.5), (2, 22, 0.5), (1, 24, 0.5), (3, 24, 0.5), (3, 26, 0.5), (5, 30, 0.2),
                              (2, 40, 0.1), (2, 50, 0.05)],
                    multi=[(1, 20, 0.5), (5, 25, 0.25), (3, 30, 0.15), (4, 40, 0.05)],
                    subset=[(10, 18, 18), (8, 19, 19), (4, 20, 26), (9, 20, 22), (7, 21, 21)], queens=[40, 60],
                    timetable=[(1, 10, 6, 0, 0.6), (2, 6, 2, 1, 0.3), (3, 4, 4, 1, 0.3)]),
}
SIZES["full"] = {family: arguments + {
    "knapsack": [(1, 28, 0.5), (1, 60, 0.05)], "multi": [(2, 22, 0.5)], "subset": [(2, 22, 22)],
    "queens": [80], "timetable": [(1, 12, 8, 0, 0.6), (2, 7, 2, 1, 0.3)]}[family]
    for family, arguments in SIZES["default"].items()}


def suite(size: str):
    sizes = SIZES[size]
    instances = []
    for arguments in sizes["knapsack"]:
        instances += knapsack_decisions(*arguments)
    for arguments in sizes["multi"]:
        instances += multi_knapsack_decisions(*arguments)
    for arguments in sizes["subset"]:
        instances += subset_sum_decisions(*arguments)
    instances += [queens(n) for n in sizes["queens"]]
    instances += [timetable(*arguments) for arguments in sizes["timetable"]]
    return instances
