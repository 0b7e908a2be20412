import re

import pytest

import velmont.corvane_engine.dravo as bx
from dravo_check import CnfOracle, RandomFormulas, assignments, evaluate, is_flat_cnf, is_literal

NAMES = ["a", "b", "c", "d", "e"]
PREFIX = "_dravo_aux"


def aux_names(cnf):
    return [str(v) for v in cnf.support() if str(v).startswith(PREFIX + "_")]


def check_transformation(formula, meaning, context):
    cnf = formula.tseytin(context, PREFIX)
    assert is_flat_cnf(cnf), str(cnf)
    aux = aux_names(cnf)
    assert sorted(aux, key=lambda n: int(n.rsplit("_", 1)[1])) == [f"{PREFIX}_{k}" for k in range(len(aux))]
    assert all(context.get_var(n) in cnf.support() for n in aux)
    oracle = CnfOracle(cnf)
    try:
        for values in assignments(NAMES):
            assert oracle.satisfiable(values) == meaning(values), (str(formula), str(cnf), values)
    finally:
        oracle.close()
    return cnf


@pytest.mark.parametrize("seed", range(6))
def test_random_formulas_are_equisatisfiable_for_every_input_assignment(seed):
    # 100 formulas per seed: every assignment of the five inputs is checked
    # against the formula's plain-Python meaning with a SAT solver over the
    # auxiliaries; a fresh context per formula, as the model does.
    gen = RandomFormulas(seed, bx.Context(), NAMES)
    for _ in range(100):
        context = bx.Context()
        gen.vars = {n: context.get_var(n) for n in NAMES}
        gen.pool.clear()
        formula, meaning = gen.formula(depth=4)
        for values in assignments(NAMES):
            assert evaluate(formula, values) == meaning(values), str(formula)
        check_transformation(formula, meaning, context)


def random_cnf(rng, vars_, n_clauses):
    clauses = []
    for _ in range(n_clauses):
        lits = [v if rng.random() < 0.5 else ~v for v in rng.sample(vars_, rng.randint(1, 3))]
        clauses.append(bx.or_s(lits))
    return bx.and_s(clauses)


@pytest.mark.parametrize("seed", range(4))
def test_formula_already_in_cnf_gets_no_new_variable_and_stays_equivalent(seed):
    import random

    rng = random.Random(seed)
    for _ in range(25):
        context = bx.Context()
        vars_ = [context.get_var(n) for n in NAMES]
        formula = random_cnf(rng, vars_, rng.randint(0, 5))
        cnf = formula.tseytin(context, PREFIX)
        assert is_flat_cnf(cnf)
        assert aux_names(cnf) == []
        for values in assignments(NAMES):
            assert evaluate(cnf, values) == evaluate(formula, values)


@pytest.mark.parametrize(
    "build, expected",
    [
        # CNF input comes back clause for clause.
        (lambda a, b, c: bx.and_s([bx.or_s([a, ~b]), c]), "And(Or(a, ~b), c)"),
        (lambda a, b, c: bx.or_s([a, ~b, c]), "Or(a, ~b, c)"),
        (lambda a, b, c: ~a, "~a"),
        (lambda a, b, c: bx.and_([a, a, ~b]), "And(a, ~b)"),
        # A negated conjunction is one clause, a disjunction of single-use
        # disjunctions one clause too.
        (lambda a, b, c: ~bx.and_s([a, b]), "Or(~a, ~b)"),
        (lambda a, b, c: bx.or_s([a, ~bx.and_s([b, c])]), "Or(a, ~b, ~c)"),
        (lambda a, b, c: bx.impl_s(a, bx.impl_s(b, c)), "Or(~a, ~b, c)"),
        # Positive occurrence: only the "aux implies subformula" half.
        (lambda a, b, c: bx.or_s([a, bx.and_s([b, c])]),
         "And(Or(a, _dravo_aux_0), Or(~_dravo_aux_0, b), Or(~_dravo_aux_0, c))"),
        # Negative occurrence: only the other half.
        (lambda a, b, c: bx.or_s([a, ~bx.eq_s([b, c])]),
         "And(Or(a, ~_dravo_aux_0), Or(_dravo_aux_0, b, c), Or(_dravo_aux_0, ~b, ~c))"),
        (lambda a, b, c: bx.xor_s([a, b]), "And(Or(a, b), Or(~a, ~b))"),
        (lambda a, b, c: bx.ite_s(a, b, c), "And(Or(~a, b), Or(a, c))"),
        (lambda a, b, c: bx.eq_s([a, b, c]), "And(Or(~a, b), Or(~b, c), Or(~c, a))"),
        (lambda a, b, c: bx.and_([bx.one(), a]), "a"),
        (lambda a, b, c: bx.and_([bx.zero(), a]), "0"),
        (lambda a, b, c: bx.and_([]), "1"),
    ],
)
def test_exact_results(build, expected):
    context = bx.Context()
    a, b, c = (context.get_var(n) for n in "abc")
    assert str(build(a, b, c).tseytin(context, PREFIX)) == expected


