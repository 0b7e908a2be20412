"""numpy integer arrays as the values of a combinator's loop, on both roads:
the same models as the range or list they hold."""
import numpy as np
import pytest

from roads_check import ROADS, Built
from tarvo_encoder import And, Or, Sum


@pytest.mark.parametrize("add, same_with_lists", [
    (lambda m, v: m.add_constraint(Sum(v.x[v.i], i=np.arange(4)) == 2),
     lambda m, v: m.add_constraint(Sum(v.x[v.i], i=range(4)) == 2)),
    (lambda m, v: m.add_constraint(And(v.x[v.i], i=np.array([0, 2], dtype=np.int8))),
     lambda m, v: m.add_constraint(And(v.x[v.i], i=[0, 2]))),
    (lambda m, v: m.add_constraint(Or(v.x[v.i] & v.x[v.j], i=np.arange(2), j=np.arange(2, 4))),
     lambda m, v: m.add_constraint(Or(v.x[v.i] & v.x[v.j], i=range(2), j=[2, 3]))),
    (lambda m, v: m.add_constraint(Sum(v.x[v.k + v.i], i=np.arange(2)) <= 1, k=np.arange(3)),
     lambda m, v: m.add_constraint(Sum(v.x[v.k + v.i], i=range(2)) <= 1, k=range(3))),
], ids=["Sum", "And over int8", "Or over two loops", "Sum under a forall"])
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_numpy_loop_values_build_the_models_of_their_list(road, add, same_with_lists):
    built, expected = Built(road, x={"a": 4}), Built(road, x={"a": 4})
    add(built.model, built.v)
    same_with_lists(expected.model, expected.v)
    built.model.build_cnf()
    expected.model.build_cnf()
    assert built.models() == expected.models()
    assert built.models()  # the constraint admits some assignment, so the comparison says something
