"""What text the formula encoder reads and how it refuses the rest."""

import re

import pytest

from fenc_truth import satisfiable_under
from velmont.corvane_engine import _fenc


def encoder():
    e = _fenc.FormulaEncoder("text")
    e.create_variables("x", [3])
    e.create_variables("y", [2, 2])
    return e


def hard_clauses_of(text, foralls="Foralls: {}"):
    e = encoder()
    e.add_constraint(text, foralls)
    e.generate_cnf()
    return e.get_cnf_storage().hard_clauses()


@pytest.mark.parametrize("text, position, reason", [
    ("x(0).to_bx() ++", 15, "expected an operand"),
    ("bx.and_s([x(0).to_bx()", 22, "expected ')' or ']'"),
    ("bx.and_s([x(0).to_bx()))", 22, "expected ']'"),
    ("x(0).to_bx() x(1).to_bx()", 13, "expected an operator"),
    ("x(0).to_bx() & x(1).to_bx()", 13, "unexpected character '&'"),
    ("x(0).to_bx() <= 1", 13, "unexpected character '<'"),
    ("x(0.5).to_bx()", 3, "only decimal integers"),
    ("x(01).to_bx()", 2, "an integer must not start with 0"),
    ("bx.nand_s([])", 3, "unknown attribute 'nand_s'"),
    ("x(0).to_pb()", 0, "a constraint must be a Boolean formula"),
    ("FormulaPB(x(0).to_bx(), pb.Comparator_type.LEQ, 1).to_bx(manager)", 10, "compares a pseudo-Boolean sum"),
    ("FormulaPB(x(0).to_pb(), pb.Comparator_type.LT, 1).to_bx(manager)", 43, "unknown attribute 'LT'"),
    ("FormulaPB(x(0).to_pb(), None, None).to_maxsat(manager, True)", 36, "objective"),
    ("bx.and_s([x(0).to_bx(), x(1).to_pb()])", 24, "list items of different kinds"),
    ("x(k).to_bx()", 2, "index 'k' is bound neither"),
    ("x(0, 1).to_bx()", 0, "takes 1 indexes, got 2"),
    ("z(0).to_bx()", 0, "'z' is not a declared variable"),
    ("bx.or_s([x(j).to_bx() for j in 3])", 31, "a loop runs over a range"),
    ("bx.impl_s(x(0).to_bx())", 0, "takes 2 arguments"),
    ("x(0).to_bx() + x(1).to_bx()", 13, "cannot combine"),
    ("FormulaPB(x(0).to_pb() * (x(1).to_pb()), pb.Comparator_type.LEQ, 1).to_bx(manager)", 23,
     "multiplies a pseudo-Boolean sum by an integer"),
    ("FormulaPB(x(0) * (x(1).to_pb()), pb.Comparator_type.LEQ, 1).to_bx(manager)", 15,
     "multiplies a pseudo-Boolean sum by an integer"),
    ("bx.or_s([y(0,0).to_bx() for y in range(0, 2)])", 9, "'y' is a loop variable here"),
    ("bx.or_s([x(i).to_bx() for i in {x(0).to_bx()}])", 32, "a set holds integers"),
    ("bx.or_s([x(i).to_bx() for i in set(1)])", 34, "set takes 0 arguments"),
])
def test_refused_text_names_where_reading_stopped(text, position, reason):
    with pytest.raises(ValueError) as info:
        encoder().add_constraint(text, "Foralls: {}")
    message = str(info.value)
    assert reason in message
    assert f"at position {position}: " in message
    shown = message.split("at position", 1)[1].split(": ", 1)[1].removeprefix("...")
    assert shown.startswith(text[max(0, position - 40):position] + " <here> ")


def test_out_of_range_element_is_refused_and_nothing_is_added():
    e = encoder()
    with pytest.raises(ValueError, match=r"element x\(3\) is out of range"):
        e.add_constraint("x(i + 1).to_bx()", "Foralls: {'i': range(0, 3)}")
    e.generate_cnf()
    assert e.get_cnf_storage().hard_clauses() == []


@pytest.mark.parametrize("foralls, text, clauses", [
    ("Foralls: {'i': range(0, 2)}", "x(i).to_bx()", [[1], [2]]),
    ("Foralls: {'i': range(2, -1, -2)}", "x(i).to_bx()", [[3], [1]]),
    ("Foralls: {'i': range(0, 0)}", "x(i).to_bx()", []),
    ("Foralls: {'i': [1, 0], 'j': (1,)}", "y(i,j).to_bx()", [[7], [5]]),
    ("Foralls: {'i': (), 'j': [0, 1]}", "y(i,j).to_bx()", []),
    ("Foralls: {'j': range(0, 2), 'i': [True, 0]}", "y(i,j).to_bx()", [[6], [4], [7], [5]]),
])
def test_foralls_expand_first_key_outermost(foralls, text, clauses):
    # Each instance asserts one element, so the clause order shows the expansion.
    assert hard_clauses_of(text, foralls) == clauses


