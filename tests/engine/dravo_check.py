"""Independent truth for the dravo tests: an evaluator of expression nodes,
random formulas paired with a plain-Python meaning, and a SAT check of CNF."""

import itertools
import random

from pysat.solvers import Minisat22

import velmont.corvane_engine.dravo as bx


def _value(node, operands, values):
    if isinstance(node, bx.Zero):
        return False
    if isinstance(node, bx.One):
        return True
    if isinstance(node, bx.Variable):
        return values[str(node)]
    if isinstance(node, bx.Not):
        return not operands[0]
    if isinstance(node, bx.And):
        return all(operands)
    if isinstance(node, bx.Or):
        return any(operands)
    if isinstance(node, bx.Xor):
        return sum(operands) % 2 == 1
    if isinstance(node, bx.Eq):
        return len(set(operands)) <= 1
    if isinstance(node, bx.Impl):
        return not operands[0] or operands[1]
    if isinstance(node, bx.Ite):
        return operands[1] if operands[0] else operands[2]
    raise AssertionError(f"unknown node type {type(node)}")


def evaluate(expr, values):
    """Truth value of `expr` under `values` (name -> bool); iterative, so
    deep formulas are fine, and memoised per node."""
    memo = {}
    stack = [expr]
    while stack:
        node = stack[-1]
        if node in memo:
            stack.pop()
            continue
        args = node.get_args()
        pending = [a for a in args if a not in memo]
        if pending:
            stack.extend(pending)
            continue
        stack.pop()
        memo[node] = _value(node, [memo[a] for a in args], values)
    return memo[expr]


def assignments(names):
    for bits in itertools.product([False, True], repeat=len(names)):
        yield dict(zip(names, bits))


def is_literal(e):
    return isinstance(e, bx.Variable) or (isinstance(e, bx.Not) and isinstance(e.get_args()[0], bx.Variable))


def is_flat_cnf(e):
    """One of: One, Zero, a literal, an Or of literals, an And of clauses."""
    def is_clause(c):
        return is_literal(c) or (isinstance(c, bx.Or) and len(c.get_args()) >= 2 and all(map(is_literal, c.get_args())))

    if isinstance(e, (bx.One, bx.Zero)) or is_clause(e):
        return True
    return isinstance(e, bx.And) and len(e.get_args()) >= 2 and all(map(is_clause, e.get_args()))


def clause_lists(cnf, number):
    """The clauses of a flat CNF result as lists of signed ints."""
    if isinstance(cnf, bx.One):
        return []
    if isinstance(cnf, bx.Zero):
        return [[]]
    clauses = cnf.get_args() if isinstance(cnf, bx.And) else [cnf]

    def lit(e):
        return -number[str(e.get_args()[0])] if isinstance(e, bx.Not) else number[str(e)]

    return [[lit(l) for l in (c.get_args() if isinstance(c, bx.Or) else [c])] for c in clauses]


class CnfOracle:
    """Satisfiability of a flat CNF with some of its variables fixed."""

    def __init__(self, cnf):
        names = [str(v) for v in cnf.support()]
        self.number = {name: i + 1 for i, name in enumerate(names)}
        clauses = clause_lists(cnf, self.number)
        self.unsat = [] in clauses
        self.solver = Minisat22(bootstrap_with=[c for c in clauses if c])

    def satisfiable(self, values):
        if self.unsat:
            return False
        assumptions = [self.number[n] if v else -self.number[n] for n, v in values.items() if n in self.number]
        return self.solver.solve(assumptions=assumptions)

    def close(self):
        self.solver.delete()


class RandomFormulas:
    """Random formulas built with the dravo constructors, each paired with
    its meaning as a plain Python function of an assignment. Earlier
    subformulas are reused now and then, so the results share nodes."""

    def __init__(self, seed, context, names):
        self.rng = random.Random(seed)
        self.names = names
        self.vars = {n: context.get_var(n) for n in names}
        self.pool = []

    def formula(self, depth):
        rng = self.rng
        if self.pool and rng.random() < 0.15:
            return rng.choice(self.pool)
        if depth == 0 or rng.random() < 0.1:
            roll = rng.random()
            if roll < 0.04:
                return bx.one(), lambda v: True
            if roll < 0.08:
                return bx.zero(), lambda v: False
            name = rng.choice(self.names)
            return self.vars[name], lambda v, n=name: v[n]
        op = rng.choice(["and", "or", "xor", "eq", "impl", "ite", "not", "plain_and"])
        if op in ("and", "or", "xor", "eq", "plain_and"):
            parts = [self.formula(depth - 1) for _ in range(rng.choice([0, 1, 2, 2, 3, 3, 4]))]
            exprs = [p[0] for p in parts]
            fns = [p[1] for p in parts]
            built = {
                "and": (bx.and_s, lambda v: all(f(v) for f in fns)),
                "plain_and": (bx.and_, lambda v: all(f(v) for f in fns)),
                "or": (bx.or_s, lambda v: any(f(v) for f in fns)),
                "xor": (bx.xor_s, lambda v: sum(f(v) for f in fns) % 2 == 1),
                "eq": (bx.eq_s, lambda v: len({f(v) for f in fns}) <= 1),
            }[op]
            result = built[0](exprs), built[1]
        elif op == "impl":
            (a, fa), (b, fb) = self.formula(depth - 1), self.formula(depth - 1)
            result = bx.impl_s(a, b), lambda v: not fa(v) or fb(v)
        elif op == "ite":
            (c, fc), (t, ft), (e, fe) = (self.formula(depth - 1) for _ in range(3))
            result = bx.ite_s(c, t, e), lambda v: ft(v) if fc(v) else fe(v)
        else:
            a, fa = self.formula(depth - 1)
            result = ~a, lambda v: not fa(v)
        self.pool.append(result)
        return result
