import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from pysat.formula import CNF, WCNF

import velmont.corvane_engine as ce

literals = st.integers(-12, 12).filter(bool)
clauses = st.lists(literals, max_size=5)  # the empty clause included
weights = st.integers(1, 2**40)
# A clause and its kind: weight None is a hard clause.
entries = st.lists(st.tuples(clauses, st.none() | weights), max_size=12)


def storage_of(entries):
    storage = ce.wcnf_storage()
    for clause, weight in entries:
        if weight is None:
            storage.add_hard_clause(clause)
        else:
            storage.add_soft_clause(clause, weight)
    return storage


@settings(max_examples=150, deadline=None)
@given(st.lists(clauses, max_size=12))
def test_cnf_reads_back_with_the_same_clauses(hard):
    storage = storage_of([(clause, None) for clause in hard])
    text = storage.to_dimacs()
    assert text.count("p cnf ") == 1
    cnf = CNF(from_string=text)
    assert cnf.clauses == hard == storage.hard_clauses()
    assert cnf.nv == max((abs(lit) for clause in hard for lit in clause), default=0)
    assert storage.soft_clauses() == []


@settings(max_examples=150, deadline=None)
@given(entries.filter(lambda es: any(w is not None for _, w in es)), st.none() | st.integers(0, 2**42))
def test_wcnf_reads_back_with_the_same_clauses_and_weights(entries, weight_limit):
    storage = storage_of(entries)
    if weight_limit is not None:
        storage.set_weight_limit(weight_limit)
    hard = [clause for clause, weight in entries if weight is None]
    soft = [(clause, weight) for clause, weight in entries if weight is not None]
    total = sum(weight for _, weight in soft)
    top = weight_limit if weight_limit is not None and weight_limit > total else total + 1

    wcnf = WCNF(from_string=storage.to_dimacs())
    assert wcnf.hard == hard == storage.hard_clauses()
    assert list(zip(wcnf.soft, wcnf.wght)) == soft == storage.soft_clauses()
    assert wcnf.topw == top
    assert wcnf.nv == max((abs(lit) for clause, _ in entries for lit in clause), default=0)


def test_clauses_are_written_in_insertion_order_hard_ones_weighted_top():
    storage = storage_of([([1, -2], None), ([2], 3), ([-1, 3], None), ([-3], 4)])
    storage.set_weight_limit(100)
    assert storage.to_dimacs().splitlines() == [
        "p wcnf 3 4 100",
        "100 1 -2 0",
        "3 2 0",
        "100 -1 3 0",
        "4 -3 0",
    ]


@pytest.mark.parametrize(
    "variable_count, clause_count, header",
    [
        (None, None, "p cnf 3 2"),
        (10, None, "p cnf 10 2"),  # declared variables that occur in no clause still count
        (2, None, "p cnf 3 2"),  # a smaller count would make the file invalid
        (None, 7, "p cnf 3 2"),  # the header counts the clauses actually stored
        (0, 0, "p cnf 3 2"),
    ],
)
def test_problem_line_always_describes_the_stored_clauses(variable_count, clause_count, header):
    storage = storage_of([([1, -3], None), ([2], None)])
    if variable_count is not None:
        storage.set_variable_count(variable_count)
    if clause_count is not None:
        storage.set_clause_count(clause_count)
    assert storage.to_dimacs().splitlines()[0] == header
    assert (storage.variable_count, storage.clause_count) == (variable_count, clause_count)


@pytest.mark.parametrize("weight_limit, top", [(0, 1), (1, 1), (50, 50)])
def test_a_weight_limit_without_soft_clauses_still_writes_wcnf(weight_limit, top):
    # A weighted build whose soft clauses all vanished (weight 0) sets the limit all the same.
    storage = storage_of([([1, -3], None), ([2], None)])
    storage.set_weight_limit(weight_limit)
    text = storage.to_dimacs()
    assert text.splitlines()[0] == f"p wcnf 3 2 {top}"
    wcnf = WCNF(from_string=text)
    assert (wcnf.hard, wcnf.soft, wcnf.topw) == ([[1, -3], [2]], [], top)


