"""The dumper on hand-made records: expansion text, aux numbering, emission."""
import logging

import pytest

import velmont.corvane_engine as ce
from tarvo_encoder.core.dumper import DumpArgs, Dumper, One2OneDumper, reduce_ex
from tarvo_encoder.encode.variables import Variable

WORKED_TEMPLATE = [["-x(i,j)", "'_kelpa_aux_0'"], ["x(i + 1,j)", "'~_kelpa_aux_0'"]]


def record(template, foralls, *, weights=None, num_formula=0, start=100, pb=0, bx=0, variables=(), storage=True):
    return DumpArgs(
        template_constraint=template,
        weights=weights,
        foralls=foralls,
        num_formula=num_formula,
        init_shift_variable=start,
        shift_pb_variable=pb,
        shift_bx_variable=bx,
        offset_shift_for_formula=0,
        eval_state={variable.name: variable for variable in variables},
        cnf_stor=ce.wcnf_storage() if storage else None,
    )


@pytest.mark.parametrize(
    "template, foralls, text",
    [
        (
            WORKED_TEMPLATE,
            {"i": range(0, 2), "j": range(0, 4)},
            "[[[-x(i,j),'_kelpa_aux_0'],[x(i + 1,j),'~_kelpa_aux_0']] for i in range(0, 2) for j in range(0, 4)]",
        ),
        (
            [["-x(0,1)", "'_kelpa_aux_0'"], ["x(1,1)", "'~_kelpa_aux_0'"]],
            {},
            "[[[-x(0,1),'_kelpa_aux_0'],[x(1,1),'~_kelpa_aux_0']] ]",
        ),
        ([["x(i)"]], {"i": [0, 2]}, "[[[x(i)]] for i in [0, 2]]"),
    ],
)
def test_expansion_text_is_exact(template, foralls, text):
    assert Dumper._expansion_text(record(template, foralls)) == text


def test_worked_example_expands_instance_by_instance():
    # x over 3 x 4 elements from 1: element (i, j) is 1 + 4 i + j.
    x = Variable("x", {"a": 3, "b": 4}, 1)
    args = record(WORKED_TEMPLATE, {"i": range(0, 2), "j": range(0, 4)}, start=13, pb=1, variables=[x])
    mapping = One2OneDumper.dump([args])
    expected = []
    for n, (i, j) in enumerate((i, j) for i in range(2) for j in range(4)):
        aux = 13 + n
        expected += [sorted([-(1 + 4 * i + j), aux], key=abs), sorted([1 + 4 * (i + 1) + j, -aux], key=abs)]
    assert args.cnf_stor.hard_clauses() == expected
    assert args.cnf_stor.soft_clauses() == []
    assert mapping == {f"_kelpa_aux[0,{n},0]": 13 + n for n in range(8)}


def test_numbering_of_two_instances_with_both_aux_kinds():
    # P = 2, B = 1, S = 9, formula 3; literal texts may be any expression text.
    template = [["'_kelpa_aux_0'", "'_kelpa_aux_1'", "'_dravo_aux_0'"], ["5", "'~_dravo_aux_0'", "-3"]]
    args = record(template, {"n": range(2)}, num_formula=3, start=9, pb=2, bx=1)
    mapping = One2OneDumper.dump([args])
    assert args.cnf_stor.hard_clauses() == [[9, 10, 11], [-3, 5, -11], [12, 13, 14], [-3, 5, -14]]
    assert mapping == {
        "_kelpa_aux[3,0,0]": 9,
        "_kelpa_aux[3,0,1]": 10,
        "_dravo_aux[3,0,0]": 11,
        "_kelpa_aux[3,1,0]": 12,
        "_kelpa_aux[3,1,1]": 13,
        "_dravo_aux[3,1,0]": 14,
    }


def test_weights_make_soft_clauses_and_zero_keeps_a_clause_hard():
    template = [["1"], ["-2", "3"], ["4"]]
    args = record(template, {"n": range(3)}, weights=[2, 0, 5])
    One2OneDumper.dump([args])
    assert args.cnf_stor.hard_clauses() == [[-2, 3]] * 3
    assert args.cnf_stor.soft_clauses() == [([1], 2), ([4], 5)] * 3


