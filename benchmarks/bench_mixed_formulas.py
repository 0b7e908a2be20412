"""add_constraint of small Boolean formulas with comparisons inside, in
container mode: the road that records a text again from the clause form
kept for its shape, against the evaluation road (the same build with that
road switched off) and formula-encoder mode, in one run.

Each shape is added 2,000 times over fresh elements (the expression written
in the loop, as a user writes it), best of five models; microseconds per add.
Target: at most 15 us per add. Last, the share of random formulas with
comparisons inside (2 to 4 distinct elements, up to two combinators deep)
that the road takes when each is added again over other elements: all but
the constant ones, which the evaluation road warns of or refuses.

    python benchmarks/bench_mixed_formulas.py
"""
import logging
import random

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt, Equiv, Implication, IfThenElse

from bench_small_comparisons import evaluation_road, per_add_us
from bench_small_formulas import random_formula

TARGET_US = 15.0

SHAPES = {
    "(x[k] <= 0) | (x[k+1] <= 0)": lambda x, k: (x[k] <= 0) | (x[k + 1] <= 0),
    "Implication(x[k], SumIt(3) <= 1)": lambda x, k: Implication(x[k], SumIt([x[k + 1], x[k + 2], x[k + 3]]) <= 1),
    "~(x[k] + x[k+1] >= 2) | x[k+2]": lambda x, k: ~(x[k] + x[k + 1] >= 2) | x[k + 2],
    "Equiv(x[k], x[k+1] + x[k+2] == 1)": lambda x, k: Equiv(x[k], x[k + 1] + x[k + 2] == 1),
    "Implication(x[k], 2*x[k+1] - 3*x[k+2] >= -1)": lambda x, k: Implication(x[k], 2 * x[k + 1] - 3 * x[k + 2] >= -1),
    "IfThenElse(x[k], x[k+1] + x[k+2] <= 1, x[k+3])": (
        lambda x, k: IfThenElse(x[k], x[k + 1] + x[k + 2] <= 1, x[k + 3])),
}


def random_mixed_formula(rng, x, elements):
    """A random formula whose leaves are elements or small comparisons of them."""
    formula = random_formula(rng, x, elements, 2)
    members = [x[rng.choice(elements)] * rng.choice([1, 2, -1]) for _ in range(rng.randint(1, 3))]
    comparison = sum(members[1:], members[0]) <= rng.randint(0, 2)
    return [formula & comparison, formula | comparison, Implication(comparison, formula),
            Equiv(formula, comparison)][rng.randrange(4)]


def share_taken(seed=5, count=1000):
    rng = random.Random(seed)
    taken = 0
    for _ in range(count):
        model = Model(ce.manager(), "share")
        x = model.create_variables("x", k=60)
        model.add_constraint(x[0] | x[1])
        container = model._formula_container
        elements = rng.sample(range(4), rng.randint(2, 4))
        state = rng.getstate()
        try:
            model.add_constraint(random_mixed_formula(rng, x, elements))
        except Exception:  # a contradiction: refused on every road
            continue
        rng.setstate(state)
        taken += container.add_recalled_formula(str(random_mixed_formula(rng, x, [e + 50 for e in elements])))
    return taken / count


def main():
    logging.getLogger("velmont.corvane_engine").setLevel(logging.CRITICAL)
    print("| formula | road us | evaluation road us | formula encoder us | road / evaluation | target |")
    print("|---|---|---|---|---|---|")
    for name, write in SHAPES.items():
        road = per_add_us(write, False)
        with evaluation_road("add_recalled_formula"):
            evaluated = per_add_us(write, False)
        encoder = per_add_us(write, True)
        target = f"<= {TARGET_US:g} us: {'met' if road <= TARGET_US else 'MISSED'}"
        print(f"| {name} | {road:.1f} | {evaluated:.1f} | {encoder:.1f} | {road / evaluated:.2f}x | {target} |")
    print(f"\nrandom formulas with comparisons inside taken when met again: {share_taken():.0%}")


if __name__ == "__main__":
    main()