def test_header_keeps_the_last_value_set():
    storage = ce.wcnf_storage()
    assert (storage.model_name, storage.variable_count, storage.clause_count, storage.weight_limit) == (
        "", None, None, None,
    )
    for value in (3, 9):
        storage.set_model_name(f"model {value}")
        storage.set_variable_count(value)
        storage.set_clause_count(value + 1)
        storage.set_weight_limit(value + 2)
    assert (storage.model_name, storage.variable_count, storage.clause_count, storage.weight_limit) == (
        "model 9", 9, 10, 11,
    )


def test_model_name_and_prefatory_values_are_comment_lines():
    storage = storage_of([([1, 2], None), ([-4], 5)])
    storage.set_model_name("two\nlines")
    storage.insert_prefatory_value(-4)
    storage.insert_prefatory_value(6)
    storage.insert_prefatory_value(-4)
    assert storage.prefatory_values() == [-4, 6, -4]
    text = storage.to_dimacs()
    assert text.splitlines()[:4] == ["c model two lines", "c prefatory -4", "c prefatory 6", "c prefatory -4"]
    assert text.splitlines()[4] == "p wcnf 6 2 6"  # the prefatory variable 6 counts
    wcnf = WCNF(from_string=text)
    assert (wcnf.hard, wcnf.soft, wcnf.wght) == ([[1, 2]], [[-4]], [5])


def test_merge_appends_clauses_weights_and_prefatory_values_in_order():
    target = storage_of([([1], None), ([2], 2)])
    target.set_model_name("target")
    target.insert_prefatory_value(1)
    other = storage_of([([-1, 3], None), ([4], 7), ([5, 6], None)])
    other.set_model_name("other")
    other.insert_prefatory_value(-5)
    target.merge(other)
    assert target.hard_clauses() == [[1], [-1, 3], [5, 6]]
    assert target.soft_clauses() == [([2], 2), ([4], 7)]
    assert target.prefatory_values() == [1, -5]
    assert target.model_name == "target"
    assert other.hard_clauses() == [[-1, 3], [5, 6]]  # the source stays intact
    target.merge(target)
    assert target.hard_clauses() == [[1], [-1, 3], [5, 6]] * 2


MIXED = [([1, -2], None), ([9], 3), ([-3, 4, 5], None), ([], None), ([-6], 7)]


@pytest.mark.parametrize(
    "first, count, hard, soft",
    [
        (0, 0, [[1, -2], [-3, 4, 5], []], [([9], 3), ([-6], 7)]),
        (5, 0, [[1, -2], [-3, 4, 5], []], [([9], 3), ([-6], 7)]),  # the empty range at the end
        (0, 1, [[-3, 4, 5], []], [([9], 3), ([-6], 7)]),
        (1, 2, [[1, -2], []], [([-6], 7)]),  # a soft and a hard clause at once
        (3, 1, [[1, -2], [-3, 4, 5]], [([9], 3), ([-6], 7)]),  # the empty clause
        (4, 1, [[1, -2], [-3, 4, 5], []], [([9], 3)]),
        (0, 5, [], []),
    ],
)
def test_remove_clauses_drops_exactly_the_range(first, count, hard, soft):
    storage = storage_of(MIXED)
    storage.remove_clauses(first, count)
    assert (storage.hard_clauses(), storage.soft_clauses()) == (hard, soft)
    assert storage.stored_clause_count == len(MIXED) - count


