"""How fast CaDiCaL decides the library's CNF of pseudo-Boolean decisions,
next to the CNF of pindakaas's adder and decision diagram (python-sat[pb])
and of PBLib's adder (pypblib), all measured in this run.

    python benchmarks/bench_pb_solve.py [--quick | --full] [--budget N] [--repeats R]

The instances (pb_solve_suite.py) have known answers: knapsack and two-resource
knapsack decisions at the optimum (value >= opt satisfiable, value >= opt + 1
not), exact subset sums (reachable and unreachable targets), n queens and
timetables (cardinality constraints only). Each CNF goes to CaDiCaL with a
conflict budget; an instance not decided within it counts as unsolved, at the
time it took. Every decided answer is checked against the known one, every
model against the instance's constraints: a wrong answer fails the run.

Solve time is the process time of the solve call (the best of the repeats;
the solver is deterministic, so conflicts are the same each time). The
pysat.card encodings (seqcounter, totalizer) run on the cardinality instances
only, for information.
"""
import argparse
import sys
import time
from collections import defaultdict
from dataclasses import dataclass

from pysat.solvers import Solver, SolverNames

import pb_solve_encoders as encoders
from pb_solve_suite import suite

SOLVER = next(name for name in ("cadical195", "cadical153", "cadical103") if hasattr(SolverNames, name))
LIBRARY, BASELINES = "library", ("pindakaas-adder", "pindakaas-bdd", "pblib-adder")


@dataclass
class Run:
    encoding: str
    instance: object
    answer: object  # True, False or None (unsolved)
    solve_seconds: float
    encode_seconds: float
    conflicts: int
    propagations: int
    variables: int
    clauses: int
    fault: str = ""


def solve(clauses, budget):
    """(answer or None, process seconds of the solve, solver statistics, model or None)."""
    with Solver(name=SOLVER, bootstrap_with=clauses) as solver:
        solver.conf_budget(budget)
        start = time.process_time()
        answer = solver.solve_limited()
        seconds = time.process_time() - start
        return answer, seconds, solver.accum_stats(), solver.get_model() if answer else None


def fault_of(instance, answer, model, originals) -> str:
    """Why a decided answer is wrong, or "" when it is right (or undecided)."""
    if answer is None:
        return ""
    if answer != instance.satisfiable:
        return f"answered {'SAT' if answer else 'UNSAT'}, known {'SAT' if instance.satisfiable else 'UNSAT'}"
    if answer:
        true = set(lit for lit in model if lit > 0)
        if not instance.is_solution([var in true for var in originals]):
            return "model violates the instance"
    return ""


def measure(name, encode, instance, budget, repeats) -> Run:
    start = time.process_time()
    encoded = encode(instance)
    encode_seconds = time.process_time() - start
    best, fault = None, ""
    for _ in range(repeats):
        answer, seconds, stats, model = solve(encoded.clauses, budget)
        fault = fault or fault_of(instance, answer, model, encoded.originals)
        if best is None or seconds < best.solve_seconds:
            best = Run(name, instance, answer, seconds, encode_seconds, stats["conflicts"], stats["propagations"],
                       encoded.variable_count, len(encoded.clauses))
    best.fault = fault
    return best


def answer_text(run) -> str:
    return "unsolved" if run.answer is None else "SAT" if run.answer else "UNSAT"


def print_run(run):
    line = (f"  {run.encoding:<16} {answer_text(run):>8} {run.solve_seconds * 1e3:>10.1f} {run.conflicts:>9}"
            f" {run.propagations:>12} {run.variables:>8} {run.clauses:>9}")
    print(line + (f"   WRONG: {run.fault}" if run.fault else ""), flush=True)


@dataclass
class Totals:
    instances: int = 0
    solve_seconds: float = 0.0
    encode_seconds: float = 0.0
    unsolved: int = 0
    conflicts: int = 0
    propagations: int = 0
    clauses: int = 0

    def add(self, run):
        self.instances += 1
        self.solve_seconds += run.solve_seconds
        self.encode_seconds += run.encode_seconds
        self.unsolved += run.answer is None
        self.conflicts += run.conflicts
        self.propagations += run.propagations
        self.clauses += run.clauses


def totals_of(runs, instances):
    totals = defaultdict(Totals)
    for run in runs:
        if run.instance in instances:
            totals[run.encoding].add(run)
    return totals


def print_totals(title, totals):
    print(f"\n{title}")
    print(f"  {'encoding':<16} {'instances':>9} {'solve s':>9} {'unsolved':>8} {'conflicts':>10} {'propagations':>12}"
          f" {'clauses':>9} {'encode s':>9}")
    for name, t in totals.items():
        print(f"  {name:<16} {t.instances:>9} {t.solve_seconds:>9.2f} {t.unsolved:>8} {t.conflicts:>10}"
              f" {t.propagations:>12} {t.clauses:>9} {t.encode_seconds:>9.2f}")


