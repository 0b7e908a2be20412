"""Everything a build lets a caller observe, recorded for random models in
both modes, and for storages and mappings filled directly: clause texts and
lists, the mapping's entries in order with look-ups both ways, the witness
interpreter's answers and the errors of refused calls. The recording of a
fixed set of seeds is kept in build_outputs_reference.json.gz, so that a
change of the storage's or the mapping's representation can be checked
against the behaviour it replaces:

    python tests/model/build_outputs.py --write     (rewrites the reference)
"""
import gzip
import json
import logging
import pathlib
import random
import sys

import velmont.corvane_engine as ce
from tarvo_encoder import Implication, Model, Sum, SumIt

REFERENCE = pathlib.Path(__file__).with_name("build_outputs_reference.json.gz")
MODEL_SEEDS = range(24)
STORAGE_SEEDS = range(12)


def refused(call):
    """The result of call(), or the type and text of what it raised."""
    try:
        return {"value": call()}
    except Exception as error:  # noqa: BLE001 - the error is what is recorded
        return {"error": type(error).__name__, "text": str(error)}


def random_model(rng: random.Random, use_formula_encoder: bool):
    """A model over x (rows x columns) and y (rows) with hard constraints over
    foralls and without, and either soft constraints or a target."""
    cmanager = ce.manager()
    m = Model(cmanager, f"model{rng.randrange(100)}", use_formula_encoder=use_formula_encoder)
    rows, columns = rng.randint(2, 5), rng.randint(2, 5)
    x = m.create_variables("x", r=rows, c=columns)
    y = m.create_variables("y", k=rows)
    i, j = m.get_indexes(["i", "j"])
    weighted = rng.random() < 0.5
    target = not weighted and not use_formula_encoder and rng.random() < 0.5
    cell = lambda: x[rng.randrange(rows), rng.randrange(columns)]  # noqa: E731
    forms = [
        lambda: m.add_constraint(x[i, j] | ~x[i, j + 1] | y[i], i=range(rows), j=range(columns - 1)),
        lambda: m.add_constraint(Sum(x[i, j], j=range(columns)) <= rng.randint(1, 2), i=range(rows)),
        lambda: m.add_constraint(Sum(x[i, j], i=range(rows)) == 1, j=range(columns)),
        lambda: m.add_constraint(SumIt([cell() for _ in range(rng.randint(2, 6))]) <= rng.randint(1, 2)),
        lambda: m.add_constraint(Implication(x[i, 0], x[i, 1] | y[i]), i=range(rows)),
        lambda: m.add_constraint(2 * x[i, 0] + 3 * x[i, 1] + y[i] >= rng.randint(1, 3), i=range(rows)),
        lambda: m.add_constraint(cell() | ~y[rng.randrange(rows)]),
        lambda: m.add_constraint(Implication(cell(), cell() ^ y[0])),
    ]
    for _ in range(rng.randint(1, 6)):
        rng.choice(forms)()
    if weighted:
        for _ in range(rng.randint(1, 3)):
            if rng.random() < 0.5:
                m.add_soft_constraint(Sum(x[i, j], j=range(columns)), weight=rng.randint(1, 9),
                                      minimization=rng.random() < 0.5, i=range(rows))
            else:
                m.add_soft_constraint(rng.randint(1, 4) * cell() + y[0], weight=rng.randint(1, 9))
        built = m.build_wcnf()
    elif target:
        m.add_target(Sum(x[i, j], i=range(rows), j=range(columns)) + 2 * y[0])
        built = m.build_cnf(rng.randint(0, rows * columns), rng.random() < 0.5)
    else:
        built = m.build_cnf()
    return m, cmanager, built


def mapping_record(mapping, names, numbers):
    """Look-ups both ways: every given name and number, and a few that are not mapped."""
    return {
        "len": len(mapping),
        "numbers": [refused(lambda: mapping.number_of(name)) for name in names + ["x[9,9]", "_kelpa_aux[0,0,99]", "x"]],
        "names": [refused(lambda: mapping.name_of(number)) for number in numbers],
    }


def interpreter_answers(mapping, rng: random.Random, largest: int, hide: bool):
    interpreter = ce.witness_interpreter()
    interpreter.set_var_mapping(mapping)
    interpreter.set_auxiliary_vars(["_dravo_aux", "_kelpa_aux"])
    ready = interpreter.build_mapping_tables(hide)
    answers = []
    for _ in range(3):
        model = [v if rng.random() < 0.5 else -v for v in range(1, largest + 1) if rng.random() < 0.8]
        answers.append(list(interpreter.interpret(model).items()))
    answers.append(refused(lambda: interpreter.interpret([1, -1])))
    return {"ready": ready, "answers": answers}


