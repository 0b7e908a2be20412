"""A template expanded over foralls has the models of the constraint written out
instance by instance; a SAT solver decides, Python gives the truth."""
import itertools

import pytest
from pysat.formula import CNF
from pysat.solvers import Solver

import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from container_helpers import new_container
from tarvo_encoder.core.formulapb import FormulaPB
from tarvo_encoder.core.manager import Manager
from tarvo_encoder.core.pboperations import Sum as PBSum
from tarvo_encoder.encode.variables import Index, Variable

X = {(a, b): 1 + 4 * a + b for a in range(2) for b in range(4)}
x_block = Variable("x", {"a": 2, "b": 4}, 1)


def rule(value, i, j):
    """The constraint of instance (i, j): (x[i,j] xor x[i+1,j]) or (x[i,j+1] and not x[i,j])."""
    a, b, c = value(i, j), value(i + 1, j), value(i, j + 1)
    return (a != b) or (c and not a)


def engine_rule(name):
    context = bx.Context()
    a, b, c = (context.get_var(name(di, dj)) for di, dj in [(0, 0), (1, 0), (0, 1)])
    formula = bx.or_s([bx.xor_s([a, b]), bx.and_s([c, ~a])]).tseytin(context, "_dravo_aux")
    aux = sum(1 for v in formula.support() if "_dravo_aux" in str(v))
    return formula, aux


FORALLS = {"i": range(1), "j": [2, 0, 1]}


def expanded_template():
    container = new_container()
    formula, aux = engine_rule(lambda di, dj: "x(" + ("i + 1" if di else "i") + "," + ("j + 1" if dj else "j") + ")")
    container.add_hard_constraint(formula, FORALLS, 0, aux)
    container.build_cnf_formula("template")
    return container.cnf_storage()


def written_out():
    container = new_container()
    for i, j in itertools.product(*FORALLS.values()):
        formula, aux = engine_rule(lambda di, dj: f"x({i + di},{j + dj})")
        container.add_hard_constraint(formula, {}, 0, aux)
    container.build_cnf_formula("instances")
    return container.cnf_storage()


@pytest.mark.parametrize("build", [expanded_template, written_out])
def test_models_on_declared_variables(build):
    storage = build()
    with Solver(name="minisat22", bootstrap_with=CNF(from_string=storage.to_dimacs()).clauses) as solver:
        for values in itertools.product([False, True], repeat=len(X)):
            truth = dict(zip(X, values))
            expected = all(rule(lambda a, b: truth[a, b], i, j) for i, j in itertools.product(*FORALLS.values()))
            assumptions = [X[key] if value else -X[key] for key, value in truth.items()]
            assert solver.solve(assumptions=assumptions) == expected


def test_template_and_written_out_use_the_same_numbers():
    assert sorted(map(sorted, expanded_template().hard_clauses())) == sorted(map(sorted, written_out().hard_clauses()))


def compiled(text, index_names):
    """The template formula of an expression text, compiled as the model compiles it."""
    manager = Manager()
    manager.registration_generator_variables("x")
    namespace = {"Sum": PBSum, "FormulaPB": FormulaPB, "bx": bx, "pb": pb, "manager": manager}
    namespace |= {name: Index(name) for name in index_names} | manager.name2genvar
    formula = eval(text, namespace).tseytin(manager.bx_context, "_dravo_aux")
    dravo_aux = sum(1 for v in formula.support() if "_dravo_aux" in str(v))
    return formula, manager.cnt_pbvar, dravo_aux


def pb_row(row):
    return str(2 * x_block[row, 0] + x_block[row, 1] + x_block[row, 2] + x_block[row, 3] <= 2)


@pytest.mark.parametrize("expanded", [True, False], ids=["template", "written out"])
def test_pb_constraint_with_encoder_aux_has_the_models_of_its_rows(expanded):
    container = new_container()
    if expanded:
        formula, p, b = compiled(pb_row(Index("i")), ["i"])
        assert p > 0
        container.add_hard_constraint(formula, {"i": range(2)}, p, b)
    else:
        for row in range(2):
            formula, p, b = compiled(pb_row(row), [])
            container.add_hard_constraint(formula, {}, p, b)
    container.build_cnf_formula("pb")
    storage = container.cnf_storage()
    with Solver(name="minisat22", bootstrap_with=CNF(from_string=storage.to_dimacs()).clauses) as solver:
        for values in itertools.product([0, 1], repeat=len(X)):
            truth = dict(zip(X, values))
            expected = all(2 * truth[r, 0] + truth[r, 1] + truth[r, 2] + truth[r, 3] <= 2 for r in range(2))
            assumptions = [X[key] if value else -X[key] for key, value in truth.items()]
            assert solver.solve(assumptions=assumptions) == expected
