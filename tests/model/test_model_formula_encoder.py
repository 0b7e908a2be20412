"""Formula-encoder mode, driven against a recording encoder, and the pass-through methods."""
import re

import numpy as np
import pytest

import velmont.corvane_engine as ce
from tarvo_encoder._exceptions import BuildError, FormulaError, TargetError
from tarvo_encoder.encode.model import Model
from tarvo_encoder.encode.variables import Variable

from model_recorders import RecordingManager, small_var_mapping


@pytest.fixture
def fenc(sink, recording_manager):
    model = Model(recording_manager, "fm", use_formula_encoder=True)
    model.x = model.create_variables("x", i=2, j=3)
    model.i, model.j = model.get_indexes("ij")
    model.encoder, = recording_manager.encoders
    sink.clear()
    return model


def test_texts_are_forwarded_unevaluated(fenc, sink):
    x, i, j = fenc.x, fenc.i, fenc.j
    hard = x[i, j] + x[i + 1, j] <= 1
    undeclared = x[0, 7] | x[1, 0, 0]
    fenc.add_constraint(hard, i=range(2), j=range(4))
    fenc.add_constraint(undeclared)
    fenc.add_target(x[0, 0] + x[1, 2])
    fenc.add_constraint(x[0, 0] | x[1, 1])
    fenc.add_soft_constraint(x[0, 0] + x[1, 1], 3, True, i=range(2))

    assert fenc.encoder.calls[1:] == [
        ("add_constraint", (str(hard), "Foralls: {'i': range(0, 2), 'j': range(0, 4)}")),
        ("add_constraint", (str(undeclared), "Foralls: {}")),
        ("add_target", ("x(0,0).to_pb() + x(1,2).to_pb()",)),
        ("add_constraint", ("bx.or_s([x(0,0).to_bx(), x(1,1).to_bx()])", "Foralls: {}")),
        ("add_soft_constraint", ("x(0,0).to_pb() + x(1,1).to_pb()", "Foralls: {'i': range(0, 2)}", 3, True)),
    ]
    assert sink.at("debug")[0] == ("     constraint : " + str(hard) + "___{'i': range(0, 2), 'j': range(0, 4)}")


def test_a_target_leaves_the_flag_in_formula_encoder_mode(fenc):
    fenc.add_target(fenc.x[0, 0] & fenc.x[0, 1])
    assert fenc._is_wcnf is None and fenc.use_target is False
    fenc.add_soft_constraint(fenc.x[0, 0])
    assert fenc._is_wcnf is True
    with pytest.raises(FormulaError, match="^Current model already works with WCNF$"):
        fenc.add_target(fenc.x[0, 0])
    with pytest.raises(TargetError, match="^Soft constraint has already been defined$"):
        fenc.add_constraint(fenc.x[0, 0] | fenc.x[0, 1])


def test_cnf_build_through_the_encoder(fenc, sink, recording_manager):
    fenc.add_constraint(fenc.x[0, 0] | fenc.x[0, 1])
    fenc.add_target(fenc.x[0, 0] + fenc.x[1, 1])

    assert fenc.build_cnf() is True

    assert fenc.encoder.calls[-1] == ("generate_cnf", ())
    assert recording_manager.storage is fenc.encoder.storage
    assert recording_manager.interpreter is not None
    start, finish = sink.at("info")
    assert start == "      CNF build : started. Model <fm>; Target variables = 5"
    assert re.fullmatch(r"         action : CNF build finished \(formula encoder\)\. Duration = "
                        r"\d\d:\d\d:\d\d\.\d\d\d", finish)
    assert fenc.get_cnf_storage() is fenc.encoder.storage and fenc.get_var_mapping() is fenc.encoder.var_mapping


@pytest.mark.parametrize("border, minimization", [(None, None), (3, True), (None, False)])
def test_a_border_given_to_the_encoder_is_said_to_be_ignored(fenc, sink, border, minimization):
    # A loop that lowers the border until UNSAT never ends here: the build must say why.
    fenc.add_target(fenc.x[0, 0] + fenc.x[1, 1])
    assert fenc.build_cnf(border, minimization) is True
    assert fenc.encoder.calls[-1] == ("generate_cnf", ())
    ignored = ("Formula-encoder mode ignores the border and the minimization flag: its target is always"
               " minimised, below the value of the witness given with set_witness")
    assert sink.at("warning") == ([] if border is minimization is None else [ignored])


def test_wcnf_build_through_the_encoder(fenc, sink, recording_manager):
    fenc.add_soft_constraint(fenc.x[0, 0])
    assert fenc.build_wcnf() is True
    assert sink.at("info") == ["     WCNF build : started. Model <fm>; Target variables = 5",
                               "         action : WCNF build finished(formula encoder)."]


@pytest.mark.parametrize("names, storage, result, message, handed_storage, handed_interpreter", [
    (None, True, False, "Variable mapping is empty", True, False),
    ((), True, False, None, True, False),
    (("x[0]",), False, BuildError, "CNF storage is empty", False, False),
])
def test_encoder_results_decide_the_hand_off(sink, names, storage, result, message, handed_storage,
                                             handed_interpreter):
    var_mapping = None if names is None else small_var_mapping(names)
    cmanager = RecordingManager(storage=ce.wcnf_storage() if storage else None, var_mapping=var_mapping)
    model = Model(cmanager, "fm", use_formula_encoder=True)
    model.create_variables("x", i=2)
    sink.clear()

    if result is BuildError:
        with pytest.raises(BuildError, match="^" + message + "$"):
            model.build_cnf()
    else:
        assert model.build_cnf() is result
    assert sink.at("error") == ([message] if message else [])
    assert (cmanager.storage is not None) is handed_storage
    assert (cmanager.interpreter is not None) is handed_interpreter
    finished = [line for line in sink.at("info") if "finished" in line]
    assert bool(finished) is (message is None)


X = Variable("x", {"i": 2}, 0)


@pytest.mark.parametrize("call", [
    lambda m: m.create_variables("x", i=2),
    lambda m: m.add_constraint(X[0] | X[1]),
    lambda m: m.add_soft_constraint(X[0]),
    lambda m: m.add_target(X[0] + X[1]),
    lambda m: m.build_cnf(),
], ids=["declaration", "constraint", "soft", "target", "build"])
def test_formula_encoder_mode_without_engine_manager(sink, call):
    model = Model(None, "fm", use_formula_encoder=True)
    with pytest.raises(BuildError) as raised:
        call(model)
    assert str(raised.value) == "Corvane manager is not set or empty"
    assert sink.at("error") == ["Corvane manager is not set or empty"]


@pytest.mark.parametrize("values, text", [
    (np.arange(30), "[" + ", ".join(map(str, range(30))) + "]"),
    ((np.int64(2), True), "[2, 1]"),
    ([0, 5], "[0, 5]"),
], ids=["numpy array longer than numpy prints whole", "numpy int and bool", "list"])
def test_foralls_reach_the_encoder_as_plain_ints(fenc, values, text):
    fenc.add_constraint(fenc.x[0, 0] | fenc.x[1, 1], i=values)
    assert fenc.encoder.calls[-1] == ("add_constraint", ("bx.or_s([x(0,0).to_bx(), x(1,1).to_bx()])",
                                                         "Foralls: {'i': " + text + "}"))


def test_foralls_the_encoder_cannot_read_are_refused(fenc, sink):
    with pytest.raises(TypeError, match="^Forall 'i' holds 'a' of type str, which is not an int$"):
        fenc.add_constraint(fenc.x[0, 0] | fenc.x[1, 1], i=["a"])
    assert len(fenc.encoder.calls) == 1 and sink.at("error")
