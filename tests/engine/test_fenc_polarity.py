"""A comparison means the same wherever a hard constraint places it: negated,
as a premise, under xor or equivalence, as an if condition or branch, inside
the iterated combinators. Both roads against brute force over the declared
elements."""

import itertools
import random

import pytest
from pysat.solvers import Solver

import velmont.corvane_engine as ce
from fenc_truth import satisfiable_under
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode import And, AndIt, Equiv, IfThenElse, Implication, Or, OrIt, SumIt, Xor, XorIt
from tarvo_encoder.encode.model import Model

SIZE = 4
ASSIGNMENTS = list(itertools.product([False, True], repeat=SIZE))


pytestmark = pytest.mark.usefixtures("quiet_engine_log")


def declared(use_formula_encoder, name="polarity"):
    m = Model(ce.manager(), name, use_formula_encoder=use_formula_encoder)
    x = m.create_variables("x", a=SIZE)
    i, j = m.get_indexes(["i", "j"])
    return m, x, i, j


def models(use_formula_encoder, add):
    """The assignments of x that the CNF of the constraints admits (none when a
    constraint was refused as never holding)."""
    m, x, i, j = declared(use_formula_encoder)
    try:
        add(m, x, i, j)
        m.build_cnf()
    except FormulaError:
        return set()
    mapping = m.get_var_mapping()
    numbers = [mapping.number_of(f"x[{k}]") for k in range(SIZE)]
    cases = [[n if b else -n for n, b in zip(numbers, bits)] for bits in ASSIGNMENTS]
    return {bits for bits, sat in zip(ASSIGNMENTS, satisfiable_under(m.get_cnf_storage().hard_clauses(), cases))
            if sat}


def truth(holds):
    return {bits for bits in ASSIGNMENTS if holds(bits)}


# Comparisons over three elements: (build on expressions, value on booleans).
# The last two always and never hold, so their complements are constant.
COMPARISONS = {
    "leq": (lambda a, b, c: a + 2 * b + c <= 1, lambda a, b, c: a + 2 * b + c <= 1),
    "geq": (lambda a, b, c: a + 2 * b + c >= 3, lambda a, b, c: a + 2 * b + c >= 3),
    "eq": (lambda a, b, c: a + 2 * b + c == 2, lambda a, b, c: a + 2 * b + c == 2),
    "eq negative weights": (lambda a, b, c: 2 * a - b - c == 0, lambda a, b, c: 2 * a - b - c == 0),
    "geq bound on the left": (lambda a, b, c: 1 <= a + b - c, lambda a, b, c: 1 <= a + b - c),
    "always": (lambda a, b, c: a + b + c <= 3, lambda a, b, c: True),
    "never": (lambda a, b, c: a + b + c >= 4, lambda a, b, c: False),
}

