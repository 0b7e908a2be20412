"""The solver engine: log sink, clause storage, variable mapping, witness
interpreter and engine manager; Boolean expressions in ``dravo``, the
pseudo-Boolean encoder in ``kelpa`` and the linear solver in ``tovric``.

Every native module takes Python values the same way: a literal or variable
number is an int, never a bool; a weight, bound, count or size is any
integral number (what ``operator.index`` takes: bool and numpy integers
included), and an exception raised by its ``__index__`` comes through as
itself; a number beyond signed 64 bits raises OverflowError; a text is a str,
and one without a UTF-8 form (a lone surrogate) raises UnicodeEncodeError."""
import platform

from ._core import var_mapping, wcnf_storage, witness_interpreter
from ._log_sink import log_encoder, log_level_type
from ._manager import manager


def get_python_version():
    """The running interpreter's version, e.g. "3.12.3"."""
    return platform.python_version()


__all__ = [
    "log_encoder",
    "log_level_type",
    "get_python_version",
    "wcnf_storage",
    "var_mapping",
    "witness_interpreter",
    "manager",
]
