import logging

import velmont.corvane_engine as ce
from velmont.corvane_engine._log_sink import is_logged as _is_logged, log_encoder as _engine_sink

# What `import *` binds: the six log functions (and the two modules they use),
# not the helpers below them.
__all__ = ["logging", "ce", "log_c", "log_e", "log_w", "log_i", "log_d", "log_t"]

logging.basicConfig(level=logging.WARNING, format="%(asctime)s %(name)s %(levelname)s: %(message)s")


def log_c(msg: str):
    ce.log_encoder(msg, ce.log_level_type.critical)


def log_e(msg: str):
    ce.log_encoder(msg, ce.log_level_type.error)


def log_w(msg: str):
    ce.log_encoder(msg, ce.log_level_type.warning)


def log_i(msg: str):
    ce.log_encoder(msg, ce.log_level_type.info)


def log_d(msg: str):
    ce.log_encoder(msg, ce.log_level_type.debug)


def log_t(msg: str):
    ce.log_encoder(msg, ce.log_level_type.trace)


def debug_logged() -> bool:
    """Whether a debug line goes anywhere, so that a caller whose debug text is
    costly to write can skip it: the engine's sink keeps only what its logger
    records, a sink put in its place takes every line."""
    return ce.log_encoder is not _engine_sink or _is_logged(ce.log_level_type.debug)