# Positions: (constraint from the comparison c on x[0..2] and x, value from
# the comparison's value h and the bits v).
POSITIONS = {
    "plain": (lambda c, x: c, lambda h, v: h),
    "negated": (lambda c, x: ~c, lambda h, v: not h),
    "twice negated": (lambda c, x: ~~c, lambda h, v: h),
    "premise": (lambda c, x: Implication(c, x[3]), lambda h, v: not h or v[3]),
    "conclusion": (lambda c, x: Implication(x[3], c), lambda h, v: not v[3] or h),
    "negated conclusion": (lambda c, x: Implication(x[3], ~c), lambda h, v: not v[3] or not h),
    "negated implication": (lambda c, x: ~Implication(c, x[3]), lambda h, v: h and not v[3]),
    "xor": (lambda c, x: c ^ x[3], lambda h, v: h != v[3]),
    "xor with itself negated": (lambda c, x: XorIt([c, ~c, x[3]]), lambda h, v: not v[3]),
    "equivalence": (lambda c, x: Equiv(c, x[3]), lambda h, v: h == v[3]),
    "negated equivalence": (lambda c, x: ~Equiv(x[3], c), lambda h, v: h != v[3]),
    "if condition": (lambda c, x: IfThenElse(c, x[3], ~x[0]), lambda h, v: v[3] if h else not v[0]),
    "if then branch": (lambda c, x: IfThenElse(x[3], c, x[0]), lambda h, v: h if v[3] else v[0]),
    "if negated else branch": (lambda c, x: IfThenElse(x[3], x[1], ~c), lambda h, v: v[1] if v[3] else not h),
    "negated and": (lambda c, x: ~(c & x[3]), lambda h, v: not (h and v[3])),
    "negated or": (lambda c, x: ~(c | x[3]), lambda h, v: not h and not v[3]),
    "or of negations": (lambda c, x: OrIt([~c, ~x[3]]), lambda h, v: not h or not v[3]),
    "negated and-it": (lambda c, x: ~AndIt([x[3], c]), lambda h, v: not (v[3] and h)),
    "xor-it": (lambda c, x: XorIt([c, x[3], x[1]]), lambda h, v: h ^ v[3] ^ v[1]),
    "nested": (lambda c, x: ~Implication(~(c ^ x[1]), x[3] | c), lambda h, v: h == v[1] and not v[3] and not h),
}


@pytest.mark.parametrize("use_formula_encoder", [True, False], ids=["encoder", "container"])
@pytest.mark.parametrize("position", POSITIONS)
@pytest.mark.parametrize("comparison", COMPARISONS)
def test_comparison_in_every_position(comparison, position, use_formula_encoder):
    build, value = COMPARISONS[comparison]
    place, meaning = POSITIONS[position]
    expected = truth(lambda v: meaning(value(v[0], v[1], v[2]), v))
    add = lambda m, x, i, j: m.add_constraint(place(build(x[0], x[1], x[2]), x))  # noqa: E731
    assert models(use_formula_encoder, add) == expected


# Comparisons over an index, under the indexed combinators and the foralls:
# (constraint, its foralls, value).
INDEXED = {
    "negated and over j": (lambda x, i, j: ~And(x[j] + 2 * x[j + 1] == 2, j=range(3)), {},
                           lambda v: not all(v[k] + 2 * v[k + 1] == 2 for k in range(3))),
    "or of negations over j": (lambda x, i, j: Or(~(x[j] + x[j + 1] >= 1), j=range(3)), {},
                               lambda v: any(not v[k] + v[k + 1] >= 1 for k in range(3))),
    "xor over j": (lambda x, i, j: Xor(x[j] - x[3] <= -1, j=[0, 1, 2]), {},
                   lambda v: sum(v[k] - v[3] <= -1 for k in range(3)) % 2 == 1),
    "negated comparison for all i": (lambda x, i, j: ~(x[i] + x[i + 1] == 1), {"i": range(3)},
                                     lambda v: all(v[k] + v[k + 1] != 1 for k in range(3))),
    "premise for all i": (lambda x, i, j: Implication(x[i] + x[i + 1] >= 2, x[3]), {"i": [0, 1]},
                          lambda v: all(not v[k] + v[k + 1] >= 2 or v[3] for k in (0, 1))),
    "if condition for all i": (lambda x, i, j: IfThenElse(x[i] + x[i + 1] <= 0, x[3], ~x[3]), {"i": [0, 2]},
                               lambda v: all((v[k] + v[k + 1] <= 0) == v[3] for k in (0, 2))),
}


@pytest.mark.parametrize("use_formula_encoder", [True, False], ids=["encoder", "container"])
@pytest.mark.parametrize("case", INDEXED)
def test_indexed_comparison(case, use_formula_encoder):
    constraint, foralls, value = INDEXED[case]
    add = lambda m, x, i, j: m.add_constraint(constraint(x, i, j), **foralls)  # noqa: E731
    assert models(use_formula_encoder, add) == truth(value)


