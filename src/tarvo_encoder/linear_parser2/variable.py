"""Variable arrays of the array linear model and the rows that indexing makes."""
import os
from numbers import Integral
from typing import Optional, Sequence, Union

import numpy as np
from scipy.sparse import csr_array

from tarvo_encoder._logged_errors import raise_logged as _raise_logged
from tarvo_encoder.linear_parser2._expression import ColumnsOwner, LinearExpression, LinearExpressionsArr
from tarvo_encoder.linear_parser2._sparse_part import Entries, SparsePart

DEBUG = bool(os.environ.get("DEBUG_SOLVER_MODE", False))

_IndexType = Union[Integral, np.integer, slice]


def _is_integer(value) -> bool:
    return isinstance(value, (Integral, np.integer))


class VariableArray:
    """Multidimensional array of task variables"""

    # Columns created by every array model of the process: the width of every row built by indexing.
    _total_created_variables: int = 0

    def __init__(
        self,
        name: str,
        shape: Sequence[int],
        lower_bound: float,
        upper_bound: float,
        type_var: type,
        shift: int = 0,
        *,
        owner: Optional[ColumnsOwner] = None,
    ) -> None:
        self._name = name
        self._shape = shape
        # An integer also for the empty shape, whose product numpy gives as the float 1.0.
        self._count_elems = np.prod(shape, dtype=np.int64)
        self._lower_bound = lower_bound
        self._type = type_var
        self._upper_bound = upper_bound
        self._shift = shift
        # The token of the model whose columns these are; every expression made by
        # indexing carries it, so that no other model takes the expression.
        self._owner = owner

    @property
    def shape(self) -> Sequence[int]:
        """The sizes of the dimensions, in declaration order; () without dimensions."""
        return tuple(self._shape)

    @property
    def lower_bound(self) -> float:
        """The lower bound of every element (0 for a binary variable)."""
        return self._lower_bound

    @property
    def upper_bound(self) -> float:
        """The upper bound of every element (1 for a binary variable)."""
        return self._upper_bound

    @property
    def name(self) -> str:
        """The name given to `get_variable`."""
        return self._name

    @property
    def type(self) -> type:
        """The numpy type of the values `get_result` returns: np.int32 or np.float64."""
        return self._type

    def _map(self) -> np.ndarray:
        return np.arange(self._shift, self._shift + self._count_elems, dtype="int32")

    def __getitem__(
        self, item: Union[_IndexType, list, np.ndarray, Sequence[_IndexType]]
    ) -> Union[LinearExpression, LinearExpressionsArr]:
        """Elements as expressions with coefficient 1: one integer per dimension gives a single row
        (`x[1, 2]`); a slice in any dimension (`x[0, :]`), a list or numpy array of flat indexes
        (C order), or a boolean mask of the array's shape gives a row set, one row per element.
        One integer or slice alone needs a one-dimensional array."""
        if _is_integer(item):
            self.__require_one_dimension()
            self.__require_position(item, self._count_elems)
            return self.__row(np.array([item], dtype=np.int64))
        if isinstance(item, slice):
            self.__require_one_dimension()
            return self.__rows(self.__slice_positions(item, self._shape[0]))
        if isinstance(item, (list, np.ndarray)):
            return self.__rows(self.__flat_positions(item))
        if isinstance(item, tuple):
            return self.__multi_index(item)
        _raise_logged(IndexError, f"Undefined type {type(item)} for indexing")

    def __iter__(self):
        # Without this the host would subscript 0, 1, 2, ... until an index is refused.
        self.__refuse_iteration()

    def __contains__(self, item) -> bool:
        self.__refuse_iteration()

    def __refuse_iteration(self) -> None:
        every_element = ", ".join([":"] * len(self._shape)) or "()"
        _raise_logged(
            TypeError,
            f"Variable '{self._name}' cannot be iterated; select its elements by indexing, as in {self._name}[{every_element}]",
        )

    # Checked with or without the debug flag: on an array of several dimensions one
    # integer or slice would count flat positions and name other elements.
    def __require_one_dimension(self) -> None:
        if len(self._shape) != 1:
            _raise_logged(IndexError, "Variable can only have one index")

    # Range checks run with or without the debug flag: a position outside the
    # array would silently name a column of another variable.
    @staticmethod
    def __require_position(position, size) -> None:
        if position < 0 or position >= size:
            _raise_logged(IndexError, f"{position} is not a valid index")

    @staticmethod
    def __slice_positions(item: slice, size) -> np.ndarray:
        start, stop, stride = item.indices(size)
        if DEBUG and (start < 0 or stop > size):
            _raise_logged(IndexError, f"{item} is not a valid index")
        return np.arange(start, stop, stride, dtype=np.int32)

    def __flat_positions(self, item) -> np.ndarray:
        if isinstance(item, np.ndarray) and item.dtype == np.bool_ and item.shape == self.shape:
            return np.flatnonzero(item)
        positions = item if isinstance(item, np.ndarray) else self.__list_positions(item)
        if (
            not np.issubdtype(positions.dtype, np.integer)
            or positions.ndim != 1
            or (positions.size and (positions.min() < 0 or positions.max() >= self._count_elems))
        ):
            _raise_logged(IndexError, f"{item} is not a valid index")
        return positions

    @staticmethod
    def __list_positions(item: list) -> np.ndarray:
        try:
            return np.int32(item)
        except OverflowError:  # an entry beyond 32 bits is out of range like any other
            _raise_logged(IndexError, f"{item} is not a valid index")

    def __multi_index(self, item: tuple) -> Union[LinearExpression, LinearExpressionsArr]:
        # Checked always: pairing entries with too few or too many sizes has no meaning.
        if len(item) != len(self._shape):
            _raise_logged(
                IndexError,
                f"The dimension of the variable is {len(self._shape)}, but {len(item)} dimensions are obtained.",
            )
        per_dimension = []
        for entry, size in zip(item, self._shape):
            if _is_integer(entry):
                self.__require_position(entry, size)
                per_dimension.append(np.array([entry], dtype=np.int64))
            elif isinstance(entry, slice):
                per_dimension.append(self.__slice_positions(entry, size))
            else:
                raise ValueError(f"Unsupported index type for multiindex: {type(entry)}")
        if not per_dimension:
            return self.__row(np.zeros(1, dtype=np.int32))
        grid = np.stack(np.broadcast_arrays(*np.ix_(*per_dimension)), axis=0)
        positions = np.ravel_multi_index(tuple(grid), dims=self._shape).ravel()
        if all(_is_integer(entry) for entry in item):
            return self.__row(positions)
        return self.__rows(positions)

    def __row(self, positions: np.ndarray) -> LinearExpression:
        entries = Entries.of((positions + self._shift,), np.ones(positions.shape, dtype=self._type),
                             (self._total_created_variables,))
        return LinearExpression._of_parts(self._owner, 0.0, SparsePart.of_entries(entries, is_row=True), None)

    def __rows(self, positions: np.ndarray) -> LinearExpressionsArr:
        count = positions.shape[0]
        values = np.ones((count,), dtype=self._type)
        row_numbers = np.arange(count, dtype=np.int32)
        matrix = csr_array((values, (row_numbers, positions + self._shift)), shape=(count, self._total_created_variables))
        return LinearExpressionsArr._owned(self._owner, linear_coefficients=matrix, is_init=True)
