import itertools
import random

import pytest
from pysat.solvers import Solver

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder.core import formulapb
from tarvo_encoder.core.formulapb import FormulaPB
from tarvo_encoder.core.manager import Manager
from tarvo_encoder.core.pboperations import PBVariable, Sum

COMPARATORS = {
    "LEQ": (pb.Comparator_type.LEQ, lambda total, bound: total <= bound),
    "GEQ": (pb.Comparator_type.GEQ, lambda total, bound: total >= bound),
    "BOTH": (pb.Comparator_type.BOTH, lambda total, bound: total == bound),
}


@pytest.fixture
def manager():
    manager = Manager()
    manager.registration_generator_variables("x")
    return manager


def literal_names(formula):
    """Clauses of a formula in flat CNF, as lists of literal texts."""
    if isinstance(formula, bx.One):
        return []
    if isinstance(formula, bx.Zero):
        return [[]]
    clauses = formula.get_args() if isinstance(formula, bx.And) else [formula]
    result = []
    for clause in clauses:
        literals = clause.get_args() if isinstance(clause, bx.Or) else [clause]
        for literal in literals:
            assert not isinstance(literal, (bx.And, bx.Or, bx.Zero, bx.One)), str(formula)
        result.append([str(literal) for literal in literals])
    return result


def satisfying_projection(formula, names):
    """Assignments of `names` (as tuples of bools) under which the CNF has a model."""
    numbers = {}

    def number(text):
        negated = text.startswith("~")
        name = text[1:] if negated else text
        value = numbers.setdefault(name, len(numbers) + 1)
        return -value if negated else value

    for name in names:
        number(name)
    clauses = [[number(text) for text in clause] for clause in literal_names(formula)]
    if [] in clauses:
        return set()
    models = set()
    with Solver(name="minisat22", bootstrap_with=clauses) as solver:
        for values in itertools.product([False, True], repeat=len(names)):
            assumptions = [numbers[n] if v else -numbers[n] for n, v in zip(names, values)]
            if solver.solve(assumptions=assumptions):
                models.add(values)
    return models


def weighted_term(manager, weights):
    """sum of weights[k] * x(k) the way evaluated expression text writes it."""
    x = manager.name2genvar["x"]
    term = weights[0] * (x(0).to_pb())
    for position, weight in enumerate(weights[1:], start=1):
        term = term - (-weight) * (x(position).to_pb()) if position % 2 else term + weight * (x(position).to_pb())
    return term


def random_constraints(count, seed=20240611):
    rng = random.Random(seed)
    for _ in range(count):
        size = rng.randint(1, 6)
        weights = [rng.choice([0, 1, 1, 2, 3, 4, -1, -2, -5, 7]) for _ in range(size)]
        lowest = sum(w for w in weights if w < 0)
        highest = sum(w for w in weights if w > 0)
        yield weights, rng.choice(list(COMPARATORS)), rng.randint(lowest - 1, highest + 1)


@pytest.mark.parametrize("weights,comparator,bound", list(random_constraints(150)))
def test_to_bx_has_exactly_the_models_of_the_comparison(manager, sink, weights, comparator, bound):
    member, holds = COMPARATORS[comparator]
    formula = FormulaPB(weighted_term(manager, weights), member, bound).to_bx(manager)
    names = [f"x({k})" for k in range(len(weights))]
    expected = {
        values for values in itertools.product([False, True], repeat=len(weights))
        if holds(sum(w for w, v in zip(weights, values) if v), bound)
    }
    assert satisfying_projection(formula, names) == expected


