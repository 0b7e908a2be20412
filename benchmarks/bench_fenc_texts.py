"""Cost of one FormulaEncoder.add_constraint call, from Python, for the texts
that the expression operators write most: one-clause texts, which the
encoder reads straight into their clause, and others for comparison. The
baseline is the same encoder made with clause_form_shortcuts=False, which
compiles every text (the reference road), in the same run.

Microseconds per call, the best of three runs of N calls on a fresh encoder.
Target: one-clause texts at most 0.4 us.

    python benchmarks/bench_fenc_texts.py
"""
import random
import time

from velmont.corvane_engine import _fenc

CALLS = 20_000
RUNS = 3
ONE_CLAUSE_TARGET_US = 0.4


def bx(k):
    return f"x({k}).to_bx()"


# (what the operators were given, whether it is one clause, its text over three distinct elements a, b, c)
TEXTS = [
    ("x[a] or ~x[b] or x[c]", True, lambda a, b, c: f"bx.or_s([bx.or_s([{bx(a)}, ~({bx(b)})]), {bx(c)}])"),
    ("x[a] or x[b]", True, lambda a, b, c: f"bx.or_s([{bx(a)}, {bx(b)}])"),
    ("x[a]", True, lambda a, b, c: f"x({a})"),
    ("~x[a]", True, lambda a, b, c: f"~({bx(a)})"),
    ("OrIt of 8 elements", True, lambda a, b, c: "bx.or_s([" + ", ".join(bx((a + 7 * k) % 1000) for k in range(8)) + "])"),
    ("y[a, b] or ~y[c, a]", True,
     lambda a, b, c: f"bx.or_s([y({a % 30},{b % 30}).to_bx(), ~(y({c % 30},{a % 30}).to_bx())])"),
    ("x[a] and x[b]", False, lambda a, b, c: f"bx.and_s([{bx(a)}, {bx(b)}])"),
    ("x[a] + x[b] + x[c] <= 1", False,
     lambda a, b, c: f"FormulaPB(x({a}).to_pb() + x({b}).to_pb() + x({c}).to_pb(), pb.Comparator_type.LEQ, 1)"
                     ".to_bx(manager)"),
]


def microseconds(texts, shortcuts):
    best = float("inf")
    for _ in range(RUNS):
        encoder = _fenc.FormulaEncoder("bench", clause_form_shortcuts=shortcuts)
        encoder.create_variables("x", [1000])
        encoder.create_variables("y", [30, 30])
        add = encoder.add_constraint
        start = time.perf_counter()
        for text in texts:
            add(text, "Foralls: {}")
        best = min(best, time.perf_counter() - start)
    return best / len(texts) * 1e6


def main():
    rng = random.Random(2)
    print("| text | us a call | compiled, us a call | ratio | target |")
    print("|---|---|---|---|---|")
    for name, one_clause, write in TEXTS:
        texts = [write(*rng.sample(range(1000), 3)) for _ in range(CALLS)]
        ours, compiled = microseconds(texts, True), microseconds(texts, False)
        target = f"{ONE_CLAUSE_TARGET_US} us" if one_clause else "-"
        print(f"| {name} | {ours:.2f} | {compiled:.2f} | {ours / compiled:.2f} | {target} |")


if __name__ == "__main__":
    main()
