"""The formula encoder's model-level operations: declarations and numbering,
the storage header and mapping, witnesses and the optimisation loop,
metrics files."""

import csv
import json
import re

import pytest
from pysat.solvers import Solver

from fenc_truth import DECLARED, TextWriter, assignments, element_numbers, evaluate
from velmont.corvane_engine import _fenc

NUMBERS = element_numbers()


def declared_encoder(name="model"):
    e = _fenc.FormulaEncoder(name)
    for var, sizes in DECLARED.items():
        e.create_variables(var, sizes)
    return e


def test_elements_are_numbered_row_major_from_one_in_declaration_order():
    e = _fenc.FormulaEncoder("m")
    e.create_variables("x", [2, 3])
    e.create_variables("empty", [0, 2])
    e.create_variables("s", [])
    e.create_variables("y", [2])
    assert e.get_cnf_storage() is None and e.get_var_mapping() is None
    e.generate_cnf()
    mapping = e.get_var_mapping()
    names = ["x[0,0]", "x[0,1]", "x[0,2]", "x[1,0]", "x[1,1]", "x[1,2]", "s[]", "y[0]", "y[1]"]
    assert len(mapping) == len(names)
    assert [mapping.name_of(k) for k in range(1, 10)] == names
    assert [mapping.number_of(n) for n in names] == list(range(1, 10))
    storage = e.get_cnf_storage()
    assert (storage.model_name, storage.variable_count, storage.clause_count, storage.weight_limit) == ("m", 9, 0, None)


@pytest.mark.parametrize("name, sizes, error, message", [
    ("x", [1], ValueError, "already declared"),
    ("z", [-1], ValueError, "negative"),
    ("z", [2.0], TypeError, "must be an int"),
    ("z", 3, TypeError, "list or tuple"),
    ("a b", [1], ValueError, "not an identifier"),
    ("_dravo_aux", [2, 2, 2], ValueError, "reserved for aux variables"),
    ("_kelpa_auxx", [1], ValueError, "reserved for aux variables"),
    ("\u20ac", [1], ValueError, "not an identifier"),
    ("1\xe9", [1], ValueError, "not an identifier"),
    # Counts beyond what a model can hold are refused up front, naming the count.
    ("z", [2**30, 2**30], ValueError, "'z' has 1152921504606846976 elements; a model holds at most 2147483647"),
    ("z", [2**62, 2**62], ValueError, "has 21267647932558653966460912964485513216 elements"),
    ("z", [2**31 - 2], ValueError, r"has 2147483646 elements; .* \(2 declared before\)"),
])
def test_bad_declarations_are_refused(name, sizes, error, message):
    e = _fenc.FormulaEncoder("m")
    e.create_variables("x", [2])
    with pytest.raises(error, match=message):
        e.create_variables(name, sizes)


def test_a_model_holds_up_to_the_largest_element_count_and_shapes_without_elements():
    e = _fenc.FormulaEncoder("m")
    e.create_variables("x", [2])
    e.create_variables("none", [0, 2**62, 2**62])
    e.create_variables("z", [2**31 - 3])
    with pytest.raises(ValueError, match=r"'one_more' has 1 elements; .* \(2147483647 declared before\)"):
        e.create_variables("one_more", [1])


def test_aux_variables_follow_the_elements_in_blocks_per_instance():
    e = declared_encoder()
    e.add_constraint("x(0).to_bx()", "Foralls: {}")
    e.add_constraint("bx.or_s([bx.xor_s([x(i).to_bx(), y(0,0).to_bx(), y(1,1).to_bx()]), "
                     "FormulaPB(Sum(*[3 * (x(j).to_pb()) for j in range(0, 3)]) + y(i,1).to_pb(), "
                     "pb.Comparator_type.GEQ, 4).to_bx(manager)])", "Foralls: {'i': range(0, 2)}")
    e.generate_cnf()
    storage, mapping = e.get_cnf_storage(), e.get_var_mapping()
    elements = len(NUMBERS)
    assert storage.variable_count == len(mapping) > elements
    assert storage.clause_count == len(storage.hard_clauses())
    aux = [mapping.name_of(k) for k in range(elements + 1, storage.variable_count + 1)]
    parsed = [re.fullmatch(r"(_kelpa_aux|_dravo_aux)\[(\d+),(\d+),(\d+)\]", name).groups() for name in aux]
    # One block per instance of formula 1, PB auxiliaries before Tseytin ones, indexes from 0.
    assert {f for _, f, _, _ in parsed} == {"1"}
    blocks = [[(p, int(k)) for p, _, n, k in parsed if n == str(instance)] for instance in range(2)]
    assert blocks[0] and [p for p, _ in blocks[0]] == [p for p, _ in blocks[1]]
    for block in blocks:
        kinds = [p for p, _ in block]
        assert kinds == sorted(kinds, key=lambda p: p != "_kelpa_aux")
        for prefix in ("_kelpa_aux", "_dravo_aux"):
            assert [k for p, k in block if p == prefix] == list(range(kinds.count(prefix)))
    assert [int(n) for _, _, n, _ in parsed] == sorted(int(n) for _, _, n, _ in parsed)