@pytest.mark.parametrize(
    "text,models",
    [
        ("FormulaPB(x(0).to_pb() + x(1).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",
         {(False, False), (True, False), (False, True)}),
        ("FormulaPB(Sum(*[2 ** i * (x(i).to_pb()) for i in range(0, 2)]), pb.Comparator_type.BOTH, 2)"
         ".to_bx(manager)", {(False, True)}),
        ("FormulaPB(x(0).to_pb() - (x(1).to_pb()), pb.Comparator_type.GEQ, 1).to_bx(manager)",
         {(True, False)}),
        ("FormulaPB(x(0).to_pb() + x(0).to_pb(), pb.Comparator_type.GEQ, 2).to_bx(manager)",
         {(True, False), (True, True)}),
    ],
)
def test_expression_text_evaluates_to_the_constraint(manager, sink, text, models):
    namespace = {"Sum": Sum, "FormulaPB": FormulaPB, "bx": bx, "pb": pb, "manager": manager}
    namespace.update(manager.name2genvar)
    formula = eval(text, namespace)
    assert satisfying_projection(formula, ["x(0)", "x(1)"]) == models


@pytest.mark.parametrize("bound,kind", [(5, bx.One), (-1, bx.Zero)])
def test_constant_results_come_from_the_engine(manager, sink, bound, kind):
    x = manager.name2genvar["x"]
    formula = FormulaPB(x(0).to_pb() + x(1).to_pb(), pb.Comparator_type.LEQ, bound).to_bx(manager)
    assert isinstance(formula, kind)


def direct_clauses(weights, comparator, bound):
    """Encode the same constraint straight through kelpa, the weighted variables numbered 1, 2, ..."""
    config = pb.PBConfig()
    config.pb_encoder = pb.PB_Encoder_type.ADDER
    config.max_clauses_per_constraint = 1000000
    allocator = pb.AuxVarManager(1)
    numbers = [allocator.get_variable() for _ in weights]
    lits = [pb.WeightedLit(n, w) for n, w in zip(numbers, weights)]
    database = pb.VectorClauseDatabase(config)
    pb.pb2cnf(config).encode2(pb.PBConstraint(lits, comparator, bound), database, allocator)
    return [list(clause) for clause in database.get_clauses()]


def aux_numbers_in_first_appearance(weights, comparator, bound):
    order = []
    for clause in direct_clauses(weights, comparator, bound):
        for literal in clause:
            if abs(literal) > len(weights) and abs(literal) not in order:
                order.append(abs(literal))
    return order


@pytest.mark.parametrize(
    "weights,comparator,bound",
    [([3, 5, 6, 2], "LEQ", 9), ([2, -3, 4, 1, 1], "BOTH", 3), ([7, 7, 3], "GEQ", 8)],
)
def test_aux_names_follow_first_appearance_and_restart_after_reset(manager, sink, weights, comparator, bound):
    member = COMPARATORS[comparator][0]
    expected = aux_numbers_in_first_appearance(weights, member, bound)
    assert expected, "the case must need aux variables"
    for _ in range(2):
        FormulaPB(weighted_term(manager, weights), member, bound).to_bx(manager)
        assert manager.cnt_pbvar == len(expected)
        assert [manager.name2pb[f"_kelpa_aux_{k}"] for k in range(len(expected))] == expected
        assert [manager.name2pb[f"x({k})"] for k in range(len(weights))] == list(range(1, len(weights) + 1))
        manager.reset()


class RecordingEngine:
    """Stands in for dravo and notes every operation fetched from it."""

    def __init__(self, events):
        self.events = events

    def __getattr__(self, name):
        self.events.append(("fetch", name))
        return getattr(bx, name)


def test_clauses_are_rebuilt_in_one_walk(manager, sink, monkeypatch):
    weights, bound = [3, 5, 6, 2], 9
    events = []
    monkeypatch.setattr(formulapb, "bx", RecordingEngine(events))
    pair = manager.get_pb_var
    monkeypatch.setattr(manager, "get_pb_var", lambda number: events.append(("pair", number)) or pair(number))
    formula = FormulaPB(weighted_term(manager, weights), pb.Comparator_type.LEQ, bound).to_bx(manager)
    clauses = direct_clauses(weights, pb.Comparator_type.LEQ, bound)
    expected = [("fetch", "and_s")]
    for clause in clauses:
        expected += [("fetch", "or_s")] + [("pair", abs(literal)) for literal in clause]
    assert events == expected
    assert satisfying_projection(formula, [f"x({k})" for k in range(len(weights))]) == {
        values for values in itertools.product([False, True], repeat=len(weights))
        if sum(w for w, v in zip(weights, values) if v) <= bound
    }


