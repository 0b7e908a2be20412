"""The two modes behind one Model: each back end answers every call the model
makes of it, and the model's reports still name the caller's own statement."""
import inspect
import linecache

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder import Or
from tarvo_encoder._exceptions import FormulaError
from tarvo_encoder.encode._container_backend import ContainerBackend
from tarvo_encoder.encode._encoder_backend import EncoderBackend
from tarvo_encoder.encode.model import Model


def surface(backend_class):
    return {name: list(inspect.signature(member).parameters)
            for name, member in vars(backend_class).items()
            if callable(member) and not name.startswith("_")}


def test_both_back_ends_offer_the_same_calls_with_the_same_parameters():
    # A call one mode lacks would fail only in that mode, with a bare AttributeError.
    assert surface(ContainerBackend) == surface(EncoderBackend)
    assert ContainerBackend.cnf_finished != EncoderBackend.cnf_finished


@pytest.mark.parametrize("statement, message", [
    ("model.add_constraint(x[0] & ~x[0])",
     "Contradiction was detected in formula model.add_constraint(x[0] & ~x[0]), line 1"),
    ("model.add_constraint(Or(x[k], k='range(i, 2)'), i=range(3))",
     "Contradiction was detected in formula model.add_constraint(Or(x[k], k='range(i, 2)'), i=range(3)),"
     " line 1 (instance i = 2)"),
], ids=["one template", "instance by instance"])
def test_a_contradiction_names_the_statement_that_added_it(sink, statement, message):
    model = Model(ce.manager(), "m")
    x = model.create_variables("x", a=3)
    i, k = model.get_indexes(["i", "k"])
    file_name = "written_model.py"
    linecache.cache[file_name] = (len(statement), None, [statement + "\n"], file_name)
    try:
        with pytest.raises(FormulaError) as raised:
            exec(compile(statement, file_name, "exec"), {"model": model, "x": x, "i": i, "k": k, "Or": Or})
    finally:
        del linecache.cache[file_name]
    assert str(raised.value) == message and sink.at("error")[-1] == message
