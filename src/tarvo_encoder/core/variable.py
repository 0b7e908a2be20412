from numbers import Integral

import velmont.corvane_engine.dravo as bx

from .._logged_errors import refuse_type as _refuse
from .pboperations import PBVariable


class GeneratorVariable:
    def __init__(self, name: str, manager) -> None:
        self.name = name
        self.manager = manager

    def __call__(self, *items):
        # The name is the variable reference text itself, so the container
        # can evaluate it again with concrete index values.
        name = self.name + "(" + ",".join(str(item) for item in items) + ")"
        bx_var, pb_var = self.manager.add_variable(name)
        return Variable(bx_var, pb_var, name)


class Variable:
    def __init__(self, bx_var: bx.Variable, pb_var: int, name: str) -> None:
        self.bx_var = bx_var
        self.pb_var = pb_var
        self.name = name

    def to_bx(self):
        return self.bx_var

    def to_pb(self):
        return PBVariable(self.pb_var, self.name)

    def __mul__(self, factor):
        # The text of a reference times a coefficient expression, x(i) * (2 ** i),
        # puts the reference first; the product is the term with that factor.
        if not isinstance(factor, Integral):
            _refuse("A product of " + self.name + " needs an integer factor, not a "
                    + type(factor).__name__ + ": a product of two terms is not pseudo-Boolean")
        return factor * self.to_pb()