@pytest.mark.parametrize(
    "formula, kind",
    [(lambda a, b, c: bx.one(), bx.One), (lambda a, b, c: bx.zero(), bx.Zero),
     (lambda a, b, c: bx.and_([a, bx.zero()]), bx.Zero),
     (lambda a, b, c: bx.or_s([a, b]), bx.Or), (lambda a, b, c: a, bx.Variable),
     (lambda a, b, c: bx.ite_s(a, b, c), bx.And)],
)
def test_result_classes(formula, kind):
    context = bx.Context()
    a, b, c = (context.get_var(n) for n in "abc")
    assert type(formula(a, b, c).tseytin(context, PREFIX)) is kind


def test_shared_subformula_gets_one_variable():
    context = bx.Context()
    a, b, c, d = (context.get_var(n) for n in "abcd")

    def build(g1, g2):
        return bx.xor_s([bx.and_s([g1, c]), bx.or_s([g2, d])])

    shared = bx.eq_s([a, b])
    copies = (bx.eq_s([a, b]), bx.eq_s([a, b]))
    n_shared = len(aux_names(build(shared, shared).tseytin(context, PREFIX)))
    n_copies = len(aux_names(build(*copies).tseytin(bx.Context(), PREFIX)))
    assert n_shared == n_copies - 1
    # Reached in both polarities it still gets one variable.
    both = bx.or_s([bx.and_s([shared, c]), bx.and_s([~shared, d])])
    cnf = both.tseytin(context, PREFIX)
    assert len(aux_names(cnf)) == 3


def test_new_variables_live_in_the_context_and_numbering_restarts_per_call():
    context = bx.Context()
    a, b, c = (context.get_var(n) for n in "abc")
    first = bx.or_s([bx.and_s([a, b]), bx.and_s([b, c])]).tseytin(context, "p")
    assert aux_names_with(first, "p") == ["p_0", "p_1"]
    assert context.get_var("p_0") in first.support()
    second = bx.or_s([bx.and_s([a, c]), c]).tseytin(context, "p")
    assert aux_names_with(second, "p") == ["p_0"]
    assert context.get_var("p_0") in second.support()


def aux_names_with(cnf, prefix):
    return [str(v) for v in cnf.support() if re.fullmatch(re.escape(prefix) + r"_\d+", str(v))]


def test_transforming_a_result_again_changes_nothing():
    context = bx.Context()
    a, b, c = (context.get_var(n) for n in "abc")
    cnf = bx.or_s([bx.and_s([a, b]), bx.xor_s([b, c])]).tseytin(context, PREFIX)
    assert str(cnf.tseytin(context, PREFIX)) == str(cnf)


def test_a_formula_using_a_new_name_itself_is_refused():
    context = bx.Context()
    a, b = context.get_var("a"), context.get_var("b")
    taken = context.get_var(PREFIX + "_0")
    with pytest.raises(ValueError, match="_dravo_aux_0"):
        bx.or_s([bx.and_s([a, b]), taken]).tseytin(context, PREFIX)


def alternating_chain(x, truth, levels):
    """And/Or alternating 2 * levels deep, with its value under `truth`."""
    f, value = x[0], truth[0]
    for i in range(levels):
        f = bx.or_s([bx.and_s([f, x[i % 3]]), ~x[(i + 1) % 3]])
        value = (value and truth[i % 3]) or not truth[(i + 1) % 3]
    return f, value


def implication_chain(x, truth, levels):
    """Implications nested 2 * levels deep that flatten into one clause."""
    f, value = x[2], truth[2]
    for i in range(levels):
        f = bx.impl_s(x[i % 2], bx.or_s([f, x[2]]))
        value = not truth[i % 2] or value or truth[2]
    return f, value


@pytest.mark.parametrize("chain", [alternating_chain, implication_chain])
def test_deep_formulas_do_not_exhaust_the_stack(chain):
    context = bx.Context()
    x = [context.get_var(n) for n in "xyz"]
    values = {"x": True, "y": False, "z": True}
    truth = [values[n] for n in "xyz"]
    deep, _ = chain(x, truth, 50_000)  # 100 000 nested levels
    assert len(str(deep)) > 100_000
    assert sorted(map(str, deep.support())) == ["x", "y", "z"]
    cnf = deep.tseytin(context, PREFIX)
    assert is_literal(cnf) or isinstance(cnf, (bx.And, bx.Or))
    del deep, cnf  # releasing the chains must not recurse either
    # The same construction, shallower, checked against its value.
    formula, value = chain(x, truth, 2_000)
    fixed = bx.and_s([formula.tseytin(context, PREFIX)] + [v if values[str(v)] else ~v for v in x])
    oracle = CnfOracle(fixed.tseytin(context, PREFIX))
    assert oracle.satisfiable({}) == value
    oracle.close()
