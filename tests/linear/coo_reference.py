"""The reference road of compiled linear expressions: their arithmetic as
scipy's sparse arrays do it, a linear column of shape (n, 1) in coordinate
form and Q as ½(a bᵀ + b aᵀ). The library holds terms instead; the
differential tests compare the two entry for entry."""
import numpy as np
from scipy.sparse import coo_array


def _resized_copies(first, second):
    shape = tuple(int(size) for size in np.maximum(first.shape, second.shape))
    first, second = first.copy(), second.copy()
    first.resize(shape)
    second.resize(shape)
    return first, second


def _copy(matrix):
    return None if matrix is None else matrix.copy()


class CooExpression:
    def __init__(self, linear, constant=0, quadratic=None):
        self.constant, self.linear, self.quadratic = constant, linear.tocoo(), quadratic

    @classmethod
    def variable(cls, column):
        return cls(coo_array(([1], ([column], [0]))))

    def __pos__(self):
        return CooExpression(self.linear.copy(), +self.constant,
                             _copy(self.quadratic))

    def __neg__(self):
        return CooExpression((-self.linear.copy()).tocoo(), -self.constant,
                             None if self.quadratic is None else -self.quadratic.copy())

    def __add__(self, other):
        return self._combine(other, False)

    __radd__ = __add__

    def __sub__(self, other):
        return self._combine(other, True)

    def _combine(self, other, subtract):
        if isinstance(other, CooExpression):
            first, second = _resized_copies(self.linear, other.linear)
            linear = (first - second if subtract else first + second).tocoo()
            mine, theirs = self.quadratic, other.quadratic
            if mine is not None and theirs is not None:
                first, second = _resized_copies(mine, theirs)
                quadratic = (first - second if subtract else first + second).tocoo()
            elif theirs is not None:
                quadratic = -theirs.copy() if subtract else theirs.copy()
            else:
                quadratic = _copy(mine)
            constant = self.constant - other.constant if subtract else self.constant + other.constant
            return CooExpression(linear, constant, quadratic)
        constant = self.constant - other if subtract else self.constant + other
        return CooExpression(self.linear.copy(), constant, _copy(self.quadratic))

    def __mul__(self, other):
        if not isinstance(other, CooExpression):
            return CooExpression(other * self.linear, other * self.constant,
                                 None if self.quadratic is None else other * self.quadratic)
        assert self.quadratic is None and other.quadratic is None
        a, b = _resized_copies(self.linear, other.linear)
        c1, c2 = self.constant, other.constant
        return CooExpression((c2 * a + c1 * b).tocoo(), c2 * c1, (0.5 * (a @ b.T + b @ a.T)).tocoo())

    __rmul__ = __mul__

    @property
    def hessian(self):
        return None if self.quadratic is None else 2 * self.quadratic.tocsc(copy=True)
