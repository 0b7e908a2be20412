"""Independent truth for the formula encoder's tests: a direct Python
evaluation of expression text over one assignment, a writer of random
texts in the expression language's forms, and projection of CNF models
onto the declared elements with a SAT solver."""

import itertools
import random
import types

from pysat.solvers import Solver

# Declared variables of the random models: name -> sizes.
DECLARED = {"x": [3], "y": [2, 2]}


def element_numbers(declared=DECLARED):
    """Element name -> number, row-major from 1 in declaration order."""
    numbers, nxt = {}, 1
    for name, sizes in declared.items():
        for idx in itertools.product(*[range(s) for s in sizes]):
            numbers[(name, idx)] = nxt
            nxt += 1
    return numbers


class _Bool:
    __slots__ = ("v",)

    def __init__(self, v):
        self.v = bool(v)

    def __invert__(self):
        return _Bool(not self.v)


class _Ref:
    def __init__(self, value):
        self.value = value

    def to_pb(self):
        return int(self.value)

    def to_bx(self):
        return _Bool(self.value)

    def __mul__(self, factor):  # x(i) * (2 ** i): a reference times a coefficient expression
        return int(self.value) * factor


class _Comparison:
    def __init__(self, total, comparator, bound):
        self.total, self.comparator, self.bound = total, comparator, bound

    def to_bx(self, manager):
        ok = {"LEQ": self.total <= self.bound, "GEQ": self.total >= self.bound,
              "BOTH": self.total == self.bound}[self.comparator]
        return _Bool(ok)


def reference_namespace(value_of):
    """Namespace in which expression text evaluates to a _Bool or an int
    for the assignment value_of[(name, index tuple)] -> bool."""
    def generator(name, sizes):
        def call(*idx):
            if len(idx) != len(sizes) or any(not 0 <= k < s for k, s in zip(idx, sizes)):
                raise IndexError(f"{name}{idx}")
            return _Ref(value_of[(name, idx)])
        return call

    bx = types.SimpleNamespace(
        and_s=lambda items: _Bool(all(b.v for b in items)),
        or_s=lambda items: _Bool(any(b.v for b in items)),
        xor_s=lambda items: _Bool(sum(b.v for b in items) % 2 == 1),
        eq_s=lambda items: _Bool(len({b.v for b in items}) <= 1),
        impl_s=lambda a, b: _Bool((not a.v) or b.v),
        ite_s=lambda c, t, e: t if c.v else e,
        one=lambda: _Bool(True),
        zero=lambda: _Bool(False),
    )
    pb = types.SimpleNamespace(Comparator_type=types.SimpleNamespace(LEQ="LEQ", GEQ="GEQ", BOTH="BOTH"))
    ns = {"bx": bx, "pb": pb, "manager": None, "Sum": lambda *terms: sum(terms),
          "FormulaPB": _Comparison}
    ns.update({name: generator(name, sizes) for name, sizes in DECLARED.items()})
    return ns


def evaluate(text, value_of, bindings=None):
    """Value of the text: a bool for a formula, an int for a sum."""
    result = eval(text, reference_namespace(value_of) | (bindings or {}))
    return result.v if isinstance(result, _Bool) else result


def assignments(numbers):
    """Every assignment of the elements: (value_of, list of literals)."""
    keys = list(numbers)
    for bits in itertools.product([False, True], repeat=len(keys)):
        value_of = dict(zip(keys, bits))
        yield value_of, [numbers[k] if b else -numbers[k] for k, b in zip(keys, bits)]


def satisfiable_under(clauses, assumptions_list):
    """For each list of assumptions: whether the clauses are satisfiable."""
    with Solver(name="minisat22", bootstrap_with=clauses) as solver:
        return [solver.solve(assumptions=a) for a in assumptions_list]


class TextWriter:
    """Random texts in the forms the expression language writes, over
    DECLARED, with the forall index i in range(0, 2) free."""

    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.loop = 0

    def index(self, size, bound):
        """Index text valid for a dimension of this size."""
        choices = [str(self.rng.randrange(size))]
        for name, values in bound:
            if max(values) < size:
                choices.append(name)
            if max(values) + 1 < size:
                choices.append(f"{name} + 1")
            if min(values) >= 1 and max(values) - 1 < size:
                choices.append(f"{name} - 1")
        return self.rng.choice(choices)

    def ref(self, bound):
        name = self.rng.choice(list(DECLARED))
        return f"{name}(" + ",".join(self.index(s, bound) for s in DECLARED[name]) + ")"

    def loop_name(self):
        self.loop += 1
        return f"j{self.loop}"

    def pb(self, depth, bound):
        r = self.rng.random()
        if depth <= 0 or r < 0.3:
            return self.ref(bound) + ".to_pb()"
        if r < 0.45:
            return f"{self.pb(depth - 1, bound)} + {self.pb(depth - 1, bound)}"
        if r < 0.55:
            return f"{self.pb(depth - 1, bound)} - ({self.pb(depth - 1, bound)})"
        if r < 0.7:
            factor = self.rng.choice([-2, -1, 0, 2, 3])
            if self.rng.random() < 0.6:
                return f"{factor} * ({self.pb(depth - 1, bound)})"
            # A coefficient expression on the right, as e * pow_expression(...) writes it.
            left = self.ref(bound) if self.rng.random() < 0.4 else f"({self.pb(depth - 1, bound)})"
            return f"{left} * ({factor})"
        if r < 0.85:
            j = self.loop_name()
            inner = bound + [(j, [0, 1])]
            element = self.pb(depth - 1, inner)
            if self.rng.random() < 0.3:
                element = f"2 ** {j} * ({element})"
            return f"Sum(*[{element} for {j} in range(0, 2)])"
        items = [self.pb(depth - 1, bound) for _ in range(self.rng.randrange(0, 3))]
        return "Sum(*[" + ", ".join(items) + "])"

    def boolean(self, depth, bound):
        r = self.rng.random()
        if depth <= 0 or r < 0.2:
            return self.ref(bound) + ".to_bx()"
        if r < 0.4:
            comparator = self.rng.choice(["LEQ", "GEQ", "BOTH"])
            return (f"FormulaPB({self.pb(depth - 1, bound)}, pb.Comparator_type.{comparator}, "
                    f"{self.rng.randrange(-2, 5)}).to_bx(manager)")
        if r < 0.5:
            return f"~({self.boolean(depth - 1, bound)})"
        if r < 0.75:
            fn = self.rng.choice(["and_s", "or_s", "xor_s", "eq_s"])
            if self.rng.random() < 0.4:
                j = self.loop_name()
                element = self.boolean(depth - 1, bound + [(j, [0, 1])])
                return f"bx.{fn}([{element} for {j} in [0, 1]])"
            items = [self.boolean(depth - 1, bound) for _ in range(self.rng.randrange(0, 4))]
            return f"bx.{fn}([" + ", ".join(items) + "])"
        if r < 0.85:
            return f"bx.impl_s({self.boolean(depth - 1, bound)}, {self.boolean(depth - 1, bound)})"
        if r < 0.95:
            args = ", ".join(self.boolean(depth - 1, bound) for _ in range(3))
            return f"bx.ite_s({args})"
        return self.rng.choice(["bx.one()", "bx.zero()"])