def storage_record(storage):
    return {
        "dimacs": storage.to_dimacs(),
        "hard": storage.hard_clauses(),
        "soft": [list(clause) for clause in storage.soft_clauses()],
        "stored": storage.stored_clause_count,
        "header": [storage.model_name, storage.variable_count, storage.clause_count, storage.weight_limit],
        "prefatory": storage.prefatory_values(),
    }


def model_record(seed: int, use_formula_encoder: bool) -> dict:
    rng = random.Random(seed)
    m, cmanager, built = random_model(rng, use_formula_encoder)
    m.add_preliminary_var_value(1, negative=True)
    storage = cmanager.get_cnf_storage()
    mapping = m.get_var_mapping()
    # Every name in mapping order: an interpreter that hides nothing answers for each.
    everything = ce.witness_interpreter()
    everything.set_var_mapping(mapping)
    everything.build_mapping_tables(False)
    names = list(everything.interpret([]))
    largest = max(storage.variable_count, max(mapping.number_of(name) for name in names))
    record = {
        "built": built,
        "storage": storage_record(storage),
        "entries": [(name, mapping.number_of(name)) for name in names],
        "look_ups": mapping_record(mapping, names, list(range(-1, largest + 3))),
        "manager_interpreter": cmanager.get_witness_interpreter() is not None,
        "shown": interpreter_answers(mapping, rng, largest, True),
        "everything": interpreter_answers(mapping, rng, largest, False),
    }
    if not use_formula_encoder:
        record["container_mapping"] = list(m._formula_container.mapping.items())
    return record


def direct_record(seed: int) -> dict:
    """A storage and a mapping filled directly, with numbers of every width."""
    rng = random.Random(1000 + seed)
    width = rng.choice([10, 2**20, 2**31 - 1, 2**31 + 5, 2**40, 2**63 - 1])
    storage = ce.wcnf_storage()
    for _ in range(rng.randint(0, 30)):
        clause = [rng.choice([-1, 1]) * rng.randint(1, width) for _ in range(rng.randint(0, 4))]
        if rng.random() < 0.3:
            storage.add_soft_clause(clause, rng.choice([1, 2, 255, 256, 2**16, 2**31, 2**40]))
        else:
            storage.add_hard_clause(clause)
    if rng.random() < 0.5 and storage.stored_clause_count:
        first = rng.randrange(storage.stored_clause_count)
        storage.remove_clauses(first, rng.randint(0, storage.stored_clause_count - first))
    other = ce.wcnf_storage()
    other.add_hard_clause([rng.randint(1, width)])
    other.add_soft_clause([-rng.randint(1, width)], rng.randint(1, 50))
    storage.merge(other)
    storage.insert_prefatory_value(-rng.randint(1, width))
    storage.set_variable_count(rng.randint(0, 100))
    refusals = [
        refused(lambda: storage.add_hard_clause([0])),
        refused(lambda: storage.add_hard_clause([-(2**63)])),
        refused(lambda: storage.add_soft_clause([1], 0)),
        refused(lambda: storage.remove_clauses(storage.stored_clause_count, 1)),
    ]
    names = {}
    for k in range(rng.randint(1, 20)):
        name = rng.choice(["x[{}]", "_kelpa_aux[0,{},0]", "_dravo_aux[1,0,{}]", "v{}", "x[0{}]"]).format(k)
        names[name] = rng.randint(0, width)
    mapping = ce.var_mapping()
    mapping.set_var_map(names)
    inverse = refused(mapping.build_inverse_map)
    numbers = sorted(set(names.values()))[:20] + [width + 1]
    look_ups = mapping_record(mapping, list(names), numbers) if "error" not in inverse else None
    duplicate = ce.var_mapping()
    duplicate.set_var_map({"a": 3, "b": 3})
    return {
        "storage": storage_record(storage) | {"refusals": refusals},
        "inverse": inverse,
        "look_ups": look_ups,
        "duplicate": refused(duplicate.build_inverse_map),
        "negative": refused(lambda: ce.var_mapping().set_var_map({"a": -1})),
    }


def record_all() -> dict:
    logging.getLogger("velmont.corvane_engine").setLevel(logging.CRITICAL)
    return {
        "models": {f"{seed}-{mode}": model_record(seed, mode == "encoder")
                   for seed in MODEL_SEEDS for mode in ("container", "encoder")},
        "direct": {str(seed): direct_record(seed) for seed in STORAGE_SEEDS},
    }


def normalised(record):
    """The record as JSON gives it back: tuples become lists."""
    return json.loads(json.dumps(record))


def reference() -> dict:
    with gzip.open(REFERENCE, "rt") as file:
        return json.load(file)


if __name__ == "__main__" and sys.argv[1:] == ["--write"]:
    with gzip.open(REFERENCE, "wt") as file:
        json.dump(record_all(), file, separators=(",", ":"))
