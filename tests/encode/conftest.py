import pytest

import velmont.corvane_engine as ce


class LogSink:
    """Stands in for the engine's log sink and keeps every (message, level)."""

    def __init__(self):
        self.records = []

    def __call__(self, message, level):
        self.records.append((message, level))


@pytest.fixture
def log_sink(monkeypatch):
    sink = LogSink()
    monkeypatch.setattr(ce, "log_encoder", sink)
    return sink
