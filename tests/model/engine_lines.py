"""The engine's log lines from info up, as a test compares them between two runs."""
import contextlib
import logging
import re

_DURATION = re.compile(r"Duration = \S+")


class _Lines(logging.Handler):
    def __init__(self):
        super().__init__(logging.INFO)
        self.lines = []

    def emit(self, record):
        # A build's duration differs from run to run.
        self.lines.append((record.levelno, _DURATION.sub("Duration", record.getMessage())))


@contextlib.contextmanager
def info_lines():
    """Yields the list of (level, message) the engine's logger takes from info
    up while the block runs; debug stays off, as it is by default."""
    logger, lines = logging.getLogger("velmont.corvane_engine"), _Lines()
    level = logger.level
    logger.setLevel(logging.INFO)
    logger.addHandler(lines)
    try:
        yield lines.lines
    finally:
        logger.removeHandler(lines)
        logger.setLevel(level)
