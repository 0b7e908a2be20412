"""The same model built in container mode and in formula-encoder mode, next
to the lower bound of writing its clauses from C++ directly.

The model: x over (rows + 1) x (columns + 1) elements and, for every i < rows
and j < columns, the two constraints

    x[i, j] + x[i + 1, j] + 2 * x[i, j + 1] <= 2
    Implication(x[i, j], x[i + 1, j] | x[i, j + 1])

so 2 * rows * columns constraint instances. Times cover declaring, adding
and building (build_cnf: clauses, header and variable mapping). The direct
baseline (benchmarks/direct_clauses.cpp, compiled here against the engine's
static libraries in build/) writes the same clauses and the same mapping,
kept as the engine keeps them.

    python benchmarks/bench_formula_encoder.py [--full]    (--full adds 10^6 instances; container mode
                                                            then takes minutes)
"""
import argparse
import json
import logging
import pathlib
import re
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
SIZES = [(100, 500)]  # 10^5 instances
FULL_SIZE = (1000, 500)  # 10^6 instances


def build_model(use_formula_encoder: bool, rows: int, columns: int) -> dict:
    import velmont.corvane_engine as ce
    from velmont.corvane_engine import _fenc
    from tarvo_encoder.encode import Implication
    from tarvo_encoder.encode.model import Model

    class EngineManager(ce.manager):
        def create_formula_encoder(self, model_name):
            return _fenc.FormulaEncoder(model_name)

    logging.getLogger("velmont.corvane_engine").setLevel(logging.ERROR)
    start = time.perf_counter()
    m = Model(EngineManager(), "bench", use_formula_encoder=use_formula_encoder)
    x = m.create_variables("x", a=rows + 1, b=columns + 1)
    i, j = m.get_indexes(["i", "j"])
    m.add_constraint(x[i, j] + x[i + 1, j] + 2 * x[i, j + 1] <= 2, i=range(rows), j=range(columns))
    m.add_constraint(Implication(x[i, j], x[i + 1, j] | x[i, j + 1]), i=range(rows), j=range(columns))
    m.build_cnf()
    seconds = time.perf_counter() - start
    storage = m.get_cnf_storage()
    return {"seconds": seconds, "clauses": storage.clause_count, "variables": storage.variable_count}


def compile_direct(workdir: pathlib.Path):
    """The direct baseline's executable, or None when it cannot be built."""
    cache = (ROOT / "build" / "CMakeCache.txt")
    found = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache.read_text(), re.M) if cache.exists() else None
    libraries = [ROOT / "build" / f"libengine_{name}.a" for name in ("kelpa", "dravo", "core")]
    if found is None or not all(lib.exists() for lib in libraries):
        return None
    executable = workdir / "direct_clauses"
    command = [found.group(1), "-O2", "-std=c++20", f"-I{ROOT / 'cpp'}", str(ROOT / "benchmarks" / "direct_clauses.cpp"),
               *map(str, libraries), "-o", str(executable)]
    if subprocess.run(command, capture_output=True).returncode != 0:
        return None
    return executable


def run_mode(use_formula_encoder: bool, rows: int, columns: int) -> dict:
    # A fresh interpreter per run, so one mode's garbage does not slow the other.
    output = subprocess.run([sys.executable, __file__, "--one", str(int(use_formula_encoder)), str(rows), str(columns)],
                            check=True, capture_output=True, text=True).stdout
    return json.loads(output.splitlines()[-1])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--full", action="store_true", help="also run 10^6 instances")
    parser.add_argument("--one", nargs=3, type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.one is not None:
        print(json.dumps(build_model(bool(args.one[0]), args.one[1], args.one[2])))
        return

    with tempfile.TemporaryDirectory() as workdir:
        direct = compile_direct(pathlib.Path(workdir))
        if direct is None:
            print("direct C++ baseline unavailable (run `make build` first); its columns stay empty")
        print(f"{'instances':>10} {'clauses':>9} {'container s':>12} {'encoder s':>10} {'direct s':>9}"
              f" {'container/encoder':>18} {'encoder/direct':>15}")
        for rows, columns in SIZES + ([FULL_SIZE] if args.full else []):
            container = run_mode(False, rows, columns)
            encoder = run_mode(True, rows, columns)
            assert (container["clauses"], container["variables"]) == (encoder["clauses"], encoder["variables"])
            direct_s = ratio = ""
            if direct is not None:
                d = json.loads(subprocess.run([str(direct), str(rows), str(columns)], check=True,
                                              capture_output=True, text=True).stdout)
                assert (d["clauses"], d["variables"]) == (encoder["clauses"], encoder["variables"])
                seconds = d["clauses_s"] + d["mapping_s"]
                direct_s, ratio = f"{seconds:.3f}", f"{encoder['seconds'] / seconds:.2f}"
            print(f"{2 * rows * columns:>10} {encoder['clauses']:>9} {container['seconds']:>12.3f}"
                  f" {encoder['seconds']:>10.3f} {direct_s:>9} {container['seconds'] / encoder['seconds']:>18.1f}"
                  f" {ratio:>15}")


if __name__ == "__main__":
    main()
