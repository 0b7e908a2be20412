"""Arithmetic on the terms of compiled linear expressions.

Linear terms map a solver column to its coefficient, quadratic terms a pair
of columns to the entry of Q. The results equal those of scipy's sparse
arithmetic on the arrays the terms stand for, entry for entry: a sum keeps
only its non-zero entries (as a sparse sum does), a multiple keeps every
entry, and Q of a product is ½(M + Mᵀ), M the outer product, summed before
it is halved.
"""
import numpy as np


def _non_zero(terms: dict) -> dict:
    return {key: value for key, value in terms.items() if value != 0} if 0 in terms.values() else terms


def added_terms(first: dict, second: dict, subtract: bool) -> dict:
    """first + second, or first - second, without zero entries."""
    result = dict(first)
    if subtract:
        for key, value in second.items():
            result[key] = result.get(key, 0) - value
    else:
        for key, value in second.items():
            result[key] = result.get(key, 0) + value
    return _non_zero(result)


def scaled_terms(terms, factor):
    return None if terms is None else {key: value * factor for key, value in terms.items()}


def negated_terms(terms):
    return None if terms is None else {key: -value for key, value in terms.items()}


def product_terms(first: dict, second: dict) -> dict:
    """Q = ½(a bᵀ + b aᵀ), so that xᵀQx = (a·x)(b·x)."""
    outer = {(i, j): a * b for i, a in first.items() for j, b in second.items() if a * b != 0}
    symmetric = {}
    for (i, j), value in outer.items():
        mirrored = outer.get((j, i))
        symmetric[i, j] = value if mirrored is None else value + mirrored
        if mirrored is None:
            symmetric[j, i] = value
    return {key: 0.5 * value for key, value in symmetric.items() if value != 0}


def quadratic_terms_of(matrix) -> dict:
    coo = matrix.tocoo()
    terms = {}
    for key in zip(coo.row.tolist(), coo.col.tolist(), coo.data.tolist()):
        terms[key[:2]] = terms.get(key[:2], 0) + key[2]
    return terms


def _values(values: list) -> np.ndarray:
    return np.array(values) if values else np.zeros(0, dtype=np.int64)


def sorted_linear_terms(terms: dict):
    """(columns, coefficients) in ascending column order."""
    columns = sorted(terms)
    return np.array(columns, dtype=np.int32), _values([terms[column] for column in columns])


def sorted_quadratic_terms(terms: dict):
    """(rows, columns, values) in row-major order."""
    keys = sorted(terms)
    rows = np.array([i for i, _ in keys], dtype=np.int32)
    columns = np.array([j for _, j in keys], dtype=np.int32)
    return rows, columns, _values([terms[key] for key in keys])


class TermSum:
    """The sum of many expressions' terms, added in place: what the host's sum()
    folds pairwise, at the cost of the terms rather than of every partial sum."""

    def __init__(self):
        self.constant = 0
        self.linear, self.height, self.expressions = {}, 0, 0
        self.quadratic, self.side, self.quadratics = None, None, 0

    def add_number(self, number):
        self.constant = self.constant + number

    def add_terms(self, constant, linear: dict, height: int, quadratic, side):
        # The first expression is added to the number before it, as `e + n`.
        self.constant = constant + self.constant if not self.expressions else self.constant + constant
        self.expressions += 1
        self.height = max(self.height, height)
        _add_into(self.linear, linear)
        if quadratic is not None:
            self.quadratics += 1
            self.quadratic = dict(quadratic) if self.quadratic is None else _add_into(self.quadratic, quadratic)
            self.side = side if self.side is None else max(self.side, side)

    def finished(self):
        """A pairwise sum drops zero entries once two operands have the part."""
        if self.expressions > 1:
            self.linear = _non_zero(self.linear)
        if self.quadratics > 1:
            self.quadratic = _non_zero(self.quadratic)
        return self


def _add_into(total: dict, terms: dict) -> dict:
    for key, value in terms.items():
        total[key] = total.get(key, 0) + value
    return total
