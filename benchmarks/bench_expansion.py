"""Expansion of one template formula over 10^3, 10^5 (and with --full 10^6)
template instances through the formula container, by the native road and by
the evaluation of the expansion text (the reference road): CPU time, clauses
per second, peak memory, and the ratio of the two roads' clauses per second.

The template has the shape of a compiled constraint: three clauses over two
template variables, one PB-encoder aux variable and one Tseytin aux variable.
Each size and road runs in a fresh interpreter so that its peak resident
memory is its own; the peak is shown above the interpreter's resident memory
before the run. Times are CPU times of that interpreter, which other load on
the machine disturbs less than wall-clock times.

    python benchmarks/bench_expansion.py [--full]
"""
import argparse
import json
import resource
import subprocess
import sys
import time

SIZES = [10**3, 10**5]
FULL_SIZE = 10**6
COLUMNS = 1000
ROADS = ["reference", "native"]


def run_one(instances: int, road: str) -> dict:
    import velmont.corvane_engine.dravo as bx
    from tarvo_encoder.core.dumper import Dumper
    from tarvo_encoder.core.formula_container import FormulaContainer
    from tarvo_encoder.encode.variables import Variable

    if road == "reference":
        Dumper._dump_cnf = staticmethod(Dumper._dump_cnf_by_evaluation)

    rows = instances // COLUMNS if instances >= COLUMNS else 1
    columns = min(instances, COLUMNS)
    variables = {
        "dummy_var": Variable("dummy_var", {"d": 1}, 0),
        "x": Variable("x", {"a": rows + 1, "b": columns}, 1),
    }
    first_aux = 1 + (rows + 1) * columns

    context = bx.Context()
    here, below = context.get_var("x(i,j)"), context.get_var("x(i + 1,j)")
    pb_aux, bx_aux = context.get_var("_kelpa_aux_0"), context.get_var("_dravo_aux_0")
    template = bx.and_([bx.or_s([~here, pb_aux]), bx.or_s([below, ~pb_aux, bx_aux]), bx.or_s([here, ~bx_aux])])

    container = FormulaContainer(variables, first_aux)
    baseline = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.process_time()
    container.add_hard_constraint(template, {"i": range(rows), "j": range(columns)}, 1, 1)
    expanded = time.process_time()
    container.build_cnf_formula("bench")
    built = time.process_time()
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss

    clauses = len(container.cnf_storage().hard_clauses()) if instances <= 10**3 else container.num_clauses
    assert clauses == 3 * rows * columns
    return {
        "instances": rows * columns,
        "clauses": container.num_clauses,
        "expand_s": expanded - start,
        "build_s": built - expanded,
        "peak_mib": (peak - baseline) / 1024,
    }


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--full", action="store_true", help=f"also run {FULL_SIZE} instances (a few minutes)")
    parser.add_argument("--one", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--road", choices=ROADS, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.one is not None:
        print(json.dumps(run_one(args.one, args.road)))
        return

    sizes = SIZES + ([FULL_SIZE] if args.full else [])
    print(
        f"{'instances':>10} {'clauses':>10} {'road':>9} {'expand s':>9} {'build s':>8}"
        f" {'clauses/s':>11} {'peak MiB':>9} {'ratio':>7}"
    )
    for size in sizes:
        rates = {}
        for road in ROADS:
            output = subprocess.run(
                [sys.executable, __file__, "--one", str(size), "--road", road],
                check=True, capture_output=True, text=True,
            ).stdout
            r = json.loads(output)
            rates[road] = r["clauses"] / max(r["expand_s"] + r["build_s"], 1e-9)
            ratio = f"{rates[road] / rates['reference']:>7.1f}"
            print(
                f"{r['instances']:>10} {r['clauses']:>10} {road:>9} {r['expand_s']:>9.3f} {r['build_s']:>8.3f}"
                f" {rates[road]:>11.0f} {r['peak_mib']:>9.1f} {ratio}"
            )


if __name__ == "__main__":
    main()
