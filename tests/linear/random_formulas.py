"""Random formulas of the text linear model, written by its operators and sum
combinators: the inputs of the tests that compare a fast road with the
reference road it stands beside."""
from tarvo_encoder.linear_parser import Sum, SumIt, VariableType

NUMBERS = [0, 1, -1, 2, 3, -7, 12, 0.0, -0.0, 0.5, -2.25, 1e-05, 0.1, 3.0]
# Now and then: past what the engine takes as a value or a bound, or what 53 bits hold.
LARGE_NUMBERS = [2 ** 40 + 1, 1.5e+15, -1e-300, 7.0e22]
INDEX_VALUES = {"i": range(3), "j": [0, 2], "k": range(1, 4, 2)}


def declared(model):
    x = model.get_variables("x", VariableType.REAL, -5.0, 5.0, a=5, b=4)
    y = model.get_variables("y", VariableType.INTEGER, -3, 3, c=5)
    z = model.get_variables("z", VariableType.REAL, 0.0, 1.0)
    indexes = dict(zip("ijk", model.get_indexes(["i", "j", "k"])))
    return {"x": x, "y": y, "z": z}, indexes


class Writer:
    """Random expressions over x[5, 4], y[5], z and the indexes bound around them."""

    def __init__(self, rng, variables, indexes):
        self.rng, self.indexes = rng, indexes
        self.x, self.y, self.z = variables["x"], variables["y"], variables["z"]

    def number(self):
        return self.rng.choice(NUMBERS if self.rng.random() < 0.9 else LARGE_NUMBERS)

    def subscript(self, bound, size):
        rng = self.rng
        if bound and rng.random() < 0.6:
            index = self.indexes[rng.choice(bound)]
            # Shifted or scaled indexes now and then leave the block: both roads must refuse alike.
            return rng.choice([index] * 6 + [index + 1, 2 * index, index - 1])
        return rng.randrange(size + (rng.random() < 0.02))

    def element(self, bound):
        kind = self.rng.randrange(5)
        if kind == 0:
            return self.z[()]
        if kind <= 2:
            return self.y[self.subscript(bound, 5)]
        return self.x[self.subscript(bound, 5), self.subscript(bound, 4)]

    def term(self, bound, depth=0):
        rng = self.rng
        form = rng.randrange(14 if depth < 3 else 3)
        if form == 0:
            return self.element(bound)
        if form == 1:
            return self.number() * self.element(bound)
        if form == 2:
            return self.element(bound) * self.number()
        if form in (3, 4):
            terms = [self.term(bound, depth + 1) for _ in range(rng.randrange(1, 6))]
            return SumIt(terms + rng.sample(terms, rng.randrange(len(terms) + 1)))  # repeated elements too
        if form == 5:
            free = [name for name in INDEX_VALUES if name not in bound]
            if not free:
                return self.element(bound)
            name = rng.choice(free)
            return Sum(self.term(bound + [name], depth + 1), **{name: INDEX_VALUES[name]})
        left = self.term(bound, depth + 1)
        if form == 6:
            return left + self.term(bound, depth + 1)
        if form == 7:
            return left - self.term(bound, depth + 1)
        if form == 8:
            return left + self.number() if rng.random() < 0.5 else self.number() + left
        if form == 9:
            return left - self.number() if rng.random() < 0.5 else self.number() - left
        if form == 10:
            return self.number() * left
        if form == 11:
            return -left
        if form == 12:
            return +left
        return left * self.number()

    def constraint(self):
        """(expression, keyword arguments of add_constraint)."""
        rng = self.rng
        bound = rng.sample(list(INDEX_VALUES), rng.randrange(3))
        expression = self.term(bound)
        foralls = {name: INDEX_VALUES[name] for name in bound}
        form, n = rng.randrange(7), self.number()
        if form == 0:
            return expression <= n, foralls
        if form == 1:
            return expression >= n, foralls
        if form == 2:
            return expression == n, foralls
        if form == 3:
            return expression, {**foralls, rng.choice(["lo", "hi", "eq"]): n}
        if form == 4:
            return expression <= n, {**foralls, "lo": self.number()}
        if form == 5:
            return expression == n, {**foralls, "eq": n}  # refused: the borders are given twice
        return expression, foralls