def test_sort_by_absolute_value_is_stable():
    args = record([["-7", "2", "7", "-2", "2"]], {})
    One2OneDumper.dump([args])
    assert args.cnf_stor.hard_clauses() == [[2, -2, 2, -7, 7]]


@pytest.mark.parametrize(
    "foralls, storage",
    [({"i": []}, True), ({"i": range(3)}, False)],
    ids=["empty forall", "no storage"],
)
def test_nothing_to_dump(foralls, storage):
    # The unbound name would fail if the text were evaluated with instances.
    args = record([["unbound(i)", "'_kelpa_aux_0'"]], foralls, pb=1, storage=storage)
    assert One2OneDumper.dump([args]) == {}
    if storage:
        assert args.cnf_stor.hard_clauses() == []


def test_dump_of_no_record_is_empty():
    assert One2OneDumper.dump([]) == {}


@pytest.mark.parametrize(
    "mappings, merged",
    [
        ([{"a": 1, "b": 2}, {"b": 3, "c": 4}], {"a": 1, "b": 3, "c": 4}),
        ([], {}),
        ([{"z": 1}, {}, {"a": 2}], {"z": 1, "a": 2}),
    ],
)
def test_reduce_ex_later_wins_first_position_kept(mappings, merged):
    before = [dict(m) for m in mappings]
    result = reduce_ex(mappings)
    assert result == merged and list(result) == list(merged)
    assert mappings == before
    assert all(result is not m for m in mappings)


OUTSIDE = "Aux variable '{}' has index {}, outside the block of {} {} aux variables of its instance"


@pytest.mark.parametrize(
    "literal, pb, bx, records",
    [
        ("'plain_name'", 1, 1, [(logging.WARNING, "Index is not kelpa or dravo")]),
        ("'~One'", 1, 1, [(logging.WARNING, "Index is not kelpa or dravo")]),
        ("'_kelpa_aux_2'", 2, 0, [(logging.ERROR, OUTSIDE.format("_kelpa_aux_2", 2, 2, "PB-encoder"))]),
        ("'_kelpa_aux_-1'", 2, 0, [(logging.ERROR, OUTSIDE.format("_kelpa_aux_-1", -1, 2, "PB-encoder"))]),
        # In the first instance an index beyond B is refused without the Indefinite warning.
        ("'~_dravo_aux_2'", 0, 1, [(logging.ERROR, OUTSIDE.format("_dravo_aux_2", 2, 1, "Tseytin"))]),
    ],
)
def test_literal_without_number_is_refused(caplog, literal, pb, bx, records):
    args = record([["1", literal]], {}, pb=pb, bx=bx)
    with pytest.raises(ValueError) as error:
        One2OneDumper.dump([args])
    assert str(error.value) == records[-1][1]
    assert [(r.levelno, r.getMessage()) for r in caplog.records if r.levelno >= logging.WARNING] == records
    assert args.cnf_stor.hard_clauses() == []


@pytest.mark.parametrize(
    "index, records",
    [
        (2, [(logging.ERROR, OUTSIDE.format("_dravo_aux_2", 2, 2, "Tseytin"))]),
        (3, [(logging.WARNING, "Indefinite dravo index"), (logging.ERROR, OUTSIDE.format("_dravo_aux_3", 3, 2, "Tseytin"))]),
    ],
)
def test_indefinite_dravo_index_is_warned_after_the_first_instance(caplog, index, records):
    # B = 2: the index is outside the block; the Tseytin literal shows up in instance 1 only.
    args = record([[f"('_dravo_aux_{index}' if n else 1)"]], {"n": range(2)}, bx=2)
    with pytest.raises(ValueError):
        One2OneDumper.dump([args])
    assert [(r.levelno, r.getMessage()) for r in caplog.records if r.levelno >= logging.WARNING] == records
    assert args.cnf_stor.hard_clauses() == [[1]]


def test_aux_name_without_numeric_suffix_raises_the_conversion_error_unlogged(caplog):
    with pytest.raises(ValueError, match="invalid literal for int"):
        One2OneDumper.dump([record([["'_kelpa_aux_x'"]], {}, pb=1)])
    assert caplog.records == []
