"""Memory per stored clause: peak resident memory above the import baseline,
and what the engine manager still holds once the model is dropped, beside
python-sat and pindakaas holding the same CNF.

The models:

- queens: n-queens 300, rows and columns as one constraint each over a
  forall, each diagonal a SumIt(...) <= 1 added in a Python loop, build_cnf;
- weighted: the same hard constraints plus soft constraints over foralls
  (one soft clause per cell, weights 1 to 3), build_wcnf.

Each case runs in a fresh interpreter: the baseline is the resident memory
after the imports, the peak the high-water mark of the build (Linux: the
mark is reset after the imports), the held figure the resident memory once
the model is dropped and the allocator has returned what it can. The peers
read the CNF our build wrote (python-sat: CNF / WCNF from the file, Python
lists; pindakaas: one add_clause per line) and are measured the same way.
Targets: at most 40 bytes a clause of peak memory and 25 held, both modes.

    python benchmarks/bench_memory.py [--queens N]
"""
import argparse
import ctypes
import gc
import json
import pathlib
import subprocess
import sys
import tempfile
import time


def resident_bytes(field: str) -> int:
    for line in pathlib.Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1]) * 1024
    raise RuntimeError(f"/proc/self/status has no {field}")


def release_freed_memory() -> None:
    gc.collect()
    try:
        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


def start_measuring() -> int:
    """The baseline, with the high-water mark reset to it."""
    release_freed_memory()
    try:
        pathlib.Path("/proc/self/clear_refs").write_text("5")
    except OSError:
        pass
    return resident_bytes("VmRSS")


def build_ours(model: str, use_formula_encoder: bool, n: int, dimacs_path: str) -> dict:
    import velmont.corvane_engine as ce
    from bench_container import add_queens_constraints
    from tarvo_encoder import Model, Sum

    baseline = start_measuring()
    start = time.perf_counter()
    manager = ce.manager()
    m = Model(manager, model, use_formula_encoder=use_formula_encoder)
    x, i, j = add_queens_constraints(m, n)
    if model == "weighted":
        for k in range(3):
            m.add_soft_constraint(Sum(x[i, j], j=range(k, n, 3)), weight=k + 1, i=range(n))
        m.build_wcnf()
    else:
        m.build_cnf()
    seconds = time.perf_counter() - start
    peak = resident_bytes("VmHWM") - baseline
    storage = manager.get_cnf_storage()
    clauses = storage.stored_clause_count
    del m, x, i, j, storage
    release_freed_memory()
    held = resident_bytes("VmRSS") - baseline
    if dimacs_path:
        manager.get_cnf_storage().write_dimacs(dimacs_path)
    return {"clauses": clauses, "peak": peak, "held": held, "seconds": seconds}


def build_pysat(weighted: bool, dimacs_path: str) -> dict:
    from pysat.formula import CNF, WCNF

    baseline = start_measuring()
    start = time.perf_counter()
    formula = WCNF(from_file=dimacs_path) if weighted else CNF(from_file=dimacs_path)
    seconds = time.perf_counter() - start
    clauses = len(formula.hard) + len(formula.soft) if weighted else len(formula.clauses)
    return {"clauses": clauses, "peak": resident_bytes("VmHWM") - baseline, "held": None, "seconds": seconds}


def build_pindakaas(weighted: bool, dimacs_path: str) -> dict:
    import pindakaas as pk

    baseline = start_measuring()
    start = time.perf_counter()
    formula = pk.WCNF() if weighted else pk.CNF()
    lit = pk.Lit.from_raw
    clauses = 0
    top = None
    with open(dimacs_path) as lines:
        for line in lines:
            if line.startswith("c"):
                continue
            numbers = line.split()
            if line.startswith("p"):
                formula.new_var_range(int(numbers[2]))
                top = numbers[4] if weighted else None
                continue
            clauses += 1
            if weighted and numbers[0] != top:
                formula.add_weighted_clause([lit(int(v)) for v in numbers[1:-1]], int(numbers[0]))
            else:
                formula.add_clause([lit(int(v)) for v in numbers[1 if weighted else 0:-1]])
    seconds = time.perf_counter() - start
    return {"clauses": clauses, "peak": resident_bytes("VmHWM") - baseline, "held": None, "seconds": seconds}


def run_case(*arguments) -> dict:
    """One case in a fresh interpreter; None when it fails (a missing peer)."""
    done = subprocess.run([sys.executable, __file__, "--case", *map(str, arguments)], capture_output=True, text=True)
    if done.returncode != 0:
        return None
    return json.loads(done.stdout.splitlines()[-1])


def per_clause(value, clauses) -> str:
    return "" if value is None else f"{value / clauses:.1f}"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--queens", type=int, default=300, help="board size (default 300)")
    parser.add_argument("--case", nargs=4, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.case is not None:
        builder, model, n, path = args.case
        weighted = model == "weighted"
        if builder == "pysat":
            result = build_pysat(weighted, path)
        elif builder == "pindakaas":
            result = build_pindakaas(weighted, path)
        else:
            result = build_ours(model, builder == "encoder", int(n), path)
        print(json.dumps(result))
        return

    print(f"n-queens {args.queens}; bytes a clause above the import baseline")
    print(f"{'model':>9} {'builder':>10} {'clauses':>9} {'peak B':>7} {'held B':>7} {'seconds':>8}")
    with tempfile.TemporaryDirectory() as workdir:
        for model in ("queens", "weighted"):
            path = str(pathlib.Path(workdir) / f"{model}.wcnf")
            rows = []
            for builder in ("container", "encoder"):
                rows.append((builder, run_case(builder, model, args.queens, path if builder == "container" else "")))
            for peer in ("pysat", "pindakaas"):
                rows.append((peer, run_case(peer, model, args.queens, path)))
            for builder, result in rows:
                if result is None:
                    print(f"{model:>9} {builder:>10}  unavailable (not installed or failed); skipped")
                    continue
                clauses = result["clauses"]
                print(f"{model:>9} {builder:>10} {clauses:>9} {per_clause(result['peak'], clauses):>7}"
                      f" {per_clause(result['held'], clauses):>7} {result['seconds']:>8.2f}")
    print("targets: peak at most 40 B and held at most 25 B a clause, container and encoder")


if __name__ == "__main__":
    main()
