import logging

import pytest


@pytest.fixture
def quiet_engine_log():
    """The engine's logger at CRITICAL for one test, as it was after: runs that
    compare results, not log lines, need not write thousands of them."""
    logger = logging.getLogger("velmont.corvane_engine")
    level = logger.level
    logger.setLevel(logging.CRITICAL)
    yield
    logger.setLevel(level)
