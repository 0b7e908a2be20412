"""The numbered clause form of an encoder's clauses against the formula road
it stands in for: clause_formula, then the clause form of the transformation;
and its expansion against that of its literal texts."""
import pytest
from hypothesis import given, settings, strategies as st

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder import _native
from tarvo_encoder.core import formulapb
from tarvo_encoder.core.formula_container import FormulaContainer
from tarvo_encoder.core.manager import Manager

PREFIX = "_kelpa_aux"
clause_texts = FormulaContainer._FormulaContainer__clause_texts


def paired_manager():
    """x(0), x(1), x(2) paired with the PB numbers 1, 2, 3; every other number is an aux variable."""
    manager = Manager()
    manager.registration_generator_variables("x")
    for k in range(3):
        manager.name2genvar["x"](k)
    return manager


def formula_road(clauses):
    """(clause form or None, support names, aux counter) as the formula road gives them."""
    manager = paired_manager()
    formula = formulapb._native_clause_formula(clauses, manager)
    if isinstance(formula, (bx.Zero, bx.One)):
        return None, None, manager.cnt_pbvar
    transformed = _native.transformed_clause_form(formula)
    if transformed is None:
        return None, None, manager.cnt_pbvar
    marked, names = _native.support_names(transformed, "_dravo_aux")
    return clause_texts(transformed), (marked, sorted(names)), manager.cnt_pbvar


def numbered_road(clauses):
    manager = paired_manager()
    tables = (dict(manager.name2pb), dict(manager.pb2bx), manager.cnt_pbvar)
    numbered = formulapb._numbered_template(clauses, manager)
    if numbered is None:
        # Nothing of the Manager is touched, so the formula road can still be taken.
        assert (manager.name2pb, manager.pb2bx, manager.cnt_pbvar) == tables
        return None, None, None
    assert _native.clause_count(numbered) == len(numbered.literal_texts())
    marked, names = _native.support_names(numbered, "_dravo_aux")
    return numbered.literal_texts(), (marked, sorted(names)), manager.cnt_pbvar


def assert_same_road(clauses):
    texts, support, counter = formula_road(clauses)
    numbered = numbered_road(clauses)
    if texts is None:
        assert numbered[0] is None
    else:
        assert numbered == (texts, support, counter)


# Units before, after and between the clauses of their variables, repeated
# and complementary literals, tautologies, the empty clause, aux numbers.
CLAUSES = {
    "clauses only": [[1, -4, 5], [-5, 2], [4, 3, -1]],
    "units placed after the last occurrence": [[-4], [1, 4, 5], [2], [-5, 2, 6], [6], [3, 7]],
    "repeated units": [[-4], [-4], [1, 4], [2], [2]],
    "a unit meets its negation": [[1, 2], [4], [-4]],
    "a clause with a repeated negation": [[-1, -1, 2], [3, 4]],
    "a repeated positive literal": [[1, 1, 2], [1, 1], [-3, 5, 5]],
    "tautologies only": [[1, -1], [4, 2, -4]],
    "a tautology among clauses": [[1, -1, 4], [5, 6], [-7]],
    "the empty clause": [[1, 2], []],
    "no clause": [],
    "one clause": [[6, -5, 1]],
    "one unit": [[-6]],
}


@pytest.mark.parametrize("clauses", CLAUSES.values(), ids=CLAUSES.keys())
def test_numbered_template_is_the_clause_form_of_the_formula(clauses):
    assert_same_road(clauses)


literal = st.integers(-9, 9).filter(bool)


@settings(max_examples=300, deadline=None)
@given(st.lists(st.lists(literal, max_size=4), max_size=8))
def test_numbered_template_is_the_clause_form_of_any_clause_list(clauses):
    assert_same_road(clauses)


@pytest.mark.parametrize("comparator", [pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH])
@pytest.mark.parametrize("weights, bound", [([7, 5, 3], 7), ([1, 1, 1], 1), ([2, 9, 4], 0), ([4, 4, 4], 12)])
def test_numbered_template_reads_the_encoders_database(comparator, weights, bound):
    config = pb.PBConfig()
    config.pb_encoder = pb.PB_Encoder_type.ADDER
    lits = [pb.WeightedLit(n, w) for n, w in zip(range(1, 4), weights)]
    database = pb.VectorClauseDatabase(config)
    pb.pb2cnf(config).encode2(pb.PBConstraint(lits, comparator, bound), database, pb.AuxVarManager(4))
    assert_same_road(database)
    assert_same_road(database.get_clauses())


def test_a_paired_name_without_a_parenthesis_keeps_the_formula_road():
    # Its literal text would be quoted and read as an aux variable.
    manager = Manager()
    manager.add_variable("plain")
    assert formulapb._numbered_template([[1, 2]], manager) is None
    assert manager.cnt_pbvar == 0


def test_support_names_can_leave_out_template_variables_without_index_names():
    # The model looks for index names after the "(": digits alone hold none.
    context = bx.Context()
    names = ["x(i + 1,j)", "y(0,12)", "z(3,é)", "w(_k)", "v(2 * 3)", "_dravo_aux_0"]
    formula = bx.and_s([bx.or_s([context.get_var(name) for name in names])])
    count, found = _native.support_names(formula, "_dravo_aux", indexed_only=True)
    assert (count, sorted(found)) == (1, ["w(_k)", "x(i + 1,j)", "z(3,é)"])


def expanded(template, weights, declared, numbering):
    """(clauses, aux map items in order) that expand_texts stores and returns, or None."""
    storage = ce.wcnf_storage()
    mapping = _native.expand_texts(storage, template, weights, [], [], declared, 7, *numbering,
                                   PREFIX, "_dravo_aux")
    if mapping is None:
        assert storage.stored_clause_count == 0
        return None
    return storage.hard_clauses(), storage.soft_clauses(), list(mapping.items())


X_DECLARED = [("x", 1, [3], [1])]
# (declared variables, (first aux number, PB aux count, Tseytin aux count), weight per clause)
EXPANSIONS = {
    "hard, aux block of four": (X_DECLARED, (20, 4, 0), 0),
    "hard, PB and Tseytin aux blocks": (X_DECLARED, (9, 5, 3), 0),
    "soft": (X_DECLARED, (20, 4, 0), 3),
    "an aux index beyond its block": (X_DECLARED, (20, 2, 0), 0),
    "x not declared": ([("y", 1, [3], [1])], (20, 4, 0), 0),
    "x(2) beyond its dimension": ([("x", 1, [2], [1])], (20, 4, 0), 0),
}


@pytest.mark.parametrize("declared, numbering, weight", EXPANSIONS.values(), ids=EXPANSIONS.keys())
@pytest.mark.parametrize("clauses", [[[1, -4, 5], [-5, 2], [4, 3, -1]], [[-4], [1, 4, 5], [2], [-5, 2, 6], [7, -6]]],
                         ids=["three clauses", "units among clauses"])
def test_a_numbered_template_expands_as_its_literal_texts(clauses, declared, numbering, weight):
    numbered = formulapb._numbered_template(clauses, paired_manager())
    weights = [weight] * _native.clause_count(numbered)
    declared = _native.DeclaredVariables(declared)
    assert expanded(numbered, weights, declared, numbering) == expanded(
        numbered.literal_texts(), weights, declared, numbering)