def test_second_comparison_of_one_formula_continues_numbers_and_names(manager, sink):
    x = manager.name2genvar["x"]
    first = FormulaPB(3 * (x(0).to_pb()) + 5 * (x(1).to_pb()) + 6 * (x(2).to_pb()), pb.Comparator_type.LEQ, 9)
    first.to_bx(manager)
    after_first = manager.cnt_pbvar
    numbers_after_first = set(manager.pb2bx)
    second = FormulaPB(2 * (x(2).to_pb()) + 3 * (x(3).to_pb()) + 5 * (x(4).to_pb()), pb.Comparator_type.GEQ, 4)
    second.to_bx(manager)
    assert manager.cnt_pbvar > after_first
    new_names = [f"_kelpa_aux_{k}" for k in range(after_first, manager.cnt_pbvar)]
    assert all(manager.name2pb[name] not in numbers_after_first for name in new_names)
    assert len(set(manager.name2pb.values())) == len(manager.name2pb)


def test_to_bx_debug_messages(manager, sink):
    x = manager.name2genvar["x"]
    term = Sum(x(0).to_pb(), -2 * (x(1).to_pb()))
    formula = FormulaPB(term, pb.Comparator_type.LEQ, 0).to_bx(manager)
    debug = ce.log_level_type.debug
    lits = [repr(pb.WeightedLit(1, 1)), repr(pb.WeightedLit(2, -2))]
    assert sink == [
        ("FormulaPB before to_bx: Sum(Var(coeff: 1; pb num: 1; bx var: x(0)), "
         "Var(coeff: -2; pb num: 2; bx var: x(1)))", debug),
        (f"Sum to_pb result [{lits[0]}, {lits[1]}]", debug),
        ("Bx formula from FormulaPB: " + str(formula), debug),
    ]


def literal_texts(conjunction):
    assert isinstance(conjunction, bx.And)
    return [str(literal) for literal in conjunction.get_args()]


@pytest.mark.parametrize(
    "minimization,literals",
    [(True, ["~x(0)", "x(1)"]), (1, ["~x(0)", "x(1)"]), ("yes", ["~x(0)", "x(1)"]),
     (False, ["x(0)", "~x(1)"]), (None, ["x(0)", "~x(1)"]), (0, ["x(0)", "~x(1)"])],
)
def test_to_maxsat_literal_sign_follows_weight_and_direction(manager, sink, minimization, literals):
    x = manager.name2genvar["x"]
    formula, weights = FormulaPB(3 * (x(0).to_pb()) - 2 * (x(1).to_pb()), None, None).to_maxsat(manager, minimization)
    assert (literal_texts(formula), weights) == (literals, [3, 2])


@pytest.mark.parametrize(
    "build,minimization,literals,weights",
    [
        (lambda x: x(0).to_pb() + x(0).to_pb(), True, ["~x(0)", "~x(0)"], [1, 1]),
        (lambda x: 0 * (x(0).to_pb()) + 2 * (x(1).to_pb()), True, ["~x(1)"], [2]),
        (lambda x: 0 * (x(0).to_pb()) - 4 * (x(1).to_pb()), False, ["~x(1)"], [4]),
        (lambda x: 0 * (x(0).to_pb() + x(1).to_pb()), True, [], []),
        (lambda x: Sum(), False, [], []),
    ],
)
def test_to_maxsat_keeps_repeats_and_drops_zero_terms(manager, sink, build, minimization, literals, weights):
    formula, got_weights = FormulaPB(build(manager.name2genvar["x"]), None, None).to_maxsat(manager, minimization)
    assert (literal_texts(formula), got_weights) == (literals, weights)
    assert manager.cnt_pbvar == 0


