"""The formula encoder's road for one-clause texts (read straight into a
clause) against the compiler road: random one-clause and near-one-clause
texts, among other constraints, soft constraints and refused adds, give the
same DIMACS text, variable mapping, counts and refusals."""

import functools
import json
import random

import pytest

import velmont.corvane_engine as ce
from velmont.corvane_engine import _fenc, _manager
from tarvo_encoder.encode import OrIt
from tarvo_encoder.encode.model import Model

# Declared in every encoder: x(6), y(2, 3), w(120) for long clauses and z, one element without indexes.
DECLARATIONS = [("x", [6]), ("y", [2, 3]), ("w", [120]), ("z", [])]


class TextWriter:
    """Clause texts as the operators write them, now and then bent into a text near one."""

    def __init__(self, seed):
        self.rng = random.Random(seed)

    def reference(self):
        rng = self.rng
        r = rng.random()
        if r < 0.3:
            return f"x({rng.randrange(6)})"
        if r < 0.5:
            return f"y({rng.randrange(2)},{rng.randrange(3)})"
        if r < 0.95:
            return f"w({rng.randrange(120)})"
        return rng.choice([
            "z()", "x(6)", "y(2,0)", "y(1,3)", "x(1,2)", "y(1)", "x()", "v(0)", "x(01)", "x(00)", "x(-1)",
            "x(True)", "x(i)", "x( 1)", "y(1, 2)", "x (1)", "x(99999999999999999999)", "x(1.0)", "X(1)",
        ])

    def literal(self):
        rng = self.rng
        ref = self.reference()
        r = rng.random()
        if r < 0.48:
            return ref + ".to_bx()"
        if r < 0.96:
            return "~(" + ref + ".to_bx())"
        return rng.choice([ref, "~(" + ref + ")", "~(~(" + ref + ".to_bx()))", ref + ".to_bx( )",
                           "~ (" + ref + ".to_bx())", ref + ".to_pb()"])

    def clause(self, depth=0):
        """A literal, or an or_s of literals and clauses, flat or nested on the left as a | chain writes it."""
        rng = self.rng
        if depth > 3 or rng.random() < 0.25:
            return self.literal()
        if rng.random() < 0.5:  # x[a] | x[b] | x[c]: or_s nested on the left
            text = self.item(depth)
            for _ in range(rng.randrange(1, 5)):
                text = "bx.or_s([" + text + self.separator() + self.item(depth) + "])"
            return text
        count = rng.choice([0, 1, 2, 3, 5, 8])
        return "bx.or_s([" + self.separator().join(self.item(depth) for _ in range(count)) + "])"

    def item(self, depth):
        return self.clause(depth + 1) if self.rng.random() < 0.2 else self.literal()

    def separator(self):
        return ", " if self.rng.random() < 0.95 else self.rng.choice([",", " , ", ",  "])

    def long_clause(self):
        """Many literals over w, as a chain past its nesting limit writes them: one flat or_s."""
        count = self.rng.randrange(20, 150)
        elements = self.rng.sample(range(120), min(count, 120)) + [self.rng.randrange(120)] * (count > 120)
        return "bx.or_s([" + ", ".join(
            f"w({k}).to_bx()" if self.rng.random() < 0.5 else f"~(w({k}).to_bx())" for k in elements) + "])"

    def near_clause(self):
        """Texts that start like a clause and are none, or not quite as the operators write it."""
        rng = self.rng
        clause = self.clause()
        return rng.choice([
            lambda: "~(" + clause + ")",
            lambda: "bx.and_s([" + clause + ", " + self.literal() + "])",
            lambda: "bx.xor_s([" + clause + ", " + self.literal() + "])",
            lambda: clause + "])",
            lambda: clause[:-2] + ", ])" if clause.endswith("])") else clause + ")",
            lambda: clause[: rng.randrange(len(clause))],
            lambda: " " + clause,
            lambda: clause + " ",
            lambda: clause.replace("bx.or_s", "bx.or_s ", 1),
            lambda: "bx.or_s([" + clause + "], [" + self.literal() + "])",
            lambda: "bx.or_s(" + self.literal() + ")",
            lambda: "bx.or_s([bx.one(), " + clause + "])",
        ])()

    def call(self):
        """One add: (method, text, foralls text, weight)."""
        rng = self.rng
        r = rng.random()
        if r < 0.5:
            return "hard", self.clause(), "Foralls: {}", None
        if r < 0.6:
            return "hard", self.long_clause(), "Foralls: {}", None
        if r < 0.8:
            return "hard", self.near_clause(), "Foralls: {}", None
        if r < 0.87:  # a clause with foralls: the compiler road on both
            return "hard", rng.choice(["bx.or_s([x(i).to_bx(), ~(y(1,i).to_bx())])", self.clause()]), \
                rng.choice(["Foralls: {'i': range(0, 2)}", "Foralls: {'i': []}", "Foralls: { }"]), None
        if r < 0.94:
            return "hard", rng.choice([
                "FormulaPB(x(0).to_pb() + x(1).to_pb() + w(3).to_pb(), pb.Comparator_type.LEQ, 1).to_bx(manager)",
                "bx.impl_s(x(2).to_bx(), bx.or_s([x(3).to_bx(), y(0,1).to_bx()]))",
                "bx.xor_s([x(0).to_bx(), x(1).to_bx()])",
            ]), "Foralls: {}", None
        return "soft", rng.choice(["x(1).to_pb()", "2 * (x(2).to_pb()) + y(1,1).to_pb()", "w(i).to_pb()"]), \
            rng.choice(["Foralls: {}", "Foralls: {'i': range(0, 3)}"]), rng.choice([1, 3])


