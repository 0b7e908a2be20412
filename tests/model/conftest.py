"""Fixtures of the model tests: a capture of the engine's log sink and a
recording engine manager."""
import pytest

import velmont.corvane_engine as ce
from model_recorders import RecordingManager, small_var_mapping


class LogSink:
    """Every (level, message) pair the library hands to the engine's sink."""

    def __init__(self):
        self.records = []

    def __call__(self, msg, level):
        self.records.append((level, msg))

    def at(self, level_name):
        level = getattr(ce.log_level_type, level_name)
        return [msg for lvl, msg in self.records if lvl == level]

    def clear(self):
        self.records.clear()


@pytest.fixture
def sink(monkeypatch):
    recorder = LogSink()
    monkeypatch.setattr(ce, "log_encoder", recorder)
    return recorder


@pytest.fixture
def recording_manager():
    return RecordingManager(storage=ce.wcnf_storage(), var_mapping=small_var_mapping())
