import pytest

import tarvo_encoder.encode as encode
import tarvo_encoder.encode.expressions as expressions

NAMES = [
    "Sum", "SumIt", "And", "AndIt", "Or", "OrIt", "Xor", "XorIt",
    "Equiv", "Implication", "IfThenElse", "pow_expression", "Zero", "One",
]


def test_package_offers_the_expression_names_in_order():
    assert encode.__all__ == NAMES
    for name in NAMES:
        assert getattr(encode, name) is getattr(expressions, name)


def test_star_import_binds_exactly_the_expression_names():
    namespace = {}
    exec("from tarvo_encoder.encode import *", namespace)
    assert sorted(set(namespace) - {"__builtins__"}) == sorted(NAMES)


def test_package_hides_the_building_blocks():
    assert not hasattr(encode, "Expression")
    assert not hasattr(encode, "VariableProxy")


@pytest.mark.parametrize("module", ["tarvo_encoder.encode.expressions", "tarvo_encoder.encode.variables"])
def test_star_import_of_a_module_binds_none_of_its_text_helpers(module):
    namespace = {}
    exec("from " + module + " import *", namespace)
    assert not {"grouped", "grouped_sum", "scaled_text", "shifted_text"} & set(namespace)
