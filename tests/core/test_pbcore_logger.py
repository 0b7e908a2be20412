import logging
import subprocess
import sys

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder.core import tarvo_logger

LEVELS = [
    ("log_c", "critical"),
    ("log_e", "error"),
    ("log_w", "warning"),
    ("log_i", "info"),
    ("log_d", "debug"),
    ("log_t", "trace"),
]


@pytest.fixture
def sink(monkeypatch):
    calls = []

    def record(*args, **kwargs):
        calls.append((args, kwargs))
        return "ignored"

    monkeypatch.setattr(ce, "log_encoder", record)
    return calls


@pytest.mark.parametrize("function,level", LEVELS)
@pytest.mark.parametrize("message", ["some text", "", 42, None])
def test_each_function_hands_message_and_level_to_the_sink(sink, function, level, message):
    log = getattr(tarvo_logger, function)
    assert log(message) is None
    assert log(msg=message) is None
    member = getattr(ce.log_level_type, level)
    assert sink == [((message, member), {}), ((message, member), {})]
    assert sink[0][0][0] is message


@pytest.mark.parametrize("function,level", LEVELS)
def test_signature_has_one_annotated_parameter(function, level):
    log = getattr(tarvo_logger, function)
    assert log.__annotations__ == {"msg": str}
    assert log.__doc__ is None


def test_sink_errors_propagate(monkeypatch):
    def broken(msg, level):
        raise RuntimeError("sink down")

    monkeypatch.setattr(ce, "log_encoder", broken)
    with pytest.raises(RuntimeError, match="sink down"):
        tarvo_logger.log_w("x")


def test_star_import_binds_logging_engine_and_the_six_functions():
    namespace = {}
    exec("from tarvo_encoder.core.tarvo_logger import *", namespace)
    names = set(namespace) - {"__builtins__"}
    assert names == {"logging", "ce"} | {name for name, _ in LEVELS}
    assert namespace["ce"] is ce and namespace["logging"] is logging


@pytest.mark.parametrize("function,level", LEVELS)
def test_messages_reach_the_engine_logger(caplog, function, level):
    caplog.set_level(1, logger="velmont.corvane_engine")
    getattr(tarvo_logger, function)("through the sink")
    records = [r for r in caplog.records if r.name == "velmont.corvane_engine"]
    assert [r.getMessage() for r in records] == ["through the sink"]
    assert records[0].levelname.lower() == level


def test_loading_configures_the_root_logger_once():
    script = (
        "import logging\n"
        "import tarvo_encoder.core.tarvo_logger\n"
        "root = logging.getLogger()\n"
        "print(root.level == logging.WARNING, len(root.handlers), root.handlers[0].formatter._fmt)\n"
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert done.stdout.strip() == "True 1 %(asctime)s %(name)s %(levelname)s: %(message)s"


def test_existing_root_handler_is_left_alone():
    script = (
        "import logging\n"
        "logging.getLogger().addHandler(logging.NullHandler())\n"
        "import tarvo_encoder.core.tarvo_logger\n"
        "root = logging.getLogger()\n"
        "print(root.level, [type(h).__name__ for h in root.handlers])\n"
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert done.stdout.strip() == f"{logging.WARNING} ['NullHandler']"


@pytest.mark.parametrize("before_import, after_import, shown", [
    # basicConfig does nothing once the root logger has a handler: the package's.
    ("", "logging.basicConfig(level=logging.INFO, format='%(message)s')", False),
    ("", "logging.basicConfig(level=logging.INFO, format='%(message)s', force=True)", True),
    ("logging.basicConfig(level=logging.INFO, format='%(message)s')", "", True),
    ("", "app = logging.getLogger('app'); app.setLevel(logging.INFO); app.propagate = False\n"
         "handler = logging.StreamHandler(); handler.setFormatter(logging.Formatter('%(message)s'))\n"
         "app.addHandler(handler)", True),
])
def test_an_application_configures_its_logging_around_the_package(before_import, after_import, shown):
    script = (f"import logging\n{before_import}\nimport tarvo_encoder\n{after_import}\n"
              "logging.getLogger('app').info('app line')\n")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
    assert done.stderr == ("app line\n" if shown else "")
