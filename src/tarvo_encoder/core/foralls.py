"""Checked snapshots of the foralls of a formula.

The values of the foralls are pasted as text into the expansion that the
dumper evaluates, so only names and values whose text is plain Python may
get there: identifiers as keys, and a range or a list of ints as values.
"""

import numbers
import typing as tp
from collections.abc import Sequence
from functools import reduce
from operator import mul

import numpy as np

from .._exceptions import VariableError
from .._logged_errors import raise_logged as _raise_logged, refuse_type as _refuse
from .._text_rules import is_loop_name as _is_loop_name, is_nfkc as _is_nfkc, nfkc_message as _nfkc_message

Foralls = tp.Dict[str, tp.Sequence[int]]

# The most instances one formula may have. DIMACS solvers number variables
# in signed 32 bits, and a model beyond it would not fit in memory anyway;
# the engine's formula encoder holds the same limit.
MAX_INSTANCES = 2**31 - 1


def snapshot_foralls(foralls: Foralls) -> Foralls:
    """A new dict with the same keys in the same order and each value as a range
    or a new list of ints, so that later changes by the caller do not reach it."""
    check_forall_names(foralls)
    snapshot = {}
    for key, values in foralls.items():
        snapshot[key] = values if isinstance(values, range) else _int_list(key, values)
    return snapshot


def formula_foralls(foralls: Foralls) -> Foralls:
    """The snapshot of a formula's foralls, refused with a ValueError when they
    make more instances than a formula may have, before anything is built."""
    snapshot = snapshot_foralls(foralls)
    instances = count_instances(snapshot)
    if instances > MAX_INSTANCES:
        _raise_logged(ValueError, f"The foralls make {instances} instances; a formula has at most {MAX_INSTANCES}")
    return snapshot


def count_instances(foralls: Foralls) -> int:
    if not foralls:  # most formulas have none: spare the reduction on every add
        return 1
    return reduce(mul, (_length(values) for values in foralls.values()), 1)


def _length(values) -> int:
    if isinstance(values, range):  # len() refuses one beyond sys.maxsize
        step = values.step
        return max(0, (values.stop - values.start + step - (1 if step > 0 else -1)) // step)
    return len(values)


def check_forall_names(foralls: Foralls) -> None:
    for key in foralls:
        if not _is_loop_name(key):
            _refuse(f"Forall name {key!r} is not an identifier")
        if not _is_nfkc(key):
            # The evaluation would bind the folded name, not this one.
            _raise_logged(VariableError, _nfkc_message("Forall", key))


def _int_list(key: str, values) -> tp.List[int]:
    if isinstance(values, np.ndarray) and values.ndim == 1:
        values = values.tolist()
    elif not isinstance(values, Sequence) or isinstance(values, (str, bytes, bytearray)):
        _refuse(f"Forall '{key}' must be a range or a sequence of ints, not {type(values).__name__}")
    for value in values:
        if not isinstance(value, (numbers.Integral, np.bool_)):
            _refuse(f"Forall '{key}' holds {value!r} of type {type(value).__name__}, which is not an int")
    return [int(value) for value in values]
