"""Size and speed of kelpa's adder encoding of  sum(w_i * x_i) <= / == sum(w) / 2
for n = 10 ... 10000 terms, next to the adder of pypblib (a published
implementation of the same encodings) on the same constraints when that
package is importable. Ratios are measured in this run.

kelpa time: encode2 plus get_clauses (the Python lists), against pypblib's
encode call, which returns Python lists too; "enc ms" is encode2 alone. Times
are CPU times of this process (best of a few runs), so that other load on the
machine does not skew the ratios.
"""
import random
import time

import velmont.corvane_engine.kelpa as pb

try:
    from pypblib import pblib
except ImportError:
    pblib = None

SIZES = [10, 100, 1000, 10000]
WEIGHTS = {"1..1e3": 1000, "1..2^40": 2**40}
COMPARATORS = ["LEQ", "BOTH"]


def best_of(repeats, run):
    times, result = [], None
    for _ in range(repeats):
        start = time.process_time()
        result = run()
        times.append(time.process_time() - start)
    return min(times), result


def kelpa_encode(weights, bound, comparator):
    n = len(weights)
    config = pb.PBConfig()
    config.pb_encoder = pb.PB_Encoder_type.ADDER
    config.max_clauses_per_constraint = 2**62
    constraint = pb.PBConstraint([pb.WeightedLit(i + 1, w) for i, w in enumerate(weights)],
                                 getattr(pb.Comparator_type, comparator), bound)
    aux = pb.AuxVarManager(n + 1)
    database = pb.VectorClauseDatabase(config)
    start = time.process_time()
    pb.pb2cnf(config).encode2(constraint, database, aux)
    encoded = time.process_time() - start
    clauses = database.get_clauses()
    return encoded, aux.get_variable() - 1 - n, len(clauses)


def pblib_encode(weights, bound, comparator):
    n = len(weights)
    config = pblib.PBConfig()
    config.set_PB_Encoder(pblib.PB_ADDER)
    encoder = pblib.Pb2cnf(config)
    clauses = []
    encode = encoder.encode_leq if comparator == "LEQ" else encoder.encode_both
    args = (bound,) if comparator == "LEQ" else (bound, bound)
    max_var = encode(weights, list(range(1, n + 1)), *args, clauses, n + 1)
    return max_var - n, len(clauses)


def main():
    rng = random.Random(2024)
    print(__doc__.strip().splitlines()[0])
    if pblib is None:
        print("pypblib is not importable: kelpa figures only (pip install pypblib for the comparison)")
    header = (f"{'n':>6} {'weights':>8} {'cmp':>4} | {'aux':>8} {'clauses':>9} {'cl/bit':>6} {'ms':>8}"
              f" {'enc ms':>7}")
    if pblib is not None:
        header += f" | {'pbl aux':>8} {'pbl cl':>9} {'pbl ms':>8} | {'cl ratio':>8} {'speedup':>7}"
    print(header)
    for label, top in WEIGHTS.items():
        for n in SIZES:
            weights = [rng.randint(1, top) for _ in range(n)]
            bound = sum(weights) // 2
            set_bits = sum(bin(w).count("1") for w in weights)
            repeats = 5 if n <= 1000 else 2
            for comparator in COMPARATORS:
                total, (encoded, aux, clauses) = best_of(repeats, lambda: kelpa_encode(weights, bound, comparator))
                line = (f"{n:>6} {label:>8} {comparator:>4} | {aux:>8} {clauses:>9} {clauses / set_bits:>6.2f}"
                        f" {total * 1e3:>8.2f} {encoded * 1e3:>7.2f}")
                if pblib is not None:
                    base_time, (base_aux, base_clauses) = best_of(
                        max(1, repeats // 2), lambda: pblib_encode(weights, bound, comparator))
                    line += (f" | {base_aux:>8} {base_clauses:>9} {base_time * 1e3:>8.1f}"
                             f" | {clauses / base_clauses:>8.3f} {base_time / total:>6.1f}x")
                print(line, flush=True)


if __name__ == "__main__":
    main()
