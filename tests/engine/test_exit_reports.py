"""A test run ends with pytest's summary line: no engine object outlives the
interpreter to be reported by nanobind at exit."""

import shutil
import subprocess
import sys
from pathlib import Path

ENGINE_OBJECTS_HELD_BY_PARAMETERS = '''
import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb

CTX = bx.Context()


@pytest.mark.parametrize("held", [[bx.one(), ~CTX.get_var("a"), ce.wcnf_storage(), pb.PBConfig()]])
def test_holds_engine_objects(held):
    assert held


@settings(max_examples=5, deadline=None)
@given(st.integers())
def test_runs_hypothesis(value):
    assert value == value
'''


def test_summary_line_comes_last(tmp_path):
    shutil.copy(Path(__file__).with_name("conftest.py"), tmp_path / "conftest.py")
    (tmp_path / "test_held.py").write_text(ENGINE_OBJECTS_HELD_BY_PARAMETERS)
    run = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-o", "addopts=", str(tmp_path)],
        capture_output=True, text=True, cwd=tmp_path, timeout=120,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    assert "leaked" not in run.stderr, run.stderr
    assert "2 passed" in run.stdout.strip().splitlines()[-1]
