"""Naming and sizing rules of the pseudo-Boolean model, and its duration text.

Kept apart from the model so that the checks read as one list of rules and
can be tested without an engine; also the foralls text of the formula encoder.
"""
import numbers
import re
import typing as tp
from datetime import datetime, timedelta

# is_nfkc and nfkc_message serve the model as they are.
from .._text_rules import (TEXT_BUILTINS, is_identifier as _is_identifier, is_nfkc, nfkc_message,
                           is_reserved_name as _is_reserved_name)
from ..core.aux_names import DRAVO_AUX, KELPA_AUX
from ..core.foralls import formula_foralls

# Names that expression text relies on while it is evaluated: the base
# bindings of the evaluation namespace and the builtins that the text's own
# loops need. A declaration under one of them would hide it and break every
# later formula.
EVALUATION_NAMES: tp.FrozenSet[str] = frozenset(("Sum", "FormulaPB", "bx", "pb", "manager")) | TEXT_BUILTINS

_DURATION_ORIGIN = datetime(1, 1, 1)
_RESERVED_PREFIXES = (DRAVO_AUX, KELPA_AUX)
_NAME = re.compile(r"[^\W\d]\w*")
_CALL = re.compile(r" *\(")  # matched where a name ends, not on a copy of the rest


def reserved_name_message(name: str) -> str:
    return ("Name '" + name + "' is reserved by the expression evaluation of the model ("
            + ", ".join(sorted(EVALUATION_NAMES)) + " and Python keywords). Change the name to a valid one")


def is_reserved_name(name: str) -> bool:
    """True for a name that would hide a binding of the evaluation namespace or a keyword."""
    return _is_reserved_name(name, EVALUATION_NAMES)


def contains_aux_prefix(name: str) -> bool:
    """True for a name holding an aux prefix: the model counts the Tseytin aux
    variables of a formula by that text in their names."""
    return any(prefix in name for prefix in _RESERVED_PREFIXES)


def is_index_name(name: object) -> bool:
    """An index name is pasted into evaluated text, so it must be a plain identifier."""
    return _is_identifier(name)


def invalid_index_name_message(name: object) -> str:
    return "Index name " + repr(name) + " is not a valid identifier"


def size_error_message(variable_name: str, dimension: str, size: object) -> str:
    return ("Dimension '" + dimension + "' of variable '" + variable_name
            + "' must have a non-negative int size, got " + repr(size))


def is_indexed_reference(name: str) -> bool:
    """Whether a template variable name is a reference with an index in its
    subscripts, such as x(i + 1,0), rather than x(3) or an aux variable."""
    opening = name.find("(")
    return opening > 0 and _NAME.search(name, opening) is not None


# A combinator's loop over a range whose arguments hold a name (range(i, 3)).
_NAMED_LOOP_RANGE = re.compile(r" in range\((?=[^)]*[^\W\d])")


def names_a_loop_range(text: str) -> bool:
    """Whether a loop of the expression text runs over a range with a name in its arguments."""
    return _NAMED_LOOP_RANGE.search(text) is not None


def loops_over_foralls(text: str, foralls: tp.Mapping[str, object]) -> bool:
    """Whether a loop of the expression text runs over a range that a forall
    index bounds, such as Or(x[i, k], k="range(i, 3)") over the forall i."""
    for found in _NAMED_LOOP_RANGE.finditer(text):
        depth, end = 1, found.end()
        while depth and end < len(text):
            depth += {"(": 1, ")": -1}.get(text[end], 0)
            end += 1
        if any(name in foralls for name in _NAME.findall(text, found.end(), end)):
            return True
    return False


# The most elements a model declares, as the engine's formula encoder holds.
MAX_ELEMENTS = 2**31 - 1


def too_many_elements_message(variable_name: str, count: int, declared_before: int) -> str:
    return (f"variable '{variable_name}' has {count} elements; a model holds at most {MAX_ELEMENTS}"
            f" elements in all ({declared_before} declared before)")


TOO_DEEP_MESSAGE = ("The expression nests too deeply for container mode, which evaluates its text as Python"
                    " (about 200 levels of parentheses at most): drop double negations (~~e is e), write long"
                    " chains flat with AndIt, OrIt, XorIt or SumIt, or use formula-encoder mode, which reads"
                    " deeper nesting")


