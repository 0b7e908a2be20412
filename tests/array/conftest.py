import contextlib
import logging

import pytest


@pytest.fixture
def raises_logged(caplog):
    """`with raises_logged(Error, text):` expects Error(text), logged first at error level with the same text."""

    @contextlib.contextmanager
    def expect(error_type, message):
        caplog.clear()
        with pytest.raises(error_type) as caught:
            yield caught
        assert type(caught.value) is error_type
        assert str(caught.value) == message
        errors = [r.getMessage() for r in caplog.records if r.levelno == logging.ERROR]
        assert errors == [message]

    caplog.set_level(logging.WARNING, logger="velmont.corvane_engine")
    return expect


@pytest.fixture
def warnings_logged(caplog):
    """The texts logged at warning level since the test started."""
    caplog.set_level(logging.WARNING, logger="velmont.corvane_engine")
    return lambda: [r.getMessage() for r in caplog.records if r.levelno == logging.WARNING]
