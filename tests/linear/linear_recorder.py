"""A linear solver that records every engine call of a model and then runs it."""
import pytest

from velmont.corvane_engine import tovric

RECORDED = ["setOptionValue", "addVars", "changeColsIntegrality", "addRow", "changeObjectiveSense",
            "changeColCost", "changeColsCost", "passHessian", "setSolution", "run"]


_ENGINE_SOLVER = tovric.LinearSolver


class RecordingSolver(_ENGINE_SOLVER):
    def __init__(self):
        super().__init__()
        self.calls = []

    def named(self, name):
        return [args for call, args in self.calls if call == name]


def _recording(name):
    def method(self, *args):
        self.calls.append((name, args))
        return getattr(_ENGINE_SOLVER, name)(self, *args)
    return method


for _name in RECORDED:
    setattr(RecordingSolver, _name, _recording(_name))


@pytest.fixture
def recording(monkeypatch):
    """Models made while the fixture is active record their engine calls."""
    monkeypatch.setattr(tovric, "LinearSolver", RecordingSolver)