@pytest.mark.parametrize("foralls, reason", [
    ("{'i': range(0, 2)}", "start with 'Foralls: '"),
    ("Foralls: {'i': range(0, 2), 'i': [0]}", "given twice"),
    ("Foralls: {'i': [0 1]}", "expected ']'"),
    ("Foralls: {'i': [0.5]}", "only decimal integers"),
    ("Foralls: {'i': range(0, 3, 0)}", "step must not be zero"),
    ("Foralls: {'i': array([0, 1])}", "expected a range, a list or a tuple"),
    ("Foralls: {'i': range(0, 2)", "expected '}'"),
    # What Python does not read as a dictionary of index names to integer sequences.
    ("Foralls: {'i': (3)}", "a tuple of one value is written with a trailing comma"),
    ("Foralls: {'i': [01]}", "an integer must not start with 0"),
    ("Foralls: {'i j': [0]}", "index name 'i j' is not an identifier"),
    ("Foralls: {'\ni': [0]}", r"index name '\ni' is not an identifier"),
])
def test_malformed_foralls_are_refused(foralls, reason):
    with pytest.raises(ValueError, match="cannot read the foralls") as info:
        encoder().add_constraint("x(0).to_bx()", foralls)
    assert reason in str(info.value)


def test_unused_forall_repeats_the_constraint():
    assert hard_clauses_of("x(0).to_bx()", "Foralls: {'k': range(0, 3)}") == [[1], [1], [1]]


def test_loop_values_may_depend_on_outer_loops_and_foralls():
    # x(a) for a in range(i, 3): the sum of the x above i is at least 1.
    clauses = hard_clauses_of(
        "FormulaPB(Sum(*[x(a).to_pb() for a in range(i, 3)]), pb.Comparator_type.GEQ, 1).to_bx(manager)",
        "Foralls: {'i': [2, 1]}")
    assert sorted(map(sorted, clauses)) == [[2, 3], [3]]


def test_loop_variable_hides_a_forall_of_the_same_name():
    clauses = hard_clauses_of("bx.and_s([x(i).to_bx() for i in [2]])", "Foralls: {'i': [0]}")
    assert clauses == [[3]]


@pytest.mark.parametrize("text, clauses", [
    ("x(2)", [[3]]),
    ("~(x(2).to_bx())", [[-3]]),
    ("bx.one()", []),
    ("bx.zero()", [[]]),
    ("bx.and_s([])", []),
    ("bx.or_s([])", [[]]),
    ("FormulaPB(2 ** 3 * (x(0).to_pb()), pb.Comparator_type.LEQ, -(-7)).to_bx(manager)", [[-1]]),
    ("FormulaPB(True * (x(0).to_pb()), pb.Comparator_type.BOTH, 1).to_bx(manager)", [[1]]),
])
def test_small_texts_give_their_clauses(text, clauses):
    assert hard_clauses_of(text) == clauses


def test_deep_nesting_does_not_exhaust_the_stack():
    # An alternation of negations and two-member conjunctions, 10^5 levels, as repeated & and ~ write it.
    opening, closing = [], []
    for level in range(100000):
        opening.append("~(" if level % 2 else "bx.and_s([")
        closing.append(")" if level % 2 else ", x(1).to_bx()])")
    text = "".join(reversed(opening)) + "x(0).to_bx()" + "".join(closing)
    e = encoder()
    e.add_constraint(text, "Foralls: {}")
    e.generate_cnf()
    def value(x0, x1):
        v = x0
        for level in range(100000):
            v = (not v) if level % 2 else (v and x1)
        return v

    cases = [(a, b) for a in (False, True) for b in (False, True)]
    assumptions = [[1 if a else -1, 2 if b else -2] for a, b in cases]
    assert satisfiable_under(e.get_cnf_storage().hard_clauses(), assumptions) == [value(a, b) for a, b in cases]


@pytest.mark.parametrize("text, foralls, reason, position, shown", [
    # Positions count characters, and a character the language has no use for shows escaped as ascii() writes it.
    ("x(0).to_bx() §", "Foralls: {}", r"unexpected character '\xa7'", 13, r"x(0).to_bx()  <here> \xa7"),
    ("x(0).to_bx() \0 x(1)", "Foralls: {}", r"unexpected character '\x00'", 13, r"x(0).to_bx()  <here> \x00 x(1)"),
    ("x(0).to_bx() €", "Foralls: {}", r"unexpected character '\u20ac'", 13, r" <here> \u20ac"),
    ("x(0).to_bx() 😀", "Foralls: {}", r"unexpected character '\U0001f600'", 13, r" <here> \U0001f600"),
    ("x(0).to_bx()\n\t&", "Foralls: {}", "unexpected character '&'", 14, r"x(0).to_bx()\n\t <here> &"),
    ("x(0).to_bx()", "Foralls: {'ü': [0], 'ü': [1]}", r"index '\xfc' is given twice", 20, r"[0],  <here> '\xfc'"),
    ("x(0).to_bx()", "Foralls: {'i': [0\0]}", r"unexpected character '\x00'", 17, r"[0 <here> \x00]}"),
    # Where reading stops behind many wide characters, the shown text starts on a character.
    ("x(0).to_bx() " + "§" * 60, "Foralls: {}", r"unexpected character '\xa7'", 13, r" <here> " + r"\xa7" * 40 + "..."),
    ("§" * 60 + " x", "Foralls: {}", r"unexpected character '\xa7'", 0, r" <here> " + r"\xa7" * 40 + "..."),
])
def test_refused_characters_show_escaped_in_a_value_error(text, foralls, reason, position, shown):
    e = encoder()
    with pytest.raises(ValueError) as info:
        e.add_constraint(text, foralls)
    message = str(info.value)
    assert message.isascii() and reason in message and shown in message
    assert f"at position {position}: " in message


