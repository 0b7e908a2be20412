"""Reading time of the formula encoder's texts against their size, for the
three shapes whose size a caller controls: nested comprehensions, foralls
entries and distinct index names (all unbound, so the text is refused after
the whole read). Each shape is read at n and 2n; a reader linear in the text
takes about twice as long at 2n (ratio near 2; a quadratic one gives 4).

CPU times of this interpreter, the median of three runs.

    python benchmarks/bench_fenc_parsing.py [--full]
"""
import statistics
import sys
import time

from velmont.corvane_engine import _fenc

RUNS = 3


def nested(n: int):
    text = "bx.and_s([" * n + "x(0).to_bx()" + "".join(f" for i{k} in range(0, 1)])" for k in range(n))
    return text, "Foralls: {}"


def foralls(n: int):
    return "x(0).to_bx()", "Foralls: {" + ", ".join(f"'i{k}': [0]" for k in range(n)) + "}"


def names(n: int):
    return "bx.and_s([" + ", ".join(f"x(n{k}).to_bx()" for k in range(n)) + "])", "Foralls: {}"


def read_seconds(text: str, foralls_text: str) -> float:
    times = []
    for _ in range(RUNS):
        e = _fenc.FormulaEncoder("bench")
        e.create_variables("x", [1])
        start = time.process_time()
        try:
            e.add_constraint(text, foralls_text)
        except ValueError:
            pass  # the names shape is refused once read
        times.append(time.process_time() - start)
    return statistics.median(times)


def main() -> None:
    sizes = {"nested comprehensions": 50_000, "foralls entries": 100_000, "distinct names": 100_000}
    if "--full" in sys.argv:  # the sizes that took the quadratic reader 90 to 160 s
        sizes = {"nested comprehensions": 200_000, "foralls entries": 250_000, "distinct names": 350_000}
    for (label, n), shape in zip(sizes.items(), (nested, foralls, names)):
        small, large = read_seconds(*shape(n)), read_seconds(*shape(2 * n))
        print(f"{label:22} n={n:>7}: {small * 1000:8.1f} ms, 2n: {large * 1000:8.1f} ms, ratio {large / small:4.2f}")


if __name__ == "__main__":
    main()
