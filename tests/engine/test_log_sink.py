import logging

import pytest

import velmont.corvane_engine as ce

LOGGER = "velmont.corvane_engine"

LEVELS = [
    ("trace", 5, "TRACE"),
    ("debug", logging.DEBUG, "DEBUG"),
    ("info", logging.INFO, "INFO"),
    ("warning", logging.WARNING, "WARNING"),
    ("error", logging.ERROR, "ERROR"),
    ("critical", logging.CRITICAL, "CRITICAL"),
]


def test_members_are_exactly_the_six_levels():
    assert [member.name for member in ce.log_level_type] == [name for name, _, _ in LEVELS]


@pytest.mark.parametrize("member, levelno, levelname", LEVELS)
@pytest.mark.parametrize("msg", ["plain text", "", "100% %s %d", 42, ("a", 1)])
def test_message_reaches_the_engine_logger_unchanged(caplog, member, levelno, levelname, msg):
    caplog.set_level(1, logger=LOGGER)
    assert ce.log_encoder(msg, getattr(ce.log_level_type, member)) is None
    [record] = caplog.records
    assert (record.name, record.levelno, record.levelname) == (LOGGER, levelno, levelname)
    assert record.msg is msg
    assert record.getMessage() == str(msg)


def test_trace_lies_below_debug(caplog):
    caplog.set_level(logging.DEBUG, logger=LOGGER)
    ce.log_encoder("hidden", ce.log_level_type.trace)
    ce.log_encoder("shown", ce.log_level_type.debug)
    assert [record.getMessage() for record in caplog.records] == ["shown"]


@pytest.mark.parametrize("level", [logging.INFO, 5, "info", None, "TRACE", logging.getLevelName(logging.INFO)])
def test_unknown_level_is_refused(caplog, level):
    caplog.set_level(1, logger=LOGGER)
    with pytest.raises(TypeError, match="log_level_type"):
        ce.log_encoder("text", level)
    assert caplog.records == []
