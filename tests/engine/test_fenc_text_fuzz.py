"""Fuzz of the formula encoder's two text readers with mutants of valid
texts (text_fuzz): whatever the text, a call either takes it or refuses it
with ValueError or OverflowError and a short ASCII message, and a refused
call leaves the encoder as it was. What it takes means what Python reads:
a taken expression text has the truth table of its Python evaluation, and a
taken foralls text has as many instances as the dictionary Python reads."""
import ast
import math

from fenc_truth import DECLARED, TextWriter, assignments, element_numbers, evaluate, satisfiable_under
from text_fuzz import inputs
from velmont.corvane_engine import _fenc

NUMBERS = element_numbers()
# Each test reads this many texts; a few seconds in all.
COUNT = 3000


def encoder():
    e = _fenc.FormulaEncoder("fuzz")
    for name, sizes in DECLARED.items():
        e.create_variables(name, sizes)
    return e


def refused_cleanly(call):
    """True when the call took its text; False when it refused it as it should."""
    try:
        call()
    except (ValueError, OverflowError) as error:
        message = str(error)
        assert message.isascii() and message.isprintable() and len(message) < 600, message
        return False
    return True


def dimacs(e):
    e.generate_cnf()
    return e.get_cnf_storage().to_dimacs()


def truth(value):
    """A lone element reference is a constraint on that element."""
    return value.to_bx().v if hasattr(value, "to_bx") else value


def same_truth_table(text):
    """The encoder's clauses for the text allow exactly the assignments its Python evaluation holds for."""
    try:
        # Inside parentheses, as the encoder reads it, a line break does not end the text.
        expected = [truth(evaluate("(" + text + "\n)", value_of, {"i": 1})) for value_of, _ in assignments(NUMBERS)]
    except Exception as error:  # the encoder took a text that Python does not read
        raise AssertionError(f"taken, but Python refuses it ({error!r}): {text!r}") from None
    e = encoder()
    e.add_constraint(text, "Foralls: {'i': [1]}")
    e.generate_cnf()
    found = satisfiable_under(e.get_cnf_storage().hard_clauses(), [lits for _, lits in assignments(NUMBERS)])
    return found == expected


def expression_seeds():
    writer = TextWriter(2024)
    return [writer.boolean(3, [("i", [1])]) for _ in range(40)]


def test_expression_texts():
    fuzzed, reference = encoder(), encoder()
    seeds, taken = expression_seeds(), []
    for text in inputs(11, seeds, COUNT):
        if refused_cleanly(lambda: fuzzed.add_constraint(text, "Foralls: {'i': [1]}")):
            reference.add_constraint(text, "Foralls: {'i': [1]}")
            taken.append(text)
    assert dimacs(fuzzed) == dimacs(reference)
    mutants = [text for text in dict.fromkeys(taken) if text not in seeds]
    for text in mutants[:60]:
        assert same_truth_table(text), text


def foralls_seeds():
    values = ["range(0, 2)", "range(3)", "range(2, -1, -1)", "range(-9223372036854775807, 9223372036854775807, "
              "4611686018427387904)", "[0, 1]", "[]", "(3,)", "()", "[True, False, -2]", "(1, 2, 3)"]
    seeds = []
    for k in range(30):
        entries = [f"'{name}': {values[(k * 7 + n * 3) % len(values)]}" for n, name in enumerate("ijk"[: k % 4])]
        seeds.append("Foralls: {" + ", ".join(entries) + "}")
    return seeds


def python_instances(text):
    """The instance count of the dictionary Python reads from the text, or None when it reads none."""
    try:
        body = ast.parse(text.removeprefix("Foralls: ").strip(), mode="eval").body
        if not text.startswith("Foralls: ") or not isinstance(body, ast.Dict):
            return None
        keys = [ast.literal_eval(key) for key in body.keys]
        values = [eval(compile(ast.Expression(value), "<foralls>", "eval"), {"__builtins__": {}, "range": range})
                  for value in body.values]
    except Exception:
        return None
    if len(set(keys)) != len(keys) or not all(isinstance(key, str) for key in keys):
        return None
    if not all(type(v) is range or (type(v) in (list, tuple) and all(type(x) in (int, bool) for x in v))
               for v in values):
        return None
    return math.prod(length(v) for v in values)


def length(values):
    if type(values) is range:  # len() refuses one beyond sys.maxsize
        return max(0, (values.stop - values.start + values.step - (1 if values.step > 0 else -1)) // values.step)
    return len(values)


def test_foralls_texts():
    fuzzed, reference = encoder(), encoder()
    for text in inputs(12, foralls_seeds(), COUNT):
        # A formula without clauses: instances cost no memory, however many the text makes.
        if refused_cleanly(lambda: fuzzed.add_constraint("bx.one()", text)):
            instances = python_instances(text)
            assert instances is not None, f"taken, but Python reads no foralls dictionary from {text!r}"
            reference.add_constraint("bx.one()", text)
            if instances <= 10_000:  # one soft clause per instance shows the count
                e = encoder()
                e.add_soft_constraint("x(0).to_pb()", text, 1, True)
                e.generate_cnf()
                assert len(e.get_cnf_storage().soft_clauses()) == instances, text
    assert dimacs(fuzzed) == dimacs(reference)