@settings(max_examples=150, deadline=None)
@given(entries, st.data())
def test_remove_clauses_matches_slicing_and_later_adds_still_append(entries, data):
    first = data.draw(st.integers(0, len(entries)))
    count = data.draw(st.integers(0, len(entries) - first))
    storage = storage_of(entries)
    storage.set_model_name("kept")
    storage.set_clause_count(99)
    storage.remove_clauses(first, count)
    kept = entries[:first] + entries[first + count:]
    text = storage.to_dimacs()
    assert text.startswith("c model kept\n") and storage.clause_count == 99
    # The problem line counts only what is left: the removed clauses' variables are gone too.
    problem = next(line for line in text.splitlines() if line.startswith("p "))
    largest = max((abs(lit) for clause, _ in kept for lit in clause), default=0)
    assert problem.split()[2:4] == [str(largest), str(len(kept))]

    storage.add_hard_clause([-13, 14])
    storage.merge(storage_of([([15], 2)]))
    kept += [([-13, 14], None), ([15], 2)]
    assert storage.stored_clause_count == len(kept)
    assert storage.hard_clauses() == [clause for clause, weight in kept if weight is None]
    assert storage.soft_clauses() == [(clause, weight) for clause, weight in kept if weight is not None]


def test_removing_the_largest_variable_lowers_the_count_but_not_below_prefatory_values():
    storage = storage_of([([1, -2], None), ([-30], None), ([3], None)])
    storage.insert_prefatory_value(-7)
    storage.remove_clauses(1, 1)
    assert storage.to_dimacs().splitlines() == ["c prefatory -7", "p cnf 7 2", "1 -2 0", "3 0"]
    assert storage.prefatory_values() == [-7]


def test_64_bit_literals_and_weights_round_trip():
    largest = 2**63 - 1
    storage = storage_of([([largest, -largest], None), ([-1], 2**62), ([2], 2**62 - 2)])
    wcnf = WCNF(from_string=storage.to_dimacs())
    assert (wcnf.hard, wcnf.soft, wcnf.wght, wcnf.topw) == ([[largest, -largest]], [[-1], [2]], [2**62, 2**62 - 2], largest)


@pytest.mark.parametrize("soft_weights", [[2**63 - 1], [2**62, 2**62], [2**62, 2**61, 2**61]])
def test_top_weight_beyond_signed_64_bits_is_refused(soft_weights):
    storage = storage_of([([i + 1], weight) for i, weight in enumerate(soft_weights)])
    with pytest.raises(OverflowError, match="signed 64-bit"):
        storage.to_dimacs()


BAD_CALLS = [
    ("add_hard_clause", ([1, 0],), ValueError, "literal 0"),
    ("add_hard_clause", ([1, 2.0],), TypeError, "float"),
    ("add_hard_clause", (["1"],), TypeError, "str"),
    ("add_hard_clause", ([None],), TypeError, "NoneType"),
    ("add_hard_clause", ([True],), TypeError, "bool"),
    ("add_hard_clause", ([2**63],), OverflowError, "64 bits"),
    ("add_hard_clause", ([-(2**63)],), OverflowError, "negation"),
    ("add_hard_clause", ({1, 2},), TypeError, "list or tuple"),
    ("add_hard_clause", (5,), TypeError, "list or tuple"),
    ("add_hard_clause", ("12",), TypeError, "list or tuple"),
    ("add_soft_clause", ([1], 0), ValueError, "positive"),
    ("add_soft_clause", ([1], -3), ValueError, "positive"),
    ("add_soft_clause", ([1], -(2**70)), ValueError, "positive"),
    ("add_soft_clause", ([1], 2**63), OverflowError, "64 bits"),
    ("add_soft_clause", ([1], 1.5), TypeError, "float"),
    ("add_soft_clause", ([1], False), ValueError, "positive"),
    ("add_soft_clause", ([0], 1), ValueError, "literal 0"),
    ("insert_prefatory_value", (0,), ValueError, "literal 0"),
    ("insert_prefatory_value", (2**64,), OverflowError, "64 bits"),
    ("insert_prefatory_value", ("3",), TypeError, "str"),
    ("set_variable_count", (-1,), ValueError, "negative"),
    ("set_variable_count", (2**63,), OverflowError, "64 bits"),
    ("set_clause_count", (1.0,), TypeError, "float"),
    ("set_weight_limit", (-5,), ValueError, "negative"),
    ("set_model_name", (3,), TypeError, "model name must be a str, got int"),
    ("set_model_name", ("\ud800",), UnicodeEncodeError, "surrogate"),
    ("merge", ([[1]],), TypeError, "incompatible"),
    ("remove_clauses", (3, 0), IndexError, "holds 2"),
    ("remove_clauses", (1, 2), IndexError, "holds 2"),
    ("remove_clauses", (1, 2**63 - 1), IndexError, "holds 2"),  # first + count would wrap
    ("remove_clauses", (-1, 1), ValueError, "negative"),
    ("remove_clauses", (0, -1), ValueError, "negative"),
    ("remove_clauses", (0, 2**64), OverflowError, "64 bits"),
    ("remove_clauses", (0, 1.0), TypeError, "float"),
    ("remove_clauses", (0, "1"), TypeError, "str"),
]


