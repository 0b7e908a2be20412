"""Refusals that are logged before they are raised: every module of the
package reports a refused call at error level, with the very text its error
carries, through the engine's log sink."""
import typing as tp

from .core.tarvo_logger import log_e


def raise_logged(error_type: tp.Type[Exception], message: str) -> tp.NoReturn:
    """Log `message` at error level, then raise `error_type` with the same text."""
    log_e(message)
    raise error_type(message)


def refuse_type(message: str) -> tp.NoReturn:
    """`raise_logged` of a TypeError: an operand or argument of the wrong type."""
    raise_logged(TypeError, message)