def encode(calls, shortcuts, tmp_path, declarations=DECLARATIONS):
    """Each add's refusal (or None), then the DIMACS text, numbered names and counts, or the build's refusal."""
    e = _fenc.FormulaEncoder("m", clause_form_shortcuts=shortcuts)
    for name, sizes in declarations:
        e.create_variables(name, sizes)
    outcomes = []
    for method, text, foralls, weight in calls:
        try:
            if method == "hard":
                outcomes.append(e.add_constraint(text, foralls))
            else:
                outcomes.append(e.add_soft_constraint(text, foralls, weight, True))
        except Exception as error:  # noqa: BLE001 - whatever a road raises, the other must raise the same
            outcomes.append((type(error), str(error)))
    try:
        e.generate_cnf()
    except Exception as error:  # noqa: BLE001
        return outcomes, (type(error), str(error))
    mapping = e.get_var_mapping()
    mapping.build_inverse_map()
    e.save_metrics_json(str(tmp_path / f"{shortcuts}.json"))
    counts = {k: v for k, v in json.loads((tmp_path / f"{shortcuts}.json").read_text()).items()
              if not k.endswith("_seconds")}
    return outcomes, e.get_cnf_storage().to_dimacs(), [mapping.name_of(n) for n in range(1, len(mapping) + 1)], counts


@pytest.mark.parametrize("seed", range(150))
def test_random_clause_texts_encode_alike_on_both_roads(seed, tmp_path):
    writer = TextWriter(seed)
    calls = [writer.call() for _ in range(writer.rng.randrange(1, 12))]
    assert encode(calls, True, tmp_path) == encode(calls, False, tmp_path)


@pytest.mark.parametrize("declarations, text", [
    # A variable named bx hides the module; for and in are read as loop words, declared or not.
    ([("bx", [2]), ("x", [2])], "bx.or_s([x(0).to_bx(), x(1).to_bx()])"),
    ([("bx", [2]), ("x", [2])], "bx(1)"),
    ([("bx", [2]), ("x", [2])], "~(bx(0).to_bx())"),
    ([("for", [2])], "for(1).to_bx()"),
    ([("in", [2])], "bx.or_s([in(0).to_bx(), ~(in(1).to_bx())])"),
    ([("café", [2])], "bx.or_s([café(0).to_bx(), ~(café(1).to_bx())])"),
    ([("x", [2]), ("xé", [2])], "bx.or_s([xé(0).to_bx(), ~(x(1).to_bx())])"),
    ([("x", [0])], "x(0)"),
    ([("x", [2, 0])], "~(x(1,0).to_bx())"),
], ids=["bx or_s", "bx lone", "bx negated", "for", "in", "non-ASCII name", "name past ASCII", "empty", "empty 2d"])
def test_declared_names_that_change_the_reading_encode_alike(declarations, text, tmp_path):
    calls = [("hard", text, "Foralls: {}", None)]
    assert encode(calls, True, tmp_path, declarations) == encode(calls, False, tmp_path, declarations)


