"""Expression texts evaluated as the pseudo-Boolean model evaluates them, with
the real core and engine, compared with the intended formula by brute force."""

import itertools

import pytest
from pysat.solvers import Minisat22

import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder.core.formulapb import FormulaPB
from tarvo_encoder.core.manager import Manager
from tarvo_encoder.core.pboperations import Sum as PBSum
from tarvo_encoder.core.variable import Variable as TemplateVariable
from tarvo_encoder.encode.expressions import (
    And,
    AndIt,
    Equiv,
    IfThenElse,
    Implication,
    One,
    Or,
    OrIt,
    Sum,
    SumIt,
    Xor,
    XorIt,
    Zero,
    pow_expression,
)
from tarvo_encoder.encode.variables import Index, Variable

N = 4
x = Variable("x", {"a": N}, 1)
i = Index("i")
ASSIGNMENTS = list(itertools.product((0, 1), repeat=N))


def evaluate(expression):
    """Evaluate the text in a namespace built like the model's: its base
    entries, then the indexes, then the generator variables."""
    manager = Manager()
    manager.registration_generator_variables("x")
    namespace = {"Sum": PBSum, "FormulaPB": FormulaPB, "bx": bx, "pb": pb, "manager": manager}
    namespace.update({"i": i})
    namespace.update(manager.name2genvar)
    value = eval(str(expression), namespace)
    if isinstance(value, TemplateVariable):
        value = value.to_bx()
    return value, manager


def literal_clauses(formula, manager):
    """The clauses of the formula's Tseytin form, each a list of literal texts."""
    cnf = formula.tseytin(manager.bx_context, "_dravo_aux")
    if isinstance(cnf, bx.One):
        return []
    if isinstance(cnf, bx.Zero):
        return [[]]
    clauses = cnf.get_args() if isinstance(cnf, bx.And) else [cnf]
    return [list(clause.get_args()) if isinstance(clause, bx.Or) else [clause] for clause in clauses]


def satisfying_assignments(formula, manager):
    clauses = literal_clauses(formula, manager)
    numbers = {f"x({k})": k + 1 for k in range(N)}

    def literal(text):
        name = text[1:] if text.startswith("~") else text
        number = numbers.setdefault(name, len(numbers) + 1)
        return -number if text.startswith("~") else number

    cnf = [[literal(str(lit)) for lit in clause] for clause in clauses]
    with Minisat22(bootstrap_with=cnf) as solver:
        return {
            values
            for values in ASSIGNMENTS
            if solver.solve(assumptions=[k + 1 if v else -(k + 1) for k, v in enumerate(values)])
        }


def intended_assignments(predicate):
    return {values for values in ASSIGNMENTS if predicate(values)}


def odd(*bits):
    return sum(bits) % 2 == 1


PB_OPERATORS = [
    (lambda: x[0] + x[1] <= 1, lambda v: v[0] + v[1] <= 1),
    (lambda: 2 * x[0] + x[1] - x[2] >= 2, lambda v: 2 * v[0] + v[1] - v[2] >= 2),
    (lambda: x[0] - (x[1] + x[2]) == 0, lambda v: v[0] - (v[1] + v[2]) == 0),
    (lambda: 3 * (x[0] + x[1]) - x[3] * 2 <= 2, lambda v: 3 * (v[0] + v[1]) - 2 * v[3] <= 2),
    (lambda: 1 <= x[2], lambda v: v[2] >= 1),
    (lambda: pow_expression(-2, 2) * x[0] + x[1] >= 4, lambda v: 4 * v[0] + v[1] >= 4),
]

BOOLEAN_OPERATORS = [
    (lambda: x[0] & x[1], lambda v: v[0] and v[1]),
    (lambda: (x[0] <= 0) | x[1], lambda v: v[0] == 0 or v[1]),
    (lambda: x[0] ^ x[1] ^ x[2], lambda v: odd(v[0], v[1], v[2])),
    (lambda: ~(x[0] | ~x[3]), lambda v: not v[0] and v[3]),
    (lambda: ~~x[1], lambda v: v[1]),
    (lambda: x[2], lambda v: v[2]),
    (lambda: One & x[0], lambda v: v[0]),
    (lambda: Zero | ~x[0], lambda v: not v[0]),
]

