"""The value of a compiled linear expression at a point, read through its public properties."""
import numpy as np


def value(expression, point):
    """constant + a·x + xᵀQx, Q read back from the Hessian (2Q)."""
    point = np.asarray(point, dtype=float)
    linear = np.zeros(len(point))
    np.add.at(linear, expression.linear_coefficients_indexes, expression.linear_coefficients)
    total = expression.constant + linear @ point
    hessian = expression.quadratic_coefficients
    if hessian is not None:
        dense = np.zeros((len(point), len(point)))
        dense[:hessian.shape[0], :hessian.shape[1]] = hessian.toarray()
        total += point @ dense @ point / 2
    return total
