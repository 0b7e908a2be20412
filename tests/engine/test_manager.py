import sys

import pytest

import velmont.corvane_engine as ce


def test_fresh_manager_holds_nothing():
    manager = ce.manager()
    assert manager.get_cnf_storage() is None
    assert manager.get_witness_interpreter() is None


def test_manager_keeps_the_last_object_handed_over():
    manager = ce.manager()
    first, second = ce.wcnf_storage(), ce.wcnf_storage()
    interpreter = ce.witness_interpreter()
    manager.set_cnf_storage(first)
    manager.set_cnf_storage(second)
    manager.set_witness_interpreter(interpreter)
    assert manager.get_cnf_storage() is second
    assert manager.get_witness_interpreter() is interpreter
    # It keeps the object itself, so later changes by its owner are visible.
    second.add_hard_clause([1])
    assert manager.get_cnf_storage().hard_clauses() == [[1]]


@pytest.mark.parametrize(
    "setter, make_value",
    [
        ("set_cnf_storage", lambda: None),
        ("set_cnf_storage", ce.var_mapping),
        ("set_cnf_storage", lambda: [[1, 2]]),
        ("set_witness_interpreter", lambda: None),
        ("set_witness_interpreter", ce.wcnf_storage),
    ],
)
def test_manager_refuses_wrong_types(setter, make_value):
    manager = ce.manager()
    with pytest.raises(TypeError, match="expects a"):
        getattr(manager, setter)(make_value())
    assert manager.get_cnf_storage() is None and manager.get_witness_interpreter() is None


def test_python_version_is_the_running_interpreter():
    major, minor, micro = sys.version_info[:3]
    assert ce.get_python_version() == f"{major}.{minor}.{micro}"


def test_manager_creates_the_native_formula_encoder():
    from velmont.corvane_engine import _fenc

    encoder = ce.manager().create_formula_encoder("model")
    assert isinstance(encoder, _fenc.FormulaEncoder)
    assert encoder.get_cnf_storage() is None and encoder.get_var_mapping() is None