INDEXED = [
    (lambda: Sum(x[i], i=range(N)) == 2, lambda v: sum(v) == 2),
    (
        lambda: Sum(pow_expression(2, i) * x[i], i=range(3)) == 5,
        lambda v: v[0] + 2 * v[1] + 4 * v[2] == 5,
    ),
    (
        lambda: Sum(pow_expression(2, i + 1) * x[i], i=range(2)) >= 4,
        lambda v: 2 * v[0] + 4 * v[1] >= 4,
    ),
    (lambda: And(x[i] | x[i + 1], i=range(3)), lambda v: all(v[k] or v[k + 1] for k in range(3))),
    (lambda: Or(x[(i + 1) + 1], i=range(2)), lambda v: v[2] or v[3]),
    (lambda: And(~x[2 * (i + 1) - 1], i=range(2)), lambda v: not v[1] and not v[3]),
    (lambda: Xor(x[i], i=[0, 2, 3]), lambda v: odd(v[0], v[2], v[3])),
    (lambda: Or(x[i], i=range(0)), lambda v: False),
    (lambda: And(x[i], i=range(0)), lambda v: True),
]

ITERATED = [
    (lambda: SumIt([x[0], 2 * x[1], x[3]]) >= 3, lambda v: v[0] + 2 * v[1] + v[3] >= 3),
    (lambda: SumIt([]) <= 0, lambda v: True),
    (lambda: AndIt([x[0], ~x[1]]), lambda v: v[0] and not v[1]),
    (lambda: OrIt((x[1], x[2] & x[3])), lambda v: v[1] or (v[2] and v[3])),
    (lambda: XorIt([x[0], x[1], x[2], x[3]]), lambda v: odd(*v)),
    (lambda: AndIt([]), lambda v: True),
    (lambda: OrIt([]), lambda v: False),
]

CONNECTIVES = [
    (lambda: Equiv(x[0], x[1]), lambda v: v[0] == v[1]),
    (lambda: Equiv(x[0], x[1], x[2]), lambda v: v[0] == v[1] == v[2]),
    (lambda: Implication(x[0], x[1] & x[2]), lambda v: not v[0] or (v[1] and v[2])),
    (lambda: Implication(x[0] + x[1] >= 2, x[3]), lambda v: v[0] + v[1] < 2 or v[3]),
    (lambda: IfThenElse(x[0], x[1], ~x[2]), lambda v: v[1] if v[0] else not v[2]),
]


@pytest.mark.parametrize(
    "build, intended", PB_OPERATORS + BOOLEAN_OPERATORS + INDEXED + ITERATED + CONNECTIVES
)
def test_evaluated_text_is_the_intended_formula(build, intended):
    formula, manager = evaluate(build())
    assert satisfying_assignments(formula, manager) == intended_assignments(intended)


@pytest.mark.parametrize(
    "coefficients",
    [(3, -2, 0, 1), (1, 1, 1, 1), (-1, 0, 2, -3)],
)
@pytest.mark.parametrize("minimization", [True, False])
def test_objective_weights_price_every_assignment(coefficients, minimization):
    objective = SumIt([c * x[k] for k, c in enumerate(coefficients)])
    (literals, weights), manager = evaluate(objective.maxsat(minimization))
    literals = literals.get_args() if isinstance(literals, bx.And) else [literals]
    assert len(literals) == len(weights)

    def cost(values):
        # a soft literal costs its weight when the assignment falsifies it
        total = 0
        for lit, weight in zip(literals, weights):
            text = str(lit)
            value = values[int(text.lstrip("~")[2:-1])]
            total += weight if (value == 1) == text.startswith("~") else 0
        return total

    sign = 1 if minimization else -1
    offsets = {
        cost(v) - sign * sum(c * b for c, b in zip(coefficients, v)) for v in ASSIGNMENTS
    }
    assert len(offsets) == 1
