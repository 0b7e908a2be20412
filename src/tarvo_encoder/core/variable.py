from numbers import Integral

import velmont.corvane_engine.dravo as bx

from .._logged_errors import refuse_type as _refuse
from .pboperations import PBVariable


class GeneratorVariable:
    def __init__(self, name: str, manager, declared=None) -> None:
        self.name = name
        self.manager = manager
        # The declared variable (encode.variables.Variable), which refuses a
        # reference that names none of its elements, and its sizes; None
        # checks nothing.
        self.declared = declared
        self._sizes = None if declared is None else tuple(declared.indexes.values())

    def __call__(self, *items):
        sizes = self._sizes
        if sizes is not None:
            # Here, not only in the expansion: a reference that a constant
            # formula or a weight of 0 drops would never reach the expansion.
            # Written out, since every reference evaluated passes here.
            if len(items) != len(sizes):
                self.declared.check_reference(items)
            for item, size in zip(items, sizes):
                if type(item) is int and not 0 <= item < size:
                    self.declared.check_reference(items)
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