def test_one_clause_texts_take_the_text_order(tmp_path):
    """What the random texts rest on: the clause is written in the order of the text, not sorted."""
    calls = [("hard", "bx.or_s([bx.or_s([x(5).to_bx(), ~(y(0,2).to_bx())]), x(0).to_bx()])", "Foralls: {}", None),
             ("hard", "y(1,0)", "Foralls: {}", None), ("hard", "~(z().to_bx())", "Foralls: {}", None)]
    outcomes, dimacs, _, counts = encode(calls, True, tmp_path)
    assert outcomes == [None, None, None]
    assert dimacs.splitlines()[2:] == ["6 -9 1 0", "10 0", "-133 0"]
    assert (counts["hard_constraints"], counts["hard_clauses"], counts["instances"]) == (3, 3, 3)


def test_refused_adds_between_clauses_leave_nothing_behind(tmp_path):
    """The clauses of every formula share one list: of a formula refused at its second instance nothing is
    written, and the formulas before and after it keep their own clauses."""
    calls = [("hard", "bx.or_s([x(0).to_bx(), x(1).to_bx()])", "Foralls: {}", None),
             ("hard", "bx.or_s([x(i).to_bx(), ~(x(5).to_bx())])", "Foralls: {'i': [4, 6]}", None),
             ("soft", "x(i).to_pb()", "Foralls: {'i': [1, 6]}", 1),
             ("hard", "~(x(2).to_bx())", "Foralls: {}", None)]
    for shortcuts in (True, False):
        outcomes, dimacs, _, counts = encode(calls, shortcuts, tmp_path)
        assert [o if o is None else o[0] for o in outcomes] == [None, ValueError, ValueError, None]
        assert dimacs.splitlines()[2:] == ["1 2 0", "-3 0"]
        assert (counts["hard_constraints"], counts["soft_constraints"], counts["hard_clauses"]) == (2, 0, 2)


def test_model_chains_encode_alike_on_both_roads(monkeypatch):
    """The texts the operators write: | chains short and past the nesting limit, OrIt, lone and negated
    elements, among comparisons."""
    def build(shortcuts):
        monkeypatch.setattr(_manager, "FormulaEncoder",
                            functools.partial(_fenc.FormulaEncoder, clause_form_shortcuts=shortcuts))
        rng = random.Random(7)
        m = Model(ce.manager(), "chains", use_formula_encoder=True)
        x = m.create_variables("x", a=200)
        y = m.create_variables("y", a=3, b=4)
        for _ in range(60):
            k = rng.choice([1, 2, 3, 5, 70])
            lits = [x[e] if rng.random() < 0.5 else ~x[e] for e in rng.sample(range(200), k)]
            lits += [y[rng.randrange(3), rng.randrange(4)]] * (rng.random() < 0.3)
            clause = lits[0]
            for lit in lits[1:]:
                clause = clause | lit
            m.add_constraint(rng.choice([clause, clause, OrIt(lits), x[rng.randrange(200)]]))
            if rng.random() < 0.2:
                m.add_constraint(x[0] + x[1] + y[1, 1] <= 1)
        m.build_cnf()
        mapping = m.get_var_mapping()
        mapping.build_inverse_map()
        return m.get_cnf_storage().to_dimacs(), [mapping.name_of(n) for n in range(1, len(mapping) + 1)]

    assert build(True) == build(False)
