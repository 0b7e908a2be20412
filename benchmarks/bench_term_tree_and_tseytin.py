"""Two walks that must not depend on the call stack, timed at scale:

- the PB term tree of a chain of 10^5 `+`/`-` operators: to_pb, to_maxsat and
  repr (each an iterative walk over the tree);
- the Tseytin transformation of a random formula of about 10^5 gates
  (a conjunction of disjunctions of small xor / and terms), with the count of
  clauses it gives.

CPU times of this interpreter, the median of three runs.

    python benchmarks/bench_term_tree_and_tseytin.py
"""
import random
import statistics
import time

import velmont.corvane_engine.dravo as bx
from tarvo_encoder.core.pboperations import PBVariable

CHAIN_OPERATORS = 100_000
GATES = 100_000
RUNS = 3


def timed(work):
    times = []
    for _ in range(RUNS):
        start = time.process_time()
        result = work()
        times.append(time.process_time() - start)
    return statistics.median(times), result


def chain(count: int):
    term = PBVariable(1, "v")
    for number in range(2, count + 2):
        term = term + PBVariable(number, "v") if number % 2 else term - PBVariable(number, "v")
    return term


def random_formula(gates: int, seed: int = 7):
    rng = random.Random(seed)
    context = bx.Context()
    variables = [context.get_var(f"x{k}") for k in range(1000)]

    def literal():
        v = rng.choice(variables)
        return ~v if rng.random() < 0.5 else v

    clauses = []
    for _ in range(gates // 4):
        a = bx.xor_s([literal(), literal()])
        b = bx.and_s([literal(), literal(), literal()])
        clauses.append(bx.or_s([a, b, literal()]))
    return context, bx.and_s(clauses)


def main() -> None:
    term = chain(CHAIN_OPERATORS)
    for name, walk in [("to_pb", term.to_pb), ("to_maxsat", term.to_maxsat), ("repr", lambda: repr(term))]:
        seconds, _ = timed(walk)
        print(f"term chain of {CHAIN_OPERATORS} operators, {name:9}: {seconds * 1000:8.1f} ms")

    context, formula = random_formula(GATES)
    seconds, cnf = timed(lambda: formula.tseytin(context, "_bench_aux"))
    clauses = len(cnf.get_args()) if isinstance(cnf, bx.And) else 1
    print(f"tseytin of ~{GATES} gates: {seconds * 1000:8.1f} ms, {clauses} clauses, "
          f"{clauses / seconds:,.0f} clauses/s")


if __name__ == "__main__":
    main()
