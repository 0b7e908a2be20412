"""The sparse parts of a single-row expression: its coefficient row and its
quadratic matrix.

A part is held as unmerged entries (coordinates and values; equal coordinates
add up) and as the scipy array that the model reads, each made from the other
on first use. Arithmetic works on the entries, so an operation costs the
entries it touches; a scipy array of the row's full width is built only when
it is read.
"""
import numpy as np
from scipy.sparse import csc_array, csr_array

from tarvo_encoder.linear_parser2._exact_integers import group_sums, product


class _Store:
    """Coordinate and value arrays with room to grow; entries below `used` never change."""

    __slots__ = ("coords", "values", "used")

    def __init__(self, coords, values, used):
        self.coords, self.values, self.used = coords, values, used


class Entries:
    """Unmerged entries of a sparse array of `shape`. Immutable.

    Appending to the newest entries of a store writes into its spare room
    instead of copying them, so a sum built term by term (`total = total +
    term`) costs its entries, not their square."""

    __slots__ = ("_store", "_count", "shape")

    def __init__(self, store: _Store, count: int, shape: tuple):
        self._store, self._count, self.shape = store, count, shape

    @classmethod
    def of(cls, coords: tuple, values: np.ndarray, shape: tuple) -> "Entries":
        return cls(_Store(coords, values, len(values)), len(values), shape)

    @property
    def coords(self) -> tuple:
        return tuple(axis[:self._count] for axis in self._store.coords)

    @property
    def values(self) -> np.ndarray:
        return self._store.values[:self._count]

    def __len__(self) -> int:
        return self._count

    def scaled(self, factor) -> "Entries":
        return Entries.of(self.coords, product(self.values, factor), self.shape)

    def appended(self, other: "Entries") -> "Entries":
        """These entries followed by `other`'s: the sum of the two arrays."""
        if self.shape != other.shape:
            raise ValueError("inconsistent shapes")
        if not other._count:
            return self
        if not self._count:
            return other
        store, count, needed = self._store, self._count, self._count + other._count
        dtype = np.result_type(store.values.dtype, other.values.dtype)
        if store.used != count or needed > len(store.values) or dtype != store.values.dtype:
            store = self.__grown(needed, dtype)
        for axis, added in zip(store.coords, other.coords):
            axis[count:needed] = added
        store.values[count:needed] = other.values
        store.used = needed
        return Entries(store, needed, self.shape)

    def __grown(self, needed, dtype) -> _Store:
        capacity = max(needed, 2 * self._count)
        coords = []
        for axis in self.coords:
            grown = np.empty(capacity, dtype=np.int64)
            grown[:self._count] = axis
            coords.append(grown)
        values = np.empty(capacity, dtype=dtype)
        values[:self._count] = self.values
        return _Store(tuple(coords), values, self._count)

    def merged(self) -> tuple:
        """(coordinate, value) of a vector's entries, coordinates ascending and each once."""
        (columns,), values = self.coords, self.values
        if len(columns) < 2 or np.all(columns[1:] > columns[:-1]):
            return columns, values
        order = np.argsort(columns, kind="stable")
        columns, values = columns[order], values[order]
        starts = np.flatnonzero(np.r_[True, columns[1:] != columns[:-1]])
        return columns[starts], group_sums(values, starts)


def _row_entries(row) -> Entries:
    if isinstance(row, csr_array) and row.ndim == 1:
        return Entries.of((row.indices,), row.data, row.shape)
    coo = row.tocoo()
    return Entries.of((coo.coords[-1],), coo.data, row.shape[-1:])


def _row_array(entries: Entries) -> csr_array:
    columns, values = entries.merged()
    # Copies: merged entries may be views of a store whose prefix other expressions share,
    # and a caller may write into the arrays of the row it reads.
    return csr_array((values.copy(), columns.copy(), np.array([0, len(values)])), shape=entries.shape)


def _square_entries(matrix) -> Entries:
    coo = matrix.tocoo()
    return Entries.of(coo.coords, coo.data, matrix.shape)


def _square_array(entries: Entries) -> csc_array:
    return csc_array((entries.values, entries.coords), shape=entries.shape)


class SparsePart:
    """A coefficient row or a quadratic matrix: its entries, its scipy array, or both."""

    __slots__ = ("_entries", "_array", "_is_row")

    def __init__(self, entries, array, is_row: bool):
        self._entries, self._array, self._is_row = entries, array, is_row

    @classmethod
    def of_row(cls, row) -> "SparsePart":
        return cls(None, row, True)

    @classmethod
    def of_square(cls, matrix) -> "SparsePart":
        return cls(None, matrix, False)

    @classmethod
    def of_entries(cls, entries: Entries, is_row: bool) -> "SparsePart":
        return cls(entries, None, is_row)

    @property
    def entries(self) -> Entries:
        if self._entries is None:
            self._entries = _row_entries(self._array) if self._is_row else _square_entries(self._array)
        return self._entries

    @property
    def array(self):
        """The scipy array: a one-dimensional `csr_array` for a row, a `csc_array` for a matrix."""
        if self._array is None:
            self._array = _row_array(self._entries) if self._is_row else _square_array(self._entries)
        return self._array

    def plus(self, other: "SparsePart", sign: int = 1) -> "SparsePart":
        added = other.entries if sign > 0 else other.entries.scaled(-1)
        return SparsePart.of_entries(self.entries.appended(added), self._is_row)

    def scaled(self, factor) -> "SparsePart":
        return SparsePart.of_entries(self.entries.scaled(factor), self._is_row)


def symmetric_product(left: SparsePart, right: SparsePart) -> SparsePart:
    """Q = ½(a bᵀ + b aᵀ) of two rows a and b, so that xᵀQx = (a·x)(b·x)."""
    if left.entries.shape != right.entries.shape:
        raise ValueError("inconsistent shapes")
    (a_columns, a_values), (b_columns, b_values) = left.entries.merged(), right.entries.merged()
    rows = np.repeat(a_columns, len(b_columns))
    columns = np.tile(b_columns, len(a_columns))
    # In float64 from the start: an outer product of integer coefficients would wrap.
    values = 0.5 * np.outer(a_values.astype(np.float64), b_values).ravel()
    width = left.entries.shape[0]
    entries = Entries.of((np.concatenate([rows, columns]), np.concatenate([columns, rows])),
                         np.concatenate([values, values]), (width, width))
    return SparsePart.of_entries(entries, is_row=False)