def print_ratios(totals):
    peers = [name for name in BASELINES if name in totals]
    if not peers:
        print("\nno peer to compare with")
        return
    print("\nlibrary / peer, same run (below 1: the library's CNF is decided faster / is smaller)")
    print(f"  {'peer':<16} {'solve time':>10} {'conflicts':>10} {'propagations':>12} {'clauses':>9} {'unsolved':>9}")
    mine = totals[LIBRARY]
    for name in peers:
        peer = totals[name]
        print(f"  {name:<16} {mine.solve_seconds / peer.solve_seconds:>10.2f}"
              f" {mine.conflicts / max(peer.conflicts, 1):>10.2f}"
              f" {mine.propagations / max(peer.propagations, 1):>12.2f} {mine.clauses / peer.clauses:>9.2f}"
              f" {mine.unsolved:>4} vs {peer.unsolved:<2}")


def print_family_times(runs, names):
    """Solve seconds per family of instances: where the time goes."""
    seconds = defaultdict(float)
    for run in runs:
        seconds[run.instance.family, run.encoding] += run.solve_seconds
    families = list(dict.fromkeys(run.instance.family for run in runs))
    print("\nsolve seconds per family")
    print(f"  {'family':<16}" + "".join(f" {name:>16}" for name in names))
    for family in families:
        print(f"  {family:<16}" + "".join(f" {seconds[family, name]:>16.2f}" for name in names))


def print_goal(runs, totals):
    """The library's goal against pindakaas's adder: at most 0.8 of its solve
    time, and no instance that it decides left unsolved."""
    decided_by_peer = {run.instance for run in runs if run.encoding == "pindakaas-adder" and run.answer is not None}
    left = [run.instance.name for run in runs
            if run.encoding == LIBRARY and run.answer is None and run.instance in decided_by_peer]
    print("\nunsolved by the library but decided by pindakaas-adder:", ", ".join(left) if left else "none")
    ratio = totals[LIBRARY].solve_seconds / totals["pindakaas-adder"].solve_seconds
    met = ratio <= 0.8 and not left
    print(f"goal (solve time at most 0.80x pindakaas-adder's, none of its decided instances left unsolved):"
          f" {ratio:.2f}x, {len(left)} left -> {'met' if met else 'not met'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    size = parser.add_mutually_exclusive_group()
    size.add_argument("--quick", action="store_const", const="quick", dest="size", help="a smoke run of seconds")
    size.add_argument("--full", action="store_const", const="full", dest="size", help="larger instances")
    parser.add_argument("--budget", type=int, default=100_000, help="conflicts per solve (default 10^5)")
    parser.add_argument("--repeats", type=int, default=1, help="solves per CNF, the fastest counts (default 1)")
    args = parser.parse_args()
    instances = suite(args.size or "default")

    print(__doc__.split("\n\n")[0])
    for peer, reason in encoders.MISSING.items():
        print(f"{peer} left out: {reason}")
    print(f"solver {SOLVER}, conflict budget {args.budget}, {len(instances)} instances, repeats {args.repeats}")
    print(f"  {'encoding':<16} {'answer':>8} {'solve ms':>10} {'conflicts':>9} {'propagations':>12} {'vars':>8}"
          f" {'clauses':>9}")
    runs = []
    for instance in instances:
        print(f"{instance.name} (known {'SAT' if instance.satisfiable else 'UNSAT'})")
        for name, (encode, cardinality_only) in encoders.ENCODERS.items():
            if cardinality_only and not instance.is_cardinality:
                continue
            runs.append(measure(name, encode, instance, args.budget, args.repeats))
            print_run(runs[-1])

    general = [name for name, (_, cardinality_only) in encoders.ENCODERS.items() if not cardinality_only]
    totals = totals_of([run for run in runs if run.encoding in general], set(instances))
    print_totals("totals over all instances", totals)
    print_ratios(totals)
    print_family_times(runs, general)
    cardinality = {instance for instance in instances if instance.is_cardinality}
    if cardinality and len(encoders.ENCODERS) > len(general):
        print_totals("totals over the cardinality instances", totals_of(runs, cardinality))

    if "pindakaas-adder" in totals:
        print_goal(runs, totals)

    wrong = [run for run in runs if run.fault]
    if wrong:
        print("\nWRONG ANSWERS:")
        for run in wrong:
            print(f"  {run.encoding} on {run.instance.name}: {run.fault}")
        sys.exit(1)


if __name__ == "__main__":
    main()
