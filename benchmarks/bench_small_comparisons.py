"""add_constraint of small comparisons in container mode, on the road that
reads and encodes them in C++ from their text, against the evaluation road
(the same build with that road switched off) and formula-encoder mode, in one
run.

Each shape is added 2,000 times over fresh elements (the expression written
in the loop, as a user writes it), best of five models; microseconds per add.
Target: at most 8 us per add for the comparisons whose encoding has no aux
variable; those with aux variables are expanded by the container as before,
only their evaluation is saved. Last, the share of random comparisons of 2
to 6 distinct elements, bounds that leave them neither always nor never true,
that takes the road. Then soft constraints of a weighted element or a small
sum, on the road that reads them in C++, against their evaluation road.

    python benchmarks/bench_small_comparisons.py
"""
import contextlib
import logging
import random
import time

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt
from tarvo_encoder.core.formula_container import FormulaContainer

ADDS, MODELS = 2000, 5
TARGET_US = 8.0

SHAPES = {
    "x[k] + x[k+1] <= 1": (lambda x, k: x[k] + x[k + 1] <= 1, False),
    "SumIt(3) <= 1": (lambda x, k: SumIt([x[k], x[k + 1], x[k + 2]]) <= 1, False),
    "x[k] + x[k+1] + x[k+2] == 1": (lambda x, k: x[k] + x[k + 1] + x[k + 2] == 1, False),
    "2*x[k] - 3*x[k+1] >= -1": (lambda x, k: 2 * x[k] - 3 * x[k + 1] >= -1, False),
    "SumIt(6) == 1": (lambda x, k: SumIt([x[k + d] for d in range(6)]) == 1, False),
    "SumIt(6) <= 2 (aux variables)": (lambda x, k: SumIt([x[k + d] for d in range(6)]) <= 2, True),
    "3x + 2y + 2z >= 3 (aux variables)": (lambda x, k: 3 * x[k] + 2 * x[k + 1] + 2 * x[k + 2] >= 3, True),
    "SumIt(10) <= 1 (aux variables)": (lambda x, k: SumIt([x[k + d] for d in range(10)]) <= 1, True),
}

# Soft constraints, each added with weight 5: one soft clause per term.
SOFT_SHAPES = {
    "soft x[k]": lambda x, k: x[k],
    "soft 3*x[k]": lambda x, k: 3 * x[k],
    "soft x[k] + x[k+1]": lambda x, k: x[k] + x[k + 1],
    "soft x[k] - 2*x[k+1]": lambda x, k: x[k] - 2 * x[k + 1],
    "soft SumIt(3)": lambda x, k: SumIt([x[k], x[k + 1], x[k + 2]]),
}


@contextlib.contextmanager
def evaluation_road(road="add_small_comparison"):
    """Container mode with the road of FormulaContainer method `road` switched off."""
    taken = getattr(FormulaContainer, road)
    setattr(FormulaContainer, road, lambda self, *arguments: False)
    try:
        yield
    finally:
        setattr(FormulaContainer, road, taken)


def per_add_us(write, use_formula_encoder, soft=False):
    best = float("inf")
    for _ in range(MODELS):
        model = Model(ce.manager(), "small", use_formula_encoder=use_formula_encoder)
        x = model.create_variables("x", k=ADDS + 10)
        add = (lambda e: model.add_soft_constraint(e, 5)) if soft else model.add_constraint
        started = time.perf_counter()
        for k in range(ADDS):
            add(write(x, k))
        best = min(best, time.perf_counter() - started)
    return best / ADDS * 1e6


def share_taken(seed=5, per_size=300):
    """(kind, share taking the road) for unit and for mixed weights."""
    rng = random.Random(seed)
    model = Model(ce.manager(), "share")
    x = model.create_variables("x", k=50)
    model.add_constraint(x[0] | x[1])
    container, manager = model._formula_container, model._manager
    shares = []
    for kind in ("cardinality", "weighted"):
        taken = total = 0
        for n in range(2, 7):
            for _ in range(per_size):
                elements = rng.sample(range(50), n)
                weights = [1] * n if kind == "cardinality" else [rng.choice([-5, -3, -2, -1, 1, 2, 3, 5])
                                                                 for _ in elements]
                low = sum(w for w in weights if w < 0)
                high = sum(w for w in weights if w > 0)
                bound = rng.randint(low + 1, high - 1) if high - low >= 2 else low
                terms = [x[e] if w == 1 else w * x[e] for w, e in zip(weights, elements)]
                total_ = SumIt(terms) if rng.random() < 0.5 else sum(terms[1:], terms[0])
                comparison = rng.choice([total_ <= bound, total_ >= bound, total_ == bound])
                taken += container.add_small_comparison(str(comparison), manager)
                total += 1
        shares.append((kind, taken / total))
    return shares


def main():
    logging.getLogger("velmont.corvane_engine").setLevel(logging.ERROR)
    print("| comparison | road us | evaluation road us | formula encoder us | road / evaluation | target |")
    print("|---|---|---|---|---|---|")
    for name, (write, has_aux) in SHAPES.items():
        road = per_add_us(write, False)
        with evaluation_road():
            evaluated = per_add_us(write, False)
        encoder = per_add_us(write, True)
        target = "-" if has_aux else f"<= {TARGET_US:g} us: {'met' if road <= TARGET_US else 'MISSED'}"
        print(f"| {name} | {road:.1f} | {evaluated:.1f} | {encoder:.1f} | {road / evaluated:.2f}x | {target} |")
    for name, write in SOFT_SHAPES.items():
        road = per_add_us(write, False, soft=True)
        with evaluation_road("add_plain_soft_sum"):
            evaluated = per_add_us(write, False, soft=True)
        encoder = per_add_us(write, True, soft=True)
        print(f"| {name} | {road:.1f} | {evaluated:.1f} | {encoder:.1f} | {road / evaluated:.2f}x | - |")
    for kind, share in share_taken():
        print(f"\n{kind} comparisons of 2 to 6 elements taking the road: {share:.0%}", end="")
    print()


if __name__ == "__main__":
    main()
