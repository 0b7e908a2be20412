import importlib
import itertools
import types

import pytest

import tarvo_encoder
from tarvo_encoder import _exceptions, version

ERRORS = [
    ("VariableError", "The variable cannot be created"),
    ("TargetError", "Target entry error"),
    ("FormulaError", ""),
    ("BuildError", ""),
    ("SolverError", ""),
]


def test_version_text_is_shared_by_root_and_module():
    assert tarvo_encoder.__version__ == "0.2.5.2048"
    assert tarvo_encoder.__version__ is version.tarvo_version
    assert [n for n in vars(version) if not n.startswith("__")] == ["tarvo_version"]


def test_core_package_binds_nothing_of_its_own():
    core = importlib.import_module("tarvo_encoder.core")
    own = {n: v for n, v in vars(core).items() if not n.startswith("__")}
    # Submodules loaded elsewhere appear as attributes; nothing else may.
    assert all(isinstance(v, types.ModuleType) for v in own.values()), own


@pytest.mark.parametrize("name,doc", ERRORS)
def test_error_types_are_plain_exceptions(name, doc):
    error_type = getattr(_exceptions, name)
    assert error_type.__bases__ == (Exception,)
    assert error_type.__doc__ == doc
    assert error_type.__module__ == "tarvo_encoder._exceptions"
    assert set(vars(error_type)) <= {"__module__", "__doc__", "__qualname__", "__firstlineno__",
                                     "__static_attributes__", "__weakref__", "__dict__"}
    error = error_type("message text")
    assert str(error) == "message text" and error.args == ("message text",)


@pytest.mark.parametrize("raised,caught", list(itertools.product([n for n, _ in ERRORS], repeat=2)))
def test_error_types_are_caught_only_by_themselves(raised, caught):
    raised_type, caught_type = getattr(_exceptions, raised), getattr(_exceptions, caught)
    try:
        raise raised_type("x")
    except caught_type:
        assert raised == caught
    except Exception:
        assert raised != caught


def test_star_import_of_errors_binds_the_five_classes():
    namespace = {}
    exec("from tarvo_encoder._exceptions import *", namespace)
    assert set(namespace) - {"__builtins__"} == {n for n, _ in ERRORS}