@pytest.mark.parametrize("seed", range(30))
@pytest.mark.parametrize("minimization", [True, False])
def test_to_maxsat_cost_tracks_the_objective(manager, sink, seed, minimization):
    rng = random.Random(seed)
    weights = [rng.choice([0, 1, 2, 5, -1, -3]) for _ in range(rng.randint(1, 5))]
    formula, soft_weights = FormulaPB(weighted_term(manager, weights), None, None).to_maxsat(manager, minimization)
    soft = literal_texts(formula)
    assert 0 not in soft_weights and len(soft) == len(soft_weights)
    offsets = set()
    for values in itertools.product([False, True], repeat=len(weights)):
        truth = {f"x({k})": v for k, v in enumerate(values)}
        violated = sum(w for text, w in zip(soft, soft_weights)
                       if truth[text.lstrip("~")] == text.startswith("~"))
        objective = sum(w for w, v in zip(weights, values) if v)
        offsets.add(violated - (objective if minimization else -objective))
    # Soft cost differs from the objective (negated when maximising) by a constant.
    assert len(offsets) == 1


def test_to_maxsat_debug_message(manager, sink):
    x = manager.name2genvar["x"]
    FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, True)
    assert sink == [("FormulaPB before to_maxsat: Var(coeff: 1; pb num: 1; bx var: x(0))",
                     ce.log_level_type.debug)]


def test_fields_keep_the_arguments():
    leaf = PBVariable(1, "x(0)")
    formula = FormulaPB(leaf, pb.Comparator_type.GEQ, 4)
    assert list(vars(formula).items()) == [("expression", leaf), ("comparator", pb.Comparator_type.GEQ),
                                           ("border", (4,))]
    assert FormulaPB(leaf, None, None).border == (None,)


# Clause lists as nothing gives them (zero, repeated and complementary
# literals, empty clauses, numbers met twice), and an encoder's database.
CLAUSE_LISTS = {
    "hand-made": [[1, -7, 9], [-9, 7], [], [2, 2, -2], [5, 0], [-1], [7, 8, 9, -8]],
    "no clause": [],
}


def encoder_database(weights, comparator, bound, first_number):
    config = pb.PBConfig()
    config.pb_encoder = pb.PB_Encoder_type.ADDER
    allocator = pb.AuxVarManager(first_number)
    lits = [pb.WeightedLit(n, w) for n, w in zip(range(1, len(weights) + 1), weights)]
    database = pb.VectorClauseDatabase(config)
    pb.pb2cnf(config).encode2(pb.PBConstraint(lits, comparator, bound), database, allocator)
    return database


def paired_run(given, build):
    manager = Manager()
    manager.registration_generator_variables("x")
    x = manager.name2genvar["x"]
    for k in range(3):
        x(k)  # PB numbers 1, 2, 3
    formula = build(given, manager)
    return str(formula), manager.name2pb, list(manager.pb2bx), manager.cnt_pbvar, all(
        manager.bx_context.get_var(name) is manager.pb2bx[number] for name, number in manager.name2pb.items())


@pytest.mark.parametrize("clauses", CLAUSE_LISTS.values(), ids=CLAUSE_LISTS.keys())
def test_native_clause_formula_matches_the_walk(clauses):
    native = paired_run(clauses, formulapb._native_clause_formula)
    assert native == paired_run(clauses, formulapb.walked_clause_formula) and native[-1]


@pytest.mark.parametrize("comparator", COMPARATORS)
def test_native_clause_formula_reads_the_encoders_database_as_the_walk_reads_its_clauses(comparator):
    database = encoder_database([7, 5, 3], COMPARATORS[comparator][0], 7, 4)  # aux variables in every comparison
    native = paired_run(database, formulapb._clause_formula)
    walked = paired_run(database, lambda given, manager: formulapb.walked_clause_formula(given.get_clauses(), manager))
    assert native == walked and native[3] > 0