@pytest.mark.parametrize("text, error, head", [
    ("x(0).to_bx()." + "a" * 10**6, ValueError, "unknown attribute '" + "a" * 40 + "'..."),
    ("b" * 10**6 + "(0).to_bx()", ValueError, "'" + "b" * 40 + "'... is not a declared variable"),
    ("x(" + "c" * 10**6 + ").to_bx()", ValueError, "index '" + "c" * 40 + "'... is bound neither"),
    ("x(" + "9" * 10**6 + ").to_bx()", OverflowError, "integer '" + "9" * 40 + "'... does not fit"),
])
def test_a_huge_token_is_quoted_cut_short(text, error, head):
    with pytest.raises(error) as info:
        encoder().add_constraint(text, "Foralls: {}")
    assert head in str(info.value) and len(str(info.value)) < 400


def test_declared_names_show_escaped_in_refusals():
    e = encoder()
    with pytest.raises(ValueError, match=r"variable name 'a\\x00b' is not an identifier") as info:
        e.create_variables("a\0b", [1])
    with pytest.raises(ValueError, match=r"variable name '(\\xa7)+'\.\.\. is not") as info:
        e.create_variables("§" * 10**5, [1])
    assert len(str(info.value)) < 400


@pytest.mark.parametrize("foralls, count", [
    ("{'i': range(0, 100000), 'j': range(0, 100000)}", "10000000000"),
    ("{'i': range(0, 2147483648)}", "2147483648"),
    ("{'i': range(-9223372036854775807, 9223372036854775807)}", "18446744073709551614"),
    ("{" + ", ".join(f"'i{k}': range(0, 4611686018427387904)" for k in range(3)) + "}", "more than 2**127"),
])
def test_foralls_beyond_the_instances_of_a_formula_are_refused_before_any_is_built(foralls, count):
    e = encoder()
    message = f"the foralls make {count} instances; a formula has at most 2147483647"
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        e.add_constraint("x(0).to_bx()", "Foralls: " + foralls)
    e.generate_cnf()
    assert e.get_cnf_storage().hard_clauses() == []


# A range that runs to 2**63 - 3 in three steps: k * step leaves 64 bits on the way to its last value.
WIDE = "range(-9223372036854775807, 9223372036854775807, 9223372036854775806)"


@pytest.mark.parametrize("foralls, text, clauses", [
    # Ranges are never built: one of the largest length costs nothing when another forall is empty.
    ("{'i': range(0, 2147483647), 'j': []}", "x(0).to_bx()", []),
    ("{'i': range(9223372036854775807, 9223372036854775804, -1)}", "x(9223372036854775807 - i).to_bx()",
     [[1], [2], [3]]),
    ("{'i': range(-9223372036854775807, -9223372036854775804)}", "x(i + 9223372036854775807).to_bx()",
     [[1], [2], [3]]),
])
def test_forall_ranges_give_their_values_at_the_ends_of_64_bits(foralls, text, clauses):
    assert hard_clauses_of(text, "Foralls: " + foralls) == clauses


@pytest.mark.parametrize("text, foralls", [
    # The first two values give empty loops; the last one a loop too long, whose message shows it.
    ("bx.and_s([x(0).to_bx() for v in range(0, i)])", "Foralls: {'i': " + WIDE + "}"),
    (f"bx.and_s([x(0).to_bx() for i in {WIDE} for v in range(0, i)])", "Foralls: {}"),
])
def test_the_last_value_of_a_range_whose_steps_leave_64_bits(text, foralls):
    with pytest.raises(ValueError, match=r"range\(0, 9223372036854775805, 1\) has 9223372036854775805 values; "
                                         r"a loop runs over at most 2147483647"):
        encoder().add_constraint(text, foralls)


def test_loop_ranges_give_their_values_at_the_ends_of_64_bits():
    top = "bx.and_s([x(9223372036854775807 - v).to_bx() for v in range(9223372036854775807, 9223372036854775804, -1)])"
    bottom = "bx.and_s([x(v + 9223372036854775807).to_bx() for v in range(-9223372036854775807, -9223372036854775805)])"
    assert hard_clauses_of(top) == [[1], [2], [3]]
    assert hard_clauses_of(bottom) == [[1], [2]]
