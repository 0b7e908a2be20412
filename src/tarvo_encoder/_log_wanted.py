"""Whether a log line is worth writing: a hot path skips building the text
of a line that nobody would see.

Only the engine's own sink drops lines, by the level of its logger; any
other sink put in its place takes every line.
"""
import logging

import velmont.corvane_engine as ce

DEBUG = ce.log_level_type.debug.value
TRACE = ce.log_level_type.trace.value

_ENGINE_SINK = ce.log_encoder
_ENGINE_LOGGER = logging.getLogger("velmont.corvane_engine")


def log_wanted(level: int) -> bool:
    """False when a line of this level (DEBUG, TRACE or another `logging`
    level) would be dropped by the sink."""
    return ce.log_encoder is not _ENGINE_SINK or _ENGINE_LOGGER.isEnabledFor(level)
