"""Expression text evaluated through compiled shapes (its integers as names)
against plain eval: the same models, numbering and mapping, and the same
errors, for texts of every form and for texts the shapes must not read."""
import contextlib
import random

import pytest

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as dravo
from tarvo_encoder import And, Equiv, IfThenElse, Implication, Model, Or, Sum, SumIt, Xor, pow_expression
from tarvo_encoder.encode import _text_shapes
from tarvo_encoder.encode.expressions import Expression

from fast_roads import WITHOUT_EVALUATION, fast_roads_off, roads_taken


def constraints(x, y, i, j, rng):
    """Random constraints whose texts share shapes and differ in their integers."""
    for _ in range(40):
        a, b, c = rng.sample(range(6), 3)
        k = rng.randrange(3)
        yield rng.choice([
            lambda: (x[a] | ~x[b] | x[c], {}),
            lambda: (3 * x[a] - 2 * x[b] + x[c] <= rng.randrange(-1, 4), {}),
            lambda: (Sum(y[i, j], j=range(k + 1)) >= 1, dict(i=range(2))),
            lambda: (Sum(pow_expression(2, j) * y[i, j], j=range(3)) == a, dict(i=[k])),
            lambda: (Implication(x[i], x[i + 1]) & Xor(y[i, j], j=range(2)), dict(i=range(k + 1))),
            lambda: (IfThenElse(x[a], And(y[i, j], j=range(2)), Or(y[i, j], j=[0, 2])), dict(i=[1])),
            lambda: (Equiv(x[a], SumIt([x[b], x[c], y[k, 1]]) <= 1), {}),
            lambda: (~(x[a] + x[b] >= 2), {}),
        ])()


def built(seed):
    _text_shapes._shapes.clear()
    cmanager = ce.manager()
    model = Model(cmanager, "shapes")
    x = model.create_variables("x", k=7)
    y = model.create_variables("y", a=3, b=3)
    i, j = model.get_indexes(["i", "j"])
    outcomes = []
    for constraint, foralls in constraints(x, y, i, j, random.Random(seed)):
        try:
            model.add_constraint(constraint, **foralls)
            outcomes.append("added")
        except Exception as error:  # noqa: BLE001 - the errors are compared
            outcomes.append((type(error), str(error)))
    model.build_cnf()
    return outcomes, cmanager.get_cnf_storage().to_dimacs(), sorted(model._formula_container.mapping.items())


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("every_text_evaluated", [False, True])
def test_shapes_build_what_eval_builds(seed, every_text_evaluated):
    # With the roads that read texts without evaluation off, every constraint reaches the cache.
    closed = WITHOUT_EVALUATION if every_text_evaluated else ()
    with fast_roads_off(*closed) if closed else contextlib.nullcontext(), roads_taken() as taken:
        shaped = built(seed)
        assert _text_shapes._shapes
        assert not every_text_evaluated or set(taken) == {"evaluation"}
        with fast_roads_off("shape cache"):
            assert built(seed) == shaped


@pytest.mark.parametrize("text", [
    "bx.or_s([x(01).to_bx(), x(2).to_bx()])",  # a leading zero: Python refuses it
    "bx.or_s([x(1).to_bx(), q(2).to_bx()])",  # an unknown name
    "bx.or_s([x(1).to_bx(), x(2, 3).to_bx()])",  # a wrong number of indexes
    "bx.or_s([x(1).to_bx(), x(_tarvo_int_0).to_bx()])",  # a name like the placeholders
    "bx.or_s([x(1).to_bx(), x('1').to_bx()])",  # quotes
    "bx.or_s([x(1).to_bx() x(2).to_bx()])",  # a syntax error
])
def test_texts_the_shapes_must_not_read_go_as_eval_goes(text):
    def outcome(evaluate):
        model = Model(ce.manager(), "errors")
        model.create_variables("x", k=7)
        _text_shapes._shapes.clear()
        namespace = {"bx": dravo, **model._manager.name2genvar}
        try:
            return "value", str(evaluate(text, namespace))
        except Exception as error:  # noqa: BLE001 - the errors are compared
            return type(error), str(error)

    assert outcome(_text_shapes.evaluate) == outcome(eval)
