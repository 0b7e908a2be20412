"""Four queens on a 4 x 4 board, none attacking another: a complete small model."""
from pysat.formula import CNF
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from tarvo_encoder import Model, Sum

N = 4
cmanager = ce.manager()
model = Model(cmanager, "queens")
q = model.create_variables("q", row=N, col=N)
r, c = model.get_indexes("rc")
model.add_constraint(Sum(q[r, c], c=range(N)) == 1, r=range(N))  # one queen per row
model.add_constraint(Sum(q[r, c], r=range(N)) <= 1, c=range(N))  # at most one per column
for d in range(1, N):  # no two on a diagonal
    model.add_constraint(~(q[r, c] & q[r + d, c + d]), r=range(N - d), c=range(N - d))
    model.add_constraint(~(q[r, c + d] & q[r + d, c]), r=range(N - d), c=range(N - d))
# A board and its mirror image both solve it: keep the one with the first row's queen on the left.
model.add_constraint(Sum(q[0, c], c=range(N // 2)) == 1)
model.build_cnf()

storage = cmanager.get_cnf_storage()
with Solver(name="cadical153", bootstrap_with=CNF(from_string=storage.to_dimacs()).clauses) as solver:
    solver.solve()
    placed = cmanager.get_witness_interpreter().interpret(solver.get_model())
for row in range(N):
    print(" ".join("Q" if placed[f"q[{row},{col}]"] else "." for col in range(N)))
