"""The dumper's native road: a template formula expanded over its foralls by a
C++ kernel instead of by evaluating its expansion text.

The kernel reads the literal texts itself (from the template formula, or from
the lists of texts of a record written by hand) and takes a record only when
its result is sure to equal the evaluation's: every literal text has one of
the forms that the container and the index arithmetic write (a variable
reference such as -x(2 * (i + 1),j - 1) or a quoted aux variable name), every
name resolves as the evaluation would resolve it, every index value stays
inside its dimension, every aux index inside its block, and every number and
weight suits the storage. This module checks the record as a whole; for
anything else `expand_natively` returns None without touching the record,
and the caller evaluates the text, which then raises or warns as it always
does.
"""
import builtins
import typing as tp
from collections.abc import Sequence
from operator import is_

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx

from .. import _native
from .._text_rules import is_plain_name as _is_plain_text_name
from .foralls import count_instances
from ..encode.variables import Variable

# Numbers and coefficients stay well inside the kernel's signed 64 bits.
_LIMIT = 2**62
_INT64 = 2**63


class ClauseTexts(Sequence):
    """The literal texts of a template formula's clauses, one list per clause,
    written by `write` when first read: the native road reads the formula
    itself, so most templates never need them."""

    def __init__(self, formula, write: tp.Callable[[tp.Any], tp.List[tp.List[str]]]) -> None:
        self.formula = formula
        self._write = write
        self._texts: tp.Optional[tp.List[tp.List[str]]] = None
        if isinstance(formula, (bx.BaseExpr, _native.NumberedTemplate)):
            self._count = _native.clause_count(formula)
        else:
            self._texts = write(formula)
            self._count = len(self._texts)

    def __len__(self) -> int:
        return self._count

    def __getitem__(self, position):
        if self._texts is None:
            self._texts = self._write(self.formula)
        return self._texts[position]


def _is_plain_name(name) -> bool:
    """A name that the evaluation binds and looks up as written, and that the
    kernel, which compares names byte by byte, can read: an ASCII one."""
    return type(name) is str and name.isascii() and _is_plain_text_name(name)


def _is_int(value) -> bool:
    return type(value) is int  # bool and numpy integers behave differently in the storage


def _is_small_int(value) -> bool:
    return _is_int(value) and -_LIMIT < value < _LIMIT


def expand_natively(a, pb_prefix: str, tseytin_prefix: str,
                    as_block: bool = False) -> tp.Union[None, tp.Dict[str, int], _native.AuxMapBlock]:
    """Expand the record `a` into its storage and return its aux map names (as
    their AuxMapBlock with `as_block`, else as a dict), or return None,
    leaving the record as it was, when only the evaluation of its expansion
    text gives the right result."""
    arguments = _kernel_arguments(a)
    if arguments is None:
        return None
    loops = arguments[3]
    # No instance: nothing to expand, however long the other loops are.
    mapping = (_native.expand_texts(a.cnf_stor, *arguments, pb_prefix, tseytin_prefix, aux_block=as_block)
               if all(loops) else {})
    if mapping is not None:
        # The evaluation leaves the builtins entry in its globals; so does this road.
        a.eval_state.setdefault("__builtins__", builtins.__dict__)
    return mapping


def _kernel_arguments(a) -> tp.Optional[tuple]:
    """What the kernel needs of the record, or None when the record as a whole
    is beyond it."""
    if type(a.cnf_stor) is not ce.wcnf_storage or type(a.eval_state) is not dict:
        return None
    # "range" in the loop text must be the builtin one.
    if a.eval_state.get("__builtins__", builtins.__dict__) is not builtins.__dict__ or "range" in a.eval_state:
        return None
    foralls = _forall_values(a.foralls)
    numbering = (a.num_formula, a.init_shift_variable, a.shift_pb_variable, a.shift_bx_variable)
    if foralls is None or not all(_is_int(n) for n in numbering) or not -_INT64 < a.num_formula < _INT64:
        return None
    if a.init_shift_variable < 1 or a.shift_pb_variable < 0 or a.shift_bx_variable < 0:
        return None
    instances = count_instances(foralls)
    if a.init_shift_variable + instances * (a.shift_pb_variable + a.shift_bx_variable) >= _LIMIT:
        return None
    template = a.template_constraint
    if isinstance(template, ClauseTexts):
        template = template.formula
    elif type(template) not in (list, tuple):
        return None
    weights = _weights(a.weights, len(a.template_constraint))
    if weights is None:
        return None
    # Without instances the loops are not run at all, whatever their lengths.
    loops = [list(values) if instances else [] for values in foralls.values()]
    return (template, weights, list(foralls), loops, _declared_in(a.eval_state),
            a.num_formula, a.init_shift_variable, a.shift_pb_variable, a.shift_bx_variable)


def _forall_values(foralls) -> tp.Optional[tp.Dict[str, tp.List[int]]]:
    if type(foralls) is not dict:
        return None
    checked = {}
    for name, values in foralls.items():
        if not _is_plain_name(name) or name == "range":
            return None
        if type(values) is range:
            if len(values) and not (_is_small_int(values[0]) and _is_small_int(values[-1])):
                return None
            checked[name] = values
        elif type(values) is list and all(_is_small_int(v) for v in values):
            checked[name] = values
        else:
            return None
    return checked


def _weights(weights, count: int) -> tp.Optional[tp.List[int]]:
    if weights is None:
        return [0] * count
    if type(weights) not in (list, tuple) or len(weights) < count:
        return None
    weights = list(weights[:count])
    return weights if all(_is_int(w) and 0 <= w < _INT64 for w in weights) else None


# The eval_state read last, its names and values then, and its declared
# variables: the records of one container share one eval_state, so most
# records find them here instead of checking every variable again.
_last_read: tp.Tuple[tp.Optional[dict], tp.List[str], tp.List[tp.Any], tp.Optional[_native.DeclaredVariables]] = (
    None, [], [], None)


def _declared_in(eval_state: dict) -> _native.DeclaredVariables:
    global _last_read
    names, values = list(eval_state), list(eval_state.values())
    last_state, last_names, last_values, declared = _last_read
    # Compared by identity: == would ask the values, and a value may say it
    # equals anything (or refuse to answer), which would keep a stale table.
    if (last_state is not eval_state or len(names) != len(last_names)
            or not all(map(is_, names, last_names)) or not all(map(is_, values, last_values))):
        declared = declared_variables(eval_state)
        _last_read = (eval_state, names, values, declared)
    return declared


def declared_variables(variables: dict) -> _native.DeclaredVariables:
    """Every declared variable that the kernel can number; a reference to any
    other name is left to the evaluation."""
    declared = []
    for name, variable in variables.items():
        if type(variable) is not Variable or not _is_plain_name(name):
            continue
        sizes, strides, first = variable.indexes, variable.shifts, variable.st_shift
        if type(sizes) is not dict or type(strides) is not list or not _is_small_int(first):
            continue
        sizes = list(sizes.values())
        if all(_is_small_int(n) for n in sizes + strides):
            declared.append((name, first, sizes, strides))
    return _native.DeclaredVariables(declared)
