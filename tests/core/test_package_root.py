import subprocess
import sys

import tarvo_encoder
from tarvo_encoder import version
from tarvo_encoder.encode import expressions
from tarvo_encoder.encode.model import Model
from tarvo_encoder.linear_parser import linear_expression, linear_model

EXPORTS = ["Model", "Sum", "SumIt", "And", "AndIt", "Or", "OrIt", "Xor", "XorIt", "Equiv", "Implication",
           "IfThenElse", "pow_expression", "Zero", "One", "LinearModel", "SolutionStatus", "VariableType", "inf"]


def test_star_import_binds_exactly_the_exports():
    namespace = {}
    exec("from tarvo_encoder import *", namespace)
    assert tarvo_encoder.__all__ == EXPORTS
    assert sorted(n for n in namespace if n != "__builtins__") == sorted(EXPORTS)


def test_exports_are_the_very_objects_of_their_modules():
    assert tarvo_encoder.Model is Model
    for name in EXPORTS[1:15]:
        assert getattr(tarvo_encoder, name) is getattr(expressions, name)
    for name in EXPORTS[15:]:
        assert getattr(tarvo_encoder, name) is getattr(linear_model, name)
    # The linear model's like-named sums stay inside its own package.
    assert tarvo_encoder.Sum is not linear_expression.Sum
    assert tarvo_encoder.SumIt is not linear_expression.SumIt


def test_version_is_the_version_module_text():
    assert tarvo_encoder.__version__ == "0.2.5.2048"
    assert tarvo_encoder.__version__ is version.tarvo_version


def test_array_linear_model_loads_only_when_imported_by_name():
    code = "import sys, tarvo_encoder; print('tarvo_encoder.linear_parser2' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.strip() == "False"
