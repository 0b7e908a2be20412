"""The engine's log sink: every message goes to the logger "velmont.corvane_engine"."""
import enum
import logging

TRACE = 5
logging.addLevelName(TRACE, "TRACE")

_logger = logging.getLogger("velmont.corvane_engine")


class log_level_type(enum.Enum):
    """Levels of the log sink; each value is the matching `logging` level (trace lies below debug)."""

    trace = TRACE
    debug = logging.DEBUG
    info = logging.INFO
    warning = logging.WARNING
    error = logging.ERROR
    critical = logging.CRITICAL


def log_encoder(msg, level):
    """Log `msg` at `level` (a `log_level_type` member).

    The message object is handed to `logging` unchanged (no conversion, no
    %-formatting), so callers may pass any object. An unknown level raises
    TypeError instead of being dropped or guessed.
    """
    if not isinstance(level, log_level_type):
        raise TypeError(f"level must be a log_level_type member, got {level!r}")
    _logger.log(level.value, msg)
