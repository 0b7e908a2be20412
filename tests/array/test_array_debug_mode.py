"""The debug flag is read once at import; its checks run in a process started with it set."""
import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).parent
ROOT = HERE.parent.parent


def run(code_or_args, flag):
    env = {k: v for k, v in os.environ.items() if k != "DEBUG_SOLVER_MODE"}
    if flag is not None:
        env["DEBUG_SOLVER_MODE"] = flag
    args = code_or_args if isinstance(code_or_args, list) else ["-c", code_or_args]
    return subprocess.run([sys.executable, *args], env=env, cwd=ROOT, capture_output=True, text=True, timeout=300)


def test_debug_checks_with_the_flag_set_to_zero():
    done = run(["-m", "pytest", str(HERE / "array_debug_cases.py"), "-q", "-p", "no:cacheprovider"], "0")
    assert done.returncode == 0, done.stdout + done.stderr


READ_FLAGS = """
import json, os, sys
import tarvo_encoder
root_loads_it = "tarvo_encoder.linear_parser2" in sys.modules
namespace = {}
exec("from tarvo_encoder.linear_parser2 import *", namespace)
from tarvo_encoder.linear_parser2 import _expression, model, variable
os.environ["DEBUG_SOLVER_MODE"] = "late"
import importlib
importlib.import_module("tarvo_encoder.linear_parser2.model")
print(json.dumps({
    "flags": [_expression.DEBUG, model.DEBUG, variable.DEBUG],
    "root_loads_it": root_loads_it,
    "star": sorted(k for k in namespace if k != "__builtins__"),
    "all": sys.modules["tarvo_encoder.linear_parser2"].__all__,
}))
"""


@pytest.mark.parametrize(
    "flag, flags",
    [(None, [False, False, False]), ("", ["", "", False]), ("0", ["0", "0", True])],
)
def test_flag_values_and_package_surface(flag, flags):
    done = run(READ_FLAGS, flag)
    assert done.returncode == 0, done.stderr
    seen = json.loads(done.stdout)
    assert seen["flags"] == flags
    assert seen["root_loads_it"] is False
    assert seen["all"] == ["LinearModel", "VariableType", "SolutionStatus", "inf", "sumexp", "dot"]
    assert seen["star"] == sorted(seen["all"])
