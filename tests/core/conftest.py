import pytest

import velmont.corvane_engine as ce


@pytest.fixture
def sink(monkeypatch):
    """Every (message, level) handed to the engine's log sink, in order."""
    messages = []
    monkeypatch.setattr(ce, "log_encoder", lambda msg, level: messages.append((msg, level)))
    return messages
