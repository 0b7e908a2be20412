"""A capture of the engine's log sink for the linear tests."""
import pytest

import velmont.corvane_engine as ce


class LogSink:
    """Every (level name, message) pair the library hands to the engine's sink."""

    def __init__(self):
        self.records = []

    def __call__(self, msg, level):
        self.records.append((level.name, msg))


@pytest.fixture
def sink(monkeypatch):
    recorder = LogSink()
    monkeypatch.setattr(ce, "log_encoder", recorder)
    return recorder


from linear_recorder import recording  # noqa: E402,F401  (fixture)
