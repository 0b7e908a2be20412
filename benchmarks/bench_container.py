"""Container mode and formula-encoder mode against python-sat writing the same
constraints, in one run.

The models (each built whole: declarations, constraints, build_cnf):

- pb: 20 PB constraints of 500 terms each, weights 1..1000, at most half the
  weight sum, each added on its own (python-sat: pysat.pb.PBEnc.leq with the
  adder encoding, which needs pypblib from python-sat[pb]);
- clauses: 20,000 add_constraint calls of one clause x[a] | ~x[b] | x[c]
  (python-sat: the same clauses appended to a CNF);
- queens: n-queens 100, rows and columns as one constraint each over a
  forall, each diagonal a SumIt added in a Python loop (python-sat:
  pysat.card.CardEnc with the sequential counter);
- sudoku: 25 x 25, every cell, row, column and 5 x 5 box exactly one of each
  value, all written with foralls (python-sat: as queens).

Seconds are wall-clock, the ratio is over python-sat's time in the same run.
Targets: container mode at most 2x python-sat on pb and queens and 8x on
clauses, formula-encoder mode at most 1.5x on all. Last, a sum of 10^5 terms
written e = e + x[k] and added in container mode, target under 2 s.

    python benchmarks/bench_container.py
"""
import logging
import random
import time

import velmont.corvane_engine as ce
from tarvo_encoder import Model, Sum, SumIt

PB_CONSTRAINTS, PB_TERMS = 20, 500
CLAUSE_CALLS, CLAUSE_VARIABLES = 20_000, 1000
QUEENS = 100
SUDOKU_BOX = 5
CHAIN_TERMS = 100_000


def pb_instance():
    rng = random.Random(1)
    return [[rng.randint(1, 1000) for _ in range(PB_TERMS)] for _ in range(PB_CONSTRAINTS)]


def clause_instance():
    rng = random.Random(2)
    return [rng.sample(range(CLAUSE_VARIABLES), 3) for _ in range(CLAUSE_CALLS)]


def diagonals(n):
    """Cells of every diagonal and anti-diagonal with at least two cells."""
    down = [[(r, r - d) for r in range(n) if 0 <= r - d < n] for d in range(-(n - 2), n - 1)]
    up = [[(r, d - r) for r in range(n) if 0 <= d - r < n] for d in range(1, 2 * n - 2)]
    return down + up


def add_queens_constraints(m, n):
    """One queen in every row and column, at most one on every diagonal; returns the board's variable and indexes."""
    x = m.create_variables("x", r=n, c=n)
    i, j = m.get_indexes(["i", "j"])
    m.add_constraint(Sum(x[i, j], j=range(n)) == 1, i=range(n))
    m.add_constraint(Sum(x[i, j], i=range(n)) == 1, j=range(n))
    for cells in diagonals(n):
        m.add_constraint(SumIt([x[r, c] for r, c in cells]) <= 1)
    return x, i, j


# The models on our two roads -------------------------------------------------