def nests_too_deeply(error: BaseException) -> bool:
    """Whether the host refused to compile an expression text for its nesting."""
    if isinstance(error, SyntaxError):
        return error.msg.startswith("too many nested parentheses")
    return isinstance(error, RecursionError) and "during compilation" in str(error)


def first_bad_size(dims: tp.Mapping[str, object]) -> tp.Optional[tp.Tuple[str, object]]:
    """The first (dimension, size) pair whose size is not a non-negative int (bools refused)."""
    for dimension, size in dims.items():
        if not isinstance(size, int) or isinstance(size, bool) or size < 0:
            return dimension, size
    return None


def duration_text(elapsed: timedelta) -> str:
    """Elapsed time as HH:MM:SS.mmm (milliseconds cut, whole days dropped).

    A clock that went back gives a negative span; it shows as zero rather than
    failing a build whose storage has already been handed over.
    """
    if elapsed < timedelta(0):
        elapsed = timedelta(0)
    return (_DURATION_ORIGIN + elapsed % timedelta(days=1)).strftime("%H:%M:%S.%f")[:-3]


def foralls_text(foralls: tp.Dict[str, tp.Sequence[int]]) -> str:
    """The foralls as the formula encoder reads them: checked like the
    container's, each value a range or a plain list of ints, so that numpy
    arrays (whose text numpy may abbreviate) reach it whole."""
    if not foralls:
        return "Foralls: {}"  # most constraints have none: nothing to check
    return "Foralls: " + str(formula_foralls(foralls))


def indexes_in(variable_names: tp.Iterable[str]) -> tp.Set[str]:
    """The index names inside template variable names such as x(i + 1,j)."""
    found = set()
    for name in variable_names:
        opening = name.find("(")
        if opening >= 0:
            found.update(_NAME.findall(name, opening))
    return found


def indexes_in_text(text: str, index_names: tp.Container[str]) -> tp.Set[str]:
    """The declared indexes that expression text uses outside the loops that
    bind them: names that are neither called, nor attributes, nor loop names.
    A name that some loop binds counts as bound everywhere, so this finds no
    more than the text uses."""
    # Most texts name no declared index at all, which one scan of the names tells.
    if not index_names or not any(name in index_names for name in _NAME.findall(text)):
        return set()
    used, bound = set(), set()
    for found in _NAME.finditer(text):
        name, start, end = found.group(), found.start(), found.end()
        if text[start - 1:start] == "." or _CALL.match(text, end):
            continue
        if text[max(0, start - 4):start] == "for ":
            bound.add(name)
        elif name in index_names:
            used.add(name)
    return used - bound


def hiding_forall_message(foralls: tp.Iterable[str], variable_names: tp.Container[str]) -> tp.Optional[str]:
    """None when no forall is named like a declared variable, else the refusal:
    in container mode such a forall hides the variable from the expression's
    text (its elements then call the loop value), so the two modes would
    build different models."""
    hiding = [name for name in foralls if name in variable_names]
    if not hiding:
        return None
    return ("Forall " + ", ".join(repr(name) for name in hiding) + " is named like a declared variable;"
            " name each forall after an index of the expression")


def unbound_index_message(used: tp.Set[str], foralls: tp.Iterable[str]) -> tp.Optional[str]:
    """None when the foralls bind every index the formula uses, else the refusal."""
    unbound = sorted(used.difference(foralls))
    if not unbound:
        return None
    stray = [repr(name) for name in foralls if name not in used]
    return ("Index " + ", ".join(unbound) + " of the expression is bound by no forall"
            + ("; forall " + ", ".join(stray) + " names no index of the expression" if stray else "")
            + "; the expression uses the indexes " + ", ".join(sorted(used)))


def encoder_weight(weight: object) -> object:
    """The weight as the formula encoder takes it: any integral number (bool,
    numpy integer) as a plain int, as container mode multiplies with it;
    anything else unchanged, for the encoder to refuse."""
    return int(weight) if isinstance(weight, numbers.Integral) else weight
