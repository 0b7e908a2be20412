"""An element reference times a coefficient expression, x[i] * pow_expression(2, i),
means the same term as the factor written first, in container mode as in
formula-encoder mode; a product of two references is refused with a message."""
import pytest

import velmont.corvane_engine as ce
from pysat.examples.rc2 import RC2
from pysat.formula import WCNF
from tarvo_encoder import Model, Sum, pow_expression
from usage_solving import brute_force, element_names, projected_models

N = 3
NAMES = element_names("x", N)


def value(v, weights):
    return sum(w * v[f"x[{k}]"] for k, w in enumerate(weights))


CONSTRAINTS = {
    "weighted sum": (lambda x, i: Sum(x[i] * pow_expression(2, i), i=range(N)) == 5,
                     lambda v: value(v, [1, 2, 4]) == 5),
    "reference first in a difference": (lambda x, i: x[0] * pow_expression(3, 1) - x[1] - x[2] >= 2,
                                        lambda v: value(v, [3, -1, -1]) >= 2),
}


@pytest.mark.parametrize("use_formula_encoder", [False, True], ids=["container", "formula encoder"])
@pytest.mark.parametrize("build, predicate", CONSTRAINTS.values(), ids=CONSTRAINTS.keys())
def test_reference_times_coefficient_in_a_constraint(build, predicate, use_formula_encoder):
    cmanager = ce.manager()
    model = Model(cmanager, "products", use_formula_encoder=use_formula_encoder)
    x = model.create_variables("x", n=N)
    i = model.get_indexes("i")
    model.add_constraint(build(x, i))
    model.build_cnf()
    assert projected_models(model, cmanager, NAMES) == brute_force(NAMES, predicate)


def test_reference_times_coefficient_as_soft_weights():
    # Maximise 1*x0 + 2*x1 + 4*x2 with at most two elements true: x1 and x2, value 6.
    cmanager = ce.manager()
    model = Model(cmanager, "soft products")
    x = model.create_variables("x", n=N)
    i = model.get_indexes("i")
    model.add_constraint(Sum(x[i], i=range(N)) <= 2)
    model.add_soft_constraint(Sum(x[i] * pow_expression(2, i), i=range(N)), minimization=False)
    model.build_wcnf()
    with RC2(WCNF(from_string=cmanager.get_cnf_storage().to_dimacs())) as rc2:
        values = cmanager.get_witness_interpreter().interpret(rc2.compute())
    assert [bool(values[name]) for name in NAMES] == [False, True, True]


def test_product_of_two_references_is_refused_with_a_message(caplog):
    model = Model(ce.manager(), "refused")
    x = model.create_variables("x", n=N)
    message = "A product of x(0) needs an integer factor, not a PBVariable: a product of two terms is not pseudo-Boolean"
    with pytest.raises(TypeError) as raised:
        model.add_constraint(x[0] * x[1] >= 1)
    assert raised.value.args == (message,)
    assert ("ERROR", message) in [(record.levelname, record.getMessage()) for record in caplog.records]
