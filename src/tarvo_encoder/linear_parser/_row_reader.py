"""The one-pass road for formula text (see cpp/kernels/linear_rows.hpp).

A row of a thousand terms costs the host's parser, the node check and the
compiler tens of microseconds a term before its evaluation starts; the
native reader reads the texts that the operators and sum combinators write
(numbers, elements, +, -, *, CompiledSum of a list or over for clauses) in
one pass and computes each row as the evaluation would, value for value.
Any other text returns None and goes the reference road, the checked
evaluation in the linear model, which also reports every fault.
"""
import typing as tp

import numpy as np

from .. import _native
from .compiled_linear_expressions import CompiledLinearExpression

_road = {"on": True}

# (constant, columns, coefficients) of one row, as the evaluation's expression gives them.
Row = tp.Tuple[tp.Any, np.ndarray, np.ndarray]


def set_row_reader(on: bool) -> None:
    """With False, every text takes the checked evaluation (for tests comparing the roads)."""
    _road["on"] = bool(on)


def _array(buffer, dtype) -> tp.Optional[np.ndarray]:
    return None if buffer is None else np.frombuffer(buffer, dtype=dtype)


def _read(text: str, fors: str, blocks: dict):
    if not _road["on"]:
        return None
    read = _native.read_linear_rows(text, fors, blocks)
    if read is None:
        return None
    constants, ends, columns, integers, reals, integral, height = read
    return (constants, _array(ends, np.int64).tolist(), _array(columns, np.int32), _array(integers, np.int64),
            _array(reals, np.float64), integral, height)


def read_rows(text: str, fors: str, blocks: dict) -> tp.Optional[tp.List[Row]]:
    """The rows of `text` over the for clauses `fors`, or None for the reference road.
    `blocks` maps each variable name to (first column, sizes, strides)."""
    read = _read(text, fors, blocks)
    if read is None:
        return None
    constants, ends, columns, integers, reals, integral, _ = read
    rows, start = [], 0
    for constant, end, ints in zip(constants, ends, integral):
        rows.append((constant, columns[start:end], (integers if ints else reals)[start:end]))
        start = end
    return rows


def read_expression(text: str, blocks: dict) -> tp.Optional[CompiledLinearExpression]:
    """The linear expression of `text`, or None for the reference road."""
    read = _read(text, "", blocks)
    if read is None:
        return None
    constants, _, columns, integers, reals, integral, height = read
    values = integers if integral[0] else reals
    return CompiledLinearExpression._of_sorted_terms(constants[0], columns, values, height)
