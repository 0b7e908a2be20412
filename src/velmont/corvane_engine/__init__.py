"""The solver engine: log sink, clause storage, variable mapping, witness
interpreter and engine manager; Boolean expressions in ``dravo``, the
pseudo-Boolean encoder in ``kelpa`` and the linear solver in ``tovric``."""
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
