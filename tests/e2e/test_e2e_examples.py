"""The runnable examples: their printed solutions checked independently."""
import importlib.util
import itertools
import re
import subprocess
import sys
from pathlib import Path

import pytest
from pysat.formula import CNF, WCNF

import velmont.corvane_engine as ce
from tarvo_encoder import SumIt

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"

REGIONS = ["WA", "NT", "SA", "QLD", "NSW", "VIC", "TAS"]
BORDERS = [("WA", "NT"), ("WA", "SA"), ("NT", "SA"), ("NT", "QLD"), ("SA", "QLD"), ("SA", "NSW"),
           ("SA", "VIC"), ("QLD", "NSW"), ("NSW", "VIC")]
PRICES = {"red": 3, "green": 2, "blue": 1}


def run(script, *args):
    done = subprocess.run([sys.executable, str(EXAMPLES / script), *args], capture_output=True, text=True,
                          timeout=120, check=True)
    return done.stdout


def test_queens_prints_a_board_without_attacks():
    rows = run("queens.py").split("\n")[:4]
    queens = [(r, line.split().index("Q")) for r, line in enumerate(rows)]

    assert all(line.split().count("Q") == 1 for line in rows)
    assert len({col for _, col in queens}) == 4
    assert all(abs(r1 - r2) != abs(c1 - c2) for (r1, c1), (r2, c2) in itertools.combinations(queens, 2))


def colourings(text):
    """Every printed colouring, as region -> colour, in print order."""
    blocks = re.split(r"^\d\. .*$", text, flags=re.M)[1:]
    return [dict(re.findall(r"^\s+(\w+) : (\w+)$", block, flags=re.M)) for block in blocks]


def test_demo_colours_the_map_and_finds_the_cheapest_colouring(tmp_path):
    out = run("demo.py", str(tmp_path))
    proper = [dict(zip(REGIONS, choice)) for choice in itertools.product(PRICES, repeat=len(REGIONS))
              if all(choice[REGIONS.index(a)] != choice[REGIONS.index(b)] for a, b in BORDERS)]
    cheapest = min(sum(PRICES[c] for c in colouring.values()) for colouring in proper)

    first, cheap_by_border, cheap_by_maxsat = [c for c in colourings(out) if c]
    assert first in proper and cheap_by_border in proper and cheap_by_maxsat in proper
    assert sum(PRICES[c] for c in cheap_by_border.values()) == cheapest
    assert sum(PRICES[c] for c in cheap_by_maxsat.values()) == cheapest
    assert f"(cost {cheapest})" in out
    assert "2. With two colours: unsatisfiable" in out
    assert CNF(from_file=str(tmp_path / "australia.cnf")).clauses
    assert WCNF(from_file=str(tmp_path / "australia.wcnf")).soft


def demo_module():
    demo_source = importlib.util.spec_from_file_location("demo", EXAMPLES / "demo.py")
    demo = importlib.util.module_from_spec(demo_source)
    demo_source.loader.exec_module(demo)
    return demo


TASMANIA_RED_OR_GREEN = [(6, 0), (6, 1)]
RED_REGIONS = [(region, 0) for region in range(len(REGIONS))]


@pytest.mark.parametrize("cells, border, optimum", [
    # 0 at best: the next border, -1, lies below every value of the target.
    (TASMANIA_RED_OR_GREEN, 2, 0),
    # Three colours are needed: at border 0 the CNF is unsatisfiable.
    (RED_REGIONS, len(REGIONS), 1),
    (TASMANIA_RED_OR_GREEN, -1, None),
])
def test_demo_border_loop_stops_at_the_optimum(cells, border, optimum):
    demo = demo_module()
    cmanager = ce.manager()
    model, colour, _ = demo.colouring_model(cmanager, "loop", 3)
    model.add_target(SumIt([colour[cell] for cell in cells]))

    def value(solution):
        values = cmanager.get_witness_interpreter().interpret(solution)
        return sum(values[f"colour[{region},{k}]"] for region, k in cells)

    best = demo.minimise_by_border(model, cmanager, border, value)
    assert (None if best is None else value(best)) == optimum
