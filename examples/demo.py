"""Colouring the map of Australia: a pseudo-Boolean model built into CNF and
weighted CNF by tarvo_encoder, solved with python-sat, read back by name.

    python examples/demo.py [output directory]    (default: build/demo)

1. Three colours, neighbouring regions differ: a CNF, solved by a SAT solver.
2. Two colours are not enough: the same model is unsatisfiable.
3. Paint has a price: a target bounded by a border, rebuilt with lower and
   lower borders until the cheapest colouring is found (the loop also stops
   at a border below the target's least value, which the build refuses).
4. The same prices as weighted soft constraints: a weighted CNF whose
   optimum a MaxSAT solver finds directly.
"""
import sys
from pathlib import Path

from pysat.examples.rc2 import RC2
from pysat.formula import CNF, WCNF
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from tarvo_encoder import Model, Sum
from tarvo_encoder._exceptions import FormulaError

REGIONS = ["WA", "NT", "SA", "QLD", "NSW", "VIC", "TAS"]
BORDERS = [("WA", "NT"), ("WA", "SA"), ("NT", "SA"), ("NT", "QLD"), ("SA", "QLD"), ("SA", "NSW"),
           ("SA", "VIC"), ("QLD", "NSW"), ("NSW", "VIC")]
COLOURS = ["red", "green", "blue"]
PRICES = [3, 2, 1]  # a tin of red costs 3, green 2, blue 1


def colouring_model(cmanager, name, colours):
    """colour[r, c] is true when region r is painted with colour c; returns the model, colour and index r."""
    model = Model(cmanager, name)
    colour = model.create_variables("colour", r=len(REGIONS), c=colours)
    r, c = model.get_indexes("rc")
    model.add_constraint(Sum(colour[r, c], c=range(colours)) == 1, r=range(len(REGIONS)))
    for a, b in BORDERS:
        model.add_constraint(~(colour[REGIONS.index(a), c] & colour[REGIONS.index(b), c]), c=range(colours))
    return model, colour, r


def painted(cmanager, solution, colours):
    """Region -> colour name, read back through the witness interpreter by element name."""
    values = cmanager.get_witness_interpreter().interpret(solution)
    return {region: COLOURS[k] for i, region in enumerate(REGIONS) for k in range(colours)
            if values[f"colour[{i},{k}]"]}


def cost(colouring):
    return sum(PRICES[COLOURS.index(name)] for name in colouring.values())


def solve_cnf(storage):
    with Solver(name="cadical153", bootstrap_with=CNF(from_string=storage.to_dimacs()).clauses) as solver:
        return solver.get_model() if solver.solve() else None


def minimise_by_border(model, cmanager, border, value):
    """The last solution that build_cnf(border, True) admits, the border lowered
    below each solution's value; None when the first border admits none."""
    best = None
    while True:
        try:
            model.build_cnf(border, True)
        except FormulaError:
            # "Contradiction was detected in target": no value of the target is
            # this low, as after an optimum of 0 at border -1.
            return best
        solution = solve_cnf(cmanager.get_cnf_storage())
        if solution is None:
            return best
        best = solution
        border = value(best) - 1


def show(title, colouring):
    print(title)
    for region, colour_name in colouring.items():
        print(f"  {region:>4} : {colour_name}")


def main(out_dir):
    out_dir.mkdir(parents=True, exist_ok=True)

    cmanager = ce.manager()
    model = colouring_model(cmanager, "australia", 3)[0]
    model.build_cnf()
    storage = cmanager.get_cnf_storage()
    storage.write_dimacs(str(out_dir / "australia.cnf"))
    colouring = painted(cmanager, solve_cnf(storage), 3)
    show("1. A colouring with three colours:", colouring)

    two = ce.manager()
    colouring_model(two, "australia-two-colours", 2)[0].build_cnf()
    print("2. With two colours:", "satisfiable" if solve_cnf(two.get_cnf_storage()) else "unsatisfiable")

    priced = ce.manager()
    model, colour, r = colouring_model(priced, "australia-priced", 3)
    model.add_target(Sum(PRICES[0] * colour[r, 0] + PRICES[1] * colour[r, 1] + PRICES[2] * colour[r, 2],
                         r=range(len(REGIONS))))
    solution = minimise_by_border(model, priced, cost(colouring), lambda found: cost(painted(priced, found, 3)))
    best = painted(priced, solution, 3)
    show(f"3. The cheapest colouring, found by lowering the border (cost {cost(best)}):", best)

    weighted = ce.manager()
    model, colour, r = colouring_model(weighted, "australia-soft", 3)
    for k, price in enumerate(PRICES):
        model.add_soft_constraint(colour[r, k], weight=price, minimization=True, r=range(len(REGIONS)))
    model.build_wcnf()
    storage = weighted.get_cnf_storage()
    storage.write_dimacs(str(out_dir / "australia.wcnf"))
    with RC2(WCNF(from_string=storage.to_dimacs())) as rc2:
        optimum = painted(weighted, rc2.compute(), 3)
        show(f"4. The cheapest colouring by MaxSAT (cost {rc2.cost}):", optimum)

    print("DIMACS files:", out_dir / "australia.cnf", out_dir / "australia.wcnf")


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else Path("build/demo"))
