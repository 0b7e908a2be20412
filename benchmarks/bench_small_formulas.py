"""add_constraint of small Boolean formulas of elements in container mode, on
the road that builds them and puts them into clause form in C++ from their
text, against the evaluation road (the same build with that road switched
off) and formula-encoder mode, in one run.

Each shape is added 2,000 times over fresh elements (the expression written
in the loop, as a user writes it), best of five models; microseconds per add.
Target: at most 8 us per add for the formulas whose clause form has no aux
variable; those with aux variables are expanded by the container as before,
only their evaluation is saved. Last,
the share of random formulas of 2 to 4 distinct elements, nested up to three
combinators deep, that takes the road (the others are constant: the
evaluation road warns or refuses with the caller's line).

    python benchmarks/bench_small_formulas.py
"""
import logging
import random

import velmont.corvane_engine as ce
from tarvo_encoder import Model, AndIt, OrIt, XorIt, Equiv, Implication, IfThenElse

from bench_small_comparisons import TARGET_US, evaluation_road, per_add_us

SHAPES = {
    "~(x[k] & x[k+1])": (lambda x, k: ~(x[k] & x[k + 1]), False),
    "x[k] & x[k+1]": (lambda x, k: x[k] & x[k + 1], False),
    "(x[k] | x[k+1]) & (x[k+2] | ~x[k])": (lambda x, k: (x[k] | x[k + 1]) & (x[k + 2] | ~x[k]), False),
    "Implication(x[k], x[k+1])": (lambda x, k: Implication(x[k], x[k + 1]), False),
    "Implication(x[k], x[k+1] | x[k+2])": (lambda x, k: Implication(x[k], x[k + 1] | x[k + 2]), False),
    "Equiv(x[k], x[k+1])": (lambda x, k: Equiv(x[k], x[k + 1]), False),
    "x[k] ^ x[k+1]": (lambda x, k: x[k] ^ x[k + 1], False),
    "Implication(x[k], x[k+1] & x[k+2]) (aux variables)": (
        lambda x, k: Implication(x[k], x[k + 1] & x[k + 2]), True),
}


def random_formula(rng, x, elements, depth, top=True):
    """A random formula over the elements; a combinator at the top (a bare element is a clause)."""
    if depth == 0 or (not top and rng.random() < 0.3):
        element = x[rng.choice(elements)]
        return ~element if rng.random() < 0.3 else element
    pick = rng.randrange(8)
    operands = [random_formula(rng, x, elements, depth - 1, False) for _ in range(rng.randint(2, 3))]
    if pick < 3:
        return [AndIt, OrIt, XorIt][pick](operands)
    if pick == 3:
        return Equiv(*operands[:2])
    if pick == 4:
        return ~operands[0]
    if pick == 5:
        return Implication(*operands[:2])
    if pick == 6:
        return IfThenElse(*(operands + [random_formula(rng, x, elements, depth - 1, False)])[:3])
    return operands[0] & operands[1] if rng.random() < 0.5 else operands[0] | operands[1]


def share_taken(seed=5, count=3000):
    rng = random.Random(seed)
    model = Model(ce.manager(), "share")
    x = model.create_variables("x", k=50)
    model.add_constraint(x[0] | x[1])
    container = model._formula_container
    taken = 0
    for _ in range(count):
        elements = rng.sample(range(50), rng.randint(2, 4))
        taken += container.add_plain_formula(str(random_formula(rng, x, elements, 3)))
    return taken / count


def main():
    logging.getLogger("velmont.corvane_engine").setLevel(logging.ERROR)
    print("| formula | road us | evaluation road us | formula encoder us | road / evaluation | target |")
    print("|---|---|---|---|---|---|")
    for name, (write, has_aux) in SHAPES.items():
        road = per_add_us(write, False)
        # The memo of recorded shapes would serve the evaluation road's texts again.
        with evaluation_road("add_plain_formula"), evaluation_road("add_recalled_formula"):
            evaluated = per_add_us(write, False)
        encoder = per_add_us(write, True)
        target = "-" if has_aux else f"<= {TARGET_US:g} us: {'met' if road <= TARGET_US else 'MISSED'}"
        print(f"| {name} | {road:.1f} | {evaluated:.1f} | {encoder:.1f} | {road / evaluated:.2f}x | {target} |")
    print(f"\nrandom formulas of 2 to 4 elements taking the road: {share_taken():.0%}")


if __name__ == "__main__":
    main()