def test_a_declaration_after_a_formula_moves_its_aux_variables_above_the_new_elements():
    formula = ("FormulaPB(Sum(*[2 * (x(j).to_pb()) for j in range(0, 3)]) + x(i).to_pb(), "
               "pb.Comparator_type.LEQ, 3).to_bx(manager)", "Foralls: {'i': range(0, 3)}")
    e = _fenc.FormulaEncoder("m")
    e.create_variables("x", [3])
    e.add_constraint(*formula)
    e.generate_cnf()
    before, before_mapping = e.get_cnf_storage().hard_clauses(), e.get_var_mapping()
    e.create_variables("y", [5])
    e.add_constraint(*formula)
    e.generate_cnf()
    after, mapping = e.get_cnf_storage(), e.get_var_mapping()
    moved = [[(abs(v) + 5) * (1 if v > 0 else -1) if abs(v) > 3 else v for v in clause] for clause in before]
    assert after.hard_clauses()[:len(before)] == moved
    last_aux = len(before_mapping)  # x[0..2] are 1 to 3, the aux variables 4 up to here
    assert [mapping.name_of(k + 5) for k in range(4, last_aux + 1)] == [
        before_mapping.name_of(k) for k in range(4, last_aux + 1)]
    # The second formula's area follows the first one's.
    second = {abs(v) for clause in after.hard_clauses()[len(before):] for v in clause if abs(v) > 8}
    assert min(second) == last_aux + 6 and max(second) == after.variable_count


def test_failed_add_leaves_the_encoder_unchanged():
    e = declared_encoder()
    e.add_constraint("x(0).to_bx()", "Foralls: {}")
    e.generate_cnf()
    before = e.get_cnf_storage().to_dimacs()
    with pytest.raises(ValueError):
        e.add_constraint("bx.and_s([x(i).to_bx(), x(i + 2).to_bx()])", "Foralls: {'i': range(0, 3)}")
    with pytest.raises(TypeError):
        e.add_soft_constraint("x(0).to_pb()", "Foralls: {}", 1.5, True)
    with pytest.raises(OverflowError):
        e.add_soft_constraint("x(0).to_pb()", "Foralls: {}", 2**63, True)
    with pytest.raises(OverflowError):
        e.add_soft_constraint("4 * (x(0).to_pb())", "Foralls: {}", 2**62, True)
    e.generate_cnf()
    assert e.get_cnf_storage().to_dimacs() == before


def target_value(text, model):
    true = {l for l in model if l > 0}
    return evaluate(text, {key: number in true for key, number in NUMBERS.items()})


@pytest.mark.parametrize("seed", range(25))
def test_optimisation_loop_ends_at_the_brute_force_optimum(seed):
    writer = TextWriter(5000 + seed)
    hard = writer.boolean(2, [])
    target = writer.pb(2, [])
    e = declared_encoder()
    e.add_constraint(hard, "Foralls: {}")
    e.add_target(target)
    feasible = [evaluate(target, value_of) for value_of, _ in assignments(NUMBERS) if evaluate(hard, value_of)]
    last = None
    for _ in range(200):
        e.generate_cnf()
        with Solver(name="minisat22", bootstrap_with=e.get_cnf_storage().hard_clauses()) as solver:
            if not solver.solve():
                break
            model = solver.get_model()
        if last is not None:
            assert target_value(target, model) < target_value(target, last)
        last = model
        e.set_witness(model)
    else:
        pytest.fail("the loop did not end")
    if feasible:
        assert target_value(target, last) == min(feasible), (hard, target)
    else:
        assert last is None


