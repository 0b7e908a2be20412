"""Fuzz of the expansion text's literal reader (the native road of the
dumper) with mutants of valid literal texts (text_fuzz): for every record,
the dumper's result equals the evaluation of its expansion text, whether the
native road takes the record or leaves it to the evaluation: the same
mapping or exception, the same clauses."""
import logging
import math
import random

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder.core.dumper import DumpArgs, Dumper
from tarvo_encoder.encode.variables import Variable
from text_fuzz import inputs

# Records read; a few seconds in all.
COUNT = 2000

SEEDS = [
    "-x(i,j)", "x(i + 1,j)", "'_kelpa_aux_0'", "'~_kelpa_aux_1'", "'_dravo_aux_0'", "'~_dravo_aux_1'",
    "w(i + 1 + 1,2 * (j + 1))", "-y(i - (j - 1))", "w(-2 * i + 4,j - -1)", "y(i + -1 + j)", "-z()", "x(0,3)",
]
# The literal texts' own tokens and characters to refuse; no loops or powers, which the evaluation
# would run for as long as a mutant asks.
TOKENS = [
    "(", ")", ",", "+", "-", "*", " ", "0", "1", "2", "-1", "9223372036854775807", "9" * 40, "i", "j", "k",
    "x", "y", "w", "z", "'", "~", "_", "_kelpa_aux_", "_dravo_aux_", "'_kelpa_aux_0'", "\0", "é", "len",
    "__debug__", "True", "None", ".",
]


def declared():
    """dummy_var at 0, then x (3 x 4), y (5), z () and w (6 x 6) numbered on from 1."""
    blocks, start = {"dummy_var": Variable("dummy_var", {"d": 1}, 0)}, 1
    for name, sizes in {"x": (3, 4), "y": (5,), "z": (), "w": (6, 6)}.items():
        blocks[name] = Variable(name, {f"{name}{d}": size for d, size in enumerate(sizes)}, start)
        start += math.prod(sizes)
    return blocks


DECLARED = declared()


def record(template, foralls, pb, bx, start, weights=None):
    return DumpArgs(
        template_constraint=[list(clause) for clause in template],
        weights=None if weights is None else list(weights),
        foralls=dict(foralls),
        num_formula=1,
        init_shift_variable=start,
        shift_pb_variable=pb,
        shift_bx_variable=bx,
        offset_shift_for_formula=0,
        eval_state={name: variable.copy() for name, variable in DECLARED.items()},
        cnf_stor=ce.wcnf_storage(),
    )


def outcome(dump, make, caplog):
    a = make()
    caplog.clear()
    try:
        result = ("returned", list(dump(a).items()))
    except Exception as error:  # the evaluation's own exceptions are part of what must agree
        result = ("raised", type(error), str(error))
    return result, a.cnf_stor.to_dimacs(), [(r.levelno, r.getMessage()) for r in caplog.records]


# Mutants that Python compiles with a warning ("'int' object is not callable") are fine inputs.
@pytest.mark.filterwarnings("ignore::SyntaxWarning")
def test_mutated_literal_texts_give_what_their_evaluation_gives(caplog):
    rng = random.Random(13)
    texts = iter(inputs(14, SEEDS, COUNT * 3, TOKENS))
    for _ in range(COUNT):
        template = [[next(texts) for _ in range(rng.randint(0, 2))] for _ in range(rng.randint(1, 2))]
        foralls = rng.choice([{}, {"i": range(2)}, {"i": [0, 2], "j": range(1, 3)}, {"i": range(3), "j": [1]}])
        pb, bx = rng.randint(0, 2), rng.randint(0, 2)
        weights = None if rng.random() < 0.5 else [rng.randint(0, 3) for _ in template]

        def make():
            return record(template, foralls, pb, bx, 200, weights)

        with caplog.at_level(logging.DEBUG):
            chosen, reference = outcome(Dumper._dump_cnf, make, caplog), outcome(Dumper._dump_cnf_by_evaluation, make, caplog)
        assert chosen == reference, (template, foralls)
