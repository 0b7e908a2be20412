"""A soft constraint or a target that is not an expression is refused with a
logged TypeError, not an attribute error, and leaves the model as it was."""
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder import Model, Sum
from usage_solving import element_names, projected_models

CONSTRAINT_TEXT = "Variable 'constraint' must contain only objects of type 'Expression'"
TARGET_TEXT = "Variable 'target' must contain only objects of type 'Expression'"


@pytest.mark.parametrize("add, argument, message", [
    (Model.add_soft_constraint, None, CONSTRAINT_TEXT),
    (Model.add_soft_constraint, "x(0).to_pb()", CONSTRAINT_TEXT),
    (Model.add_soft_constraint, 3, CONSTRAINT_TEXT),
    (Model.add_target, None, TARGET_TEXT),
    (Model.add_target, [1, 2], TARGET_TEXT),
], ids=["soft None", "soft text", "soft int", "target None", "target list"])
def test_non_expression_is_refused_and_the_model_stays_usable(add, argument, message, caplog):
    cmanager = ce.manager()
    model = Model(cmanager, "types")
    x = model.create_variables("x", n=2)
    with pytest.raises(TypeError) as raised:
        add(model, argument)
    assert raised.value.args == (message,)
    assert ("ERROR", message) in [(record.levelname, record.getMessage()) for record in caplog.records]
    # Nothing was compiled: a variable can still be declared and the model built.
    y = model.create_variables("y", n=1)
    model.add_constraint(Sum(x[0] + x[1] + y[0]) == 1)
    model.build_cnf()
    names = element_names("x", 2) + element_names("y", 1)
    assert projected_models(model, cmanager, names) == {(True, False, False), (False, True, False),
                                                        (False, False, True)}