def test_another_witness_differs_only_on_declared_elements():
    e = declared_encoder()
    elements = len(NUMBERS)
    base = [k if k % 2 else -k for k in range(1, elements + 1)]
    assert not e.check_another_witness()
    e.set_another_witness(base)
    assert not e.check_another_witness()  # no first witness yet
    e.set_witness(base + [elements + 1])
    assert not e.check_another_witness()  # differ on an aux variable only
    e.set_another_witness([-base[0]] + base[1:])
    assert e.check_another_witness()
    e.reset()
    assert not e.check_another_witness()


@pytest.mark.parametrize("model, error", [
    ([1, 0], ValueError),
    ([2, -2], ValueError),
    ([1.0], TypeError),
    ([True], TypeError),
    (None, TypeError),
])
def test_bad_witnesses_are_refused(model, error):
    with pytest.raises(error):
        declared_encoder().set_witness(model)


def test_reset_drops_the_target_bound():
    e = declared_encoder()
    e.add_target("x(0).to_pb()")
    e.generate_cnf()
    assert e.get_cnf_storage().hard_clauses() == []
    e.set_witness([1])
    e.generate_cnf()
    assert e.get_cnf_storage().hard_clauses() == [[-1]]
    e.reset()
    e.generate_cnf()
    assert e.get_cnf_storage().hard_clauses() == []


def test_metrics_files_hold_the_counts(tmp_path):
    e = declared_encoder('a "quoted", name')
    e.add_constraint("x(i).to_bx()", "Foralls: {'i': range(0, 3)}")
    e.add_soft_constraint("y(i,0).to_pb()", "Foralls: {'i': range(0, 2)}", 2, True)
    e.add_target("x(0).to_pb()")
    e.generate_cnf()
    assert e.save_metrics_json(str(tmp_path / "m.json")) is True
    assert e.save_metrics_csv(str(tmp_path / "m.csv")) is True
    data = json.loads((tmp_path / "m.json").read_text())
    expected = {"model_name": 'a "quoted", name', "declarations": 2, "elements": 7, "hard_constraints": 1,
                "soft_constraints": 1, "targets": 1, "instances": 5, "hard_clauses": 3, "soft_clauses": 2,
                "aux_variables": 0}
    assert {k: data[k] for k in expected} == expected
    assert all(data[k] >= 0 for k in ("parse_seconds", "encode_seconds", "generate_seconds"))
    rows = dict(csv.reader((tmp_path / "m.csv").read_text().splitlines()[1:]))
    assert {k: rows[k] for k in expected} == {k: str(v) for k, v in expected.items()}


@pytest.mark.parametrize("as_path", [str, lambda p: p, lambda p: bytes(p)], ids=["str", "Path", "bytes"])
def test_metrics_files_take_every_path_type_that_open_takes(tmp_path, as_path):
    e = declared_encoder()
    e.generate_cnf()
    assert e.save_metrics_json(as_path(tmp_path / "m.json")) is True
    assert e.save_metrics_csv(as_path(tmp_path / "m.csv")) is True
    assert json.loads((tmp_path / "m.json").read_text())["elements"] == 7
    assert (tmp_path / "m.csv").read_text().startswith("metric,value\n")


@pytest.mark.parametrize("path, error", [
    ("m\0.json", ValueError), (b"m\0.json", ValueError), (5, TypeError), (None, TypeError),
], ids=["str with NUL", "bytes with NUL", "int", "None"])
def test_metrics_path_that_names_no_file_is_refused(tmp_path, monkeypatch, path, error):
    monkeypatch.chdir(tmp_path)
    e = declared_encoder()
    for save in (e.save_metrics_json, e.save_metrics_csv):
        with pytest.raises(error):
            save(path)
    assert list(tmp_path.iterdir()) == []  # nothing written under a name cut at the NUL


def test_unwritable_metrics_path_is_an_os_error(tmp_path):
    e = declared_encoder()
    for save in (e.save_metrics_json, e.save_metrics_csv):
        with pytest.raises(OSError, match="cannot write the metrics file"):
            save(str(tmp_path / "missing" / "m.txt"))
    with pytest.raises(OSError, match=r"cannot write the metrics file '.*missing/\\xe9\\xff.txt'"):
        e.save_metrics_json(bytes(tmp_path / "missing") + b"/\xc3\xa9\xff.txt")