def model_pb(use_formula_encoder):
    m = Model(ce.manager(), "pb", use_formula_encoder=use_formula_encoder)
    x = m.create_variables("x", c=PB_CONSTRAINTS, k=PB_TERMS)
    for c, weights in enumerate(pb_instance()):
        m.add_constraint(SumIt([w * x[c, k] for k, w in enumerate(weights)]) <= sum(weights) // 2)
    m.build_cnf()
    return m


def model_clauses(use_formula_encoder):
    m = Model(ce.manager(), "clauses", use_formula_encoder=use_formula_encoder)
    x = m.create_variables("x", k=CLAUSE_VARIABLES)
    for a, b, c in clause_instance():
        m.add_constraint(x[a] | ~x[b] | x[c])
    m.build_cnf()
    return m


def model_queens(use_formula_encoder):
    n = QUEENS
    m = Model(ce.manager(), "queens", use_formula_encoder=use_formula_encoder)
    add_queens_constraints(m, n)
    m.build_cnf()
    return m


def model_sudoku(use_formula_encoder):
    b, n = SUDOKU_BOX, SUDOKU_BOX ** 2
    m = Model(ce.manager(), "sudoku", use_formula_encoder=use_formula_encoder)
    x = m.create_variables("x", r=n, c=n, v=n)
    r, c, v, p, q, br, bc = m.get_indexes(["r", "c", "v", "p", "q", "br", "bc"])
    m.add_constraint(Sum(x[r, c, v], v=range(n)) == 1, r=range(n), c=range(n))
    m.add_constraint(Sum(x[r, c, v], c=range(n)) == 1, r=range(n), v=range(n))
    m.add_constraint(Sum(x[r, c, v], r=range(n)) == 1, c=range(n), v=range(n))
    m.add_constraint(Sum(x[b * br + p, b * bc + q, v], p=range(b), q=range(b)) == 1,
                     br=range(b), bc=range(b), v=range(n))
    m.build_cnf()
    return m


# The same constraints with python-sat ----------------------------------------

def peer_pb():
    from pysat.formula import CNF
    from pysat.pb import EncType, PBEnc

    cnf, top = CNF(), PB_CONSTRAINTS * PB_TERMS
    for c, weights in enumerate(pb_instance()):
        lits = [c * PB_TERMS + k + 1 for k in range(PB_TERMS)]
        part = PBEnc.leq(lits=lits, weights=weights, bound=sum(weights) // 2, top_id=top, encoding=EncType.adder)
        top = max(top, part.nv)
        cnf.extend(part.clauses)
    return cnf


def peer_clauses():
    from pysat.formula import CNF

    cnf = CNF()
    for a, b, c in clause_instance():
        cnf.append([a + 1, -(b + 1), c + 1])
    return cnf


def peer_exactly_ones(groups, top):
    from pysat.card import CardEnc, EncType
    from pysat.formula import CNF

    cnf = CNF()
    for lits, exactly in groups:
        encode = CardEnc.equals if exactly else CardEnc.atmost
        part = encode(lits=lits, bound=1, top_id=top, encoding=EncType.seqcounter)
        top = max(top, part.nv)
        cnf.extend(part.clauses)
    return cnf


def peer_queens():
    n = QUEENS
    cell = lambda r, c: r * n + c + 1  # noqa: E731
    groups = [([cell(r, c) for c in range(n)], True) for r in range(n)]
    groups += [([cell(r, c) for r in range(n)], True) for c in range(n)]
    groups += [([cell(r, c) for r, c in cells], False) for cells in diagonals(n)]
    return peer_exactly_ones(groups, n * n)


def peer_sudoku():
    b, n = SUDOKU_BOX, SUDOKU_BOX ** 2
    cell = lambda r, c, v: (r * n + c) * n + v + 1  # noqa: E731
    groups = [([cell(r, c, v) for v in range(n)], True) for r in range(n) for c in range(n)]
    groups += [([cell(r, c, v) for c in range(n)], True) for r in range(n) for v in range(n)]
    groups += [([cell(r, c, v) for r in range(n)], True) for c in range(n) for v in range(n)]
    groups += [([cell(b * br + p, b * bc + q, v) for p in range(b) for q in range(b)], True)
               for br in range(b) for bc in range(b) for v in range(n)]
    return peer_exactly_ones(groups, n ** 3)


# Measuring --------------------------------------------------------------------

def seconds(build):
    start = time.perf_counter()
    build()
    return time.perf_counter() - start


def peer_seconds(build):
    """Seconds, or the reason why the peer could not run."""
    try:
        return seconds(build)
    except ImportError as missing:
        return f"missing ({missing.name}; make bench installs the bench extra)"
    except AssertionError as missing:  # pysat.pb asserts that pindakaas is there
        return f"missing ({missing}; make bench installs the bench extra)"


def ratio(ours, peer):
    return f"{ours / peer:.1f}x" if isinstance(peer, float) else "-"


def chain_seconds():
    m = Model(ce.manager(), "chain")
    x = m.create_variables("x", k=CHAIN_TERMS)
    start = time.perf_counter()
    e = x[0]
    for k in range(1, CHAIN_TERMS):
        e = e + x[k]
    written = time.perf_counter() - start
    start = time.perf_counter()
    m.add_constraint(e <= 1)
    return written, time.perf_counter() - start


def main():
    logging.getLogger("velmont.corvane_engine").setLevel(logging.ERROR)
    rows = [("pb", model_pb, peer_pb, 2), ("clauses", model_clauses, peer_clauses, 8),
            ("queens", model_queens, peer_queens, 2), ("sudoku", model_sudoku, peer_sudoku, None)]
    print("| model | container s | formula encoder s | python-sat s | container / python-sat (target) "
          "| encoder / python-sat (target 1.5x) |")
    print("|---|---|---|---|---|---|")
    for name, build, peer, target in rows:
        container = seconds(lambda: build(False))
        encoder = seconds(lambda: build(True))
        baseline = peer_seconds(peer)
        shown = f"{baseline:.3f}" if isinstance(baseline, float) else baseline
        target_text = f" ({target}x)" if target else ""
        print(f"| {name} | {container:.3f} | {encoder:.3f} | {shown} | {ratio(container, baseline)}{target_text} "
              f"| {ratio(encoder, baseline)} |")
    written, added = chain_seconds()
    print(f"\nsum of {CHAIN_TERMS} terms, container mode: written in {written:.2f} s, "
          f"added in {added:.2f} s (target under 2 s)")


if __name__ == "__main__":
    main()
