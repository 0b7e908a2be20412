"""The numbers that the linear models take into an expression: the solver
holds finite floats only, and a NaN or an infinity taken into a coefficient
or a constant would surface later as another fault (a NaN row bound, a text
that does not evaluate), far from the operation that brought it in. A row
bound may be infinite, which leaves its side free, but never NaN."""
import math
from numbers import Integral, Real

import numpy as np

from ._logged_errors import raise_logged

NOT_FINITE_NUMBER = "The coefficients and constants of an expression must be finite numbers, not {}"
NOT_FINITE_WEIGHT = "The weights of a row set must be finite numbers, not {} (row {})"
BAD_BOUND = "The {} bound of a constraint must not be {}"
NAN_BOUNDS = "The {} bounds of a row set must not be nan (row {})"


def _shown(value) -> str:
    if isinstance(value, Integral) and not isinstance(value, bool):
        # The digits of an integer beyond every float would be too many to read (or to print).
        return f"an integer of {int(value).bit_length()} bits"
    return repr(float(value))


def _is_finite(value) -> bool:
    try:
        return math.isfinite(value)
    except OverflowError:  # an integer beyond every float
        return False


def require_finite(value) -> None:
    """Refuse a coefficient or constant that is not a finite number, logged."""
    if not _is_finite(value):
        raise_logged(ValueError, NOT_FINITE_NUMBER.format(_shown(value)))


def require_finite_weights(weights: np.ndarray) -> None:
    """Refuse a weight vector that holds a value which is not a finite number, logged."""
    weights = np.asarray(weights)
    if np.issubdtype(weights.dtype, np.inexact):
        bad = np.flatnonzero(~np.isfinite(weights))
        if bad.size:
            raise_logged(ValueError, NOT_FINITE_WEIGHT.format(repr(weights.flat[bad[0]].item()), bad[0]))


def require_bound(bound, side: str) -> None:
    """Refuse a row bound that is NaN or an integer beyond every float, logged; None and
    an infinity leave the side free."""
    if isinstance(bound, Integral):
        refused = not _is_finite(bound)
    else:
        refused = isinstance(bound, Real) and math.isnan(bound)
    if refused:
        raise_logged(ValueError, BAD_BOUND.format(side, _shown(bound)))


def require_bounds(bounds, side: str) -> None:
    """Refuse row set bounds (None, a scalar, or one per row) that hold a NaN, logged."""
    if bounds is None:
        return
    values = np.asarray(bounds)
    if not np.issubdtype(values.dtype, np.inexact):
        return
    bad = np.flatnonzero(np.isnan(values))
    if bad.size:
        raise_logged(ValueError, NAN_BOUNDS.format(side, bad[0]))