@pytest.mark.parametrize("method, args, error, text", BAD_CALLS)
def test_bad_input_is_refused_and_stores_nothing(method, args, error, text):
    storage = storage_of([([1, 2], None), ([3], 4)])
    before = (storage.to_dimacs(), storage.variable_count, storage.clause_count, storage.weight_limit)
    with pytest.raises(error, match=text):
        getattr(storage, method)(*args)
    assert (storage.to_dimacs(), storage.variable_count, storage.clause_count, storage.weight_limit) == before


def test_write_dimacs_writes_the_text(tmp_path):
    storage = storage_of([([1, -2], None), ([2], 3)])
    path = tmp_path / "model.wcnf"
    storage.write_dimacs(path)
    assert path.read_text() == storage.to_dimacs()
    storage.write_dimacs(str(path))  # str paths too, overwriting
    assert path.read_text() == storage.to_dimacs()
    storage.write_dimacs(bytes(path))  # and bytes
    assert path.read_text() == storage.to_dimacs()


def test_write_dimacs_refuses_a_path_with_a_nul(tmp_path):
    with pytest.raises(ValueError, match="null"):
        ce.wcnf_storage().write_dimacs(str(tmp_path / "model\0.cnf"))
    assert list(tmp_path.iterdir()) == []


def test_write_dimacs_to_an_unwritable_path_raises_os_error(tmp_path):
    with pytest.raises(OSError, match="cannot write"):
        ce.wcnf_storage().write_dimacs(tmp_path / "missing" / "model.cnf")


# Literals and weights of every width, small ones first, so that the packed
# storage widens while it is filled, and again after merges and removals.
WIDTHS = [1, 2**7, 2**15, 2**31 - 1, 2**31, 2**40, 2**63 - 1]
mixed_literals = st.sampled_from(WIDTHS).flatmap(lambda w: st.integers(1, w)).flatmap(
    lambda v: st.sampled_from([v, -v]))
mixed_entries = st.lists(st.tuples(st.lists(mixed_literals, max_size=4),
                                   st.none() | st.sampled_from(WIDTHS[:-1]).flatmap(lambda w: st.integers(1, w))),
                         max_size=10)


@settings(max_examples=150, deadline=None)
@given(mixed_entries, mixed_entries, st.integers(0, 20), st.integers(0, 20))
def test_numbers_of_every_width_read_back_after_merges_and_removals(first, second, at, count):
    storage, other = storage_of(first), storage_of(second)
    storage.merge(other)
    expected = first + second
    at, count = min(at, len(expected)), min(count, len(expected) - min(at, len(expected)))
    storage.remove_clauses(at, count)
    expected = expected[:at] + expected[at + count:]
    assert storage.hard_clauses() == [clause for clause, weight in expected if weight is None]
    assert storage.soft_clauses() == [(clause, weight) for clause, weight in expected if weight is not None]
    assert storage.to_dimacs() == storage_of(expected).to_dimacs()
    assert other.hard_clauses() == [clause for clause, weight in second if weight is None]
