"""What of a caller's input the models may paste into text that the host
evaluates: names (declared, index and loop names) and integral numbers.

A name must mean in the evaluated text what it meant to the caller: an
identifier that the host neither refuses to bind (a keyword, `__debug__`)
nor folds into another name (the host reads every identifier in its NFKC
form). A number is written as its digits. Each model keeps its own messages;
the rules are these.
"""
import keyword
import unicodedata
from numbers import Integral

from ._logged_errors import raise_logged

# Names that evaluated text needs as they are: the builtin `range` of its for
# clauses and `__builtins__`, through which the host finds it.
TEXT_BUILTINS = frozenset(("range", "__builtins__"))


def is_identifier(name: object) -> bool:
    return isinstance(name, str) and name.isidentifier()


def is_keyword(name: str) -> bool:
    """A keyword, or `__debug__`, a constant: no declaration or loop can bind either."""
    return keyword.iskeyword(name) or name == "__debug__"


def is_loop_name(name: object) -> bool:
    """A name that a for clause of evaluated text can bind."""
    return is_identifier(name) and not is_keyword(name)


def nfkc_form(name: str) -> str:
    """The name that the host reads where `name` is written."""
    return unicodedata.normalize("NFKC", name)


def is_nfkc(name: str) -> bool:
    """True for a name that the host reads as written; any other name would
    stand for its NFKC form there, and two names could become one."""
    return nfkc_form(name) == name


def is_plain_name(name: object) -> bool:
    """A loop name that the host reads as written."""
    return is_loop_name(name) and is_nfkc(name)


def is_reserved_name(name: str, evaluation_names) -> bool:
    """True for a name that would hide one of the `evaluation_names` bound
    while text is evaluated, or that no declaration can bind."""
    return name in evaluation_names or is_keyword(name)


def int_text(value: Integral) -> str:
    """The text of an integral number: its digits (or True, False), whatever
    the number's own formatting says."""
    if type(value) is bool:
        return str(value)
    number = int(value)
    try:
        return str(number)
    except ValueError:  # past the host's digit limit for writing an int, far past any 64-bit number
        raise_logged(OverflowError, f"An integer of {number.bit_length()} bits does not fit in 64 bits")


def nfkc_message(kind: str, name: str) -> str:
    return (kind + " name " + repr(name) + " reads as " + repr(nfkc_form(name))
            + " in evaluated text (NFKC form): use that name")