class RandomFormula:
    """Random constraints that mix comparisons with the connectives, each
    with its value on an assignment."""

    def __init__(self, seed, x):
        self.rng, self.x = random.Random(seed), x

    def comparison(self):
        k = self.rng.randrange(2, SIZE + 1)
        chosen = self.rng.sample(range(SIZE), k)
        weights = [self.rng.choice([-2, -1, 1, 2, 3]) for _ in chosen]
        bound = self.rng.randrange(-2, 4)
        term = SumIt([w * self.x[e] for w, e in zip(weights, chosen)])
        total = lambda v: sum(w * v[e] for w, e in zip(weights, chosen))  # noqa: E731
        return self.rng.choice([
            (term <= bound, lambda v: total(v) <= bound),
            (term >= bound, lambda v: total(v) >= bound),
            (term == bound, lambda v: total(v) == bound),
        ])

    def formula(self, depth):
        r = self.rng.random()
        if depth == 0 or r < 0.15:
            e = self.rng.randrange(SIZE)
            return self.x[e], lambda v: v[e]
        if r < 0.45:
            return self.comparison()
        (a, fa), (b, fb), (c, fc) = (self.formula(depth - 1) for _ in range(3))
        return self.rng.choice([
            lambda: (~a, lambda v: not fa(v)),
            lambda: (a & b, lambda v: fa(v) and fb(v)),
            lambda: (a | b, lambda v: fa(v) or fb(v)),
            lambda: (a ^ b, lambda v: fa(v) != fb(v)),
            lambda: (Equiv(a, b), lambda v: fa(v) == fb(v)),
            lambda: (Implication(a, b), lambda v: not fa(v) or fb(v)),
            lambda: (IfThenElse(a, b, c), lambda v: fb(v) if fa(v) else fc(v)),
            lambda: (XorIt([a, b, c]), lambda v: fa(v) ^ fb(v) ^ fc(v)),
        ])()


@pytest.mark.parametrize("use_formula_encoder", [True, False], ids=["encoder", "container"])
@pytest.mark.parametrize("seed", range(40))
def test_random_formula_with_comparisons(seed, use_formula_encoder):
    values = []

    def add(m, x, i, j):
        formulas = RandomFormula(seed, x)
        for _ in range(formulas.rng.randrange(1, 3)):
            constraint, value = formulas.formula(3)
            values.append(value)
            m.add_constraint(constraint)

    found = models(use_formula_encoder, add)
    assert found == truth(lambda v: all(value(v) for value in values))


def test_witness_loop_under_a_negated_comparison_ends_at_the_optimum():
    m, x, i, j = declared(True)
    m.add_constraint(~(x[0] + 2 * x[1] + x[2] <= 1))
    m.add_constraint(Implication(x[1] + x[2] + x[3] == 2, ~x[0]) ^ x[3])
    weights = [3, 2, 2, 1]
    m.add_target(SumIt([w * x[k] for k, w in enumerate(weights)]))
    mapping_numbers = None
    values = []
    for _ in range(len(ASSIGNMENTS) + 1):
        m.build_cnf()
        if mapping_numbers is None:
            mapping = m.get_var_mapping()
            mapping_numbers = [mapping.number_of(f"x[{k}]") for k in range(SIZE)]
        with Solver(name="minisat22", bootstrap_with=m.get_cnf_storage().hard_clauses()) as solver:
            if not solver.solve():
                break
            witness = solver.get_model()
        values.append(sum(w for w, n in zip(weights, mapping_numbers) if witness[n - 1] > 0))
        m.set_witness(witness)

    def holds(v):
        return not (v[0] + 2 * v[1] + v[2] <= 1) and ((not (v[1] + v[2] + v[3] == 2) or not v[0]) != v[3])

    assert values and all(later < earlier for earlier, later in zip(values, values[1:]))
    assert values[-1] == min(sum(w for w, b in zip(weights, v) if b) for v in ASSIGNMENTS if holds(v))
