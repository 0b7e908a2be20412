"""Texts whose size a caller controls are read in one pass: deep nesting,
many foralls, many names. Each size here took the quadratic reader tens of
seconds; the results show that the one-pass binding of names is right."""

import pytest

from velmont.corvane_engine import _fenc

SIZE = 100_000


def encoder(elements):
    e = _fenc.FormulaEncoder("long")
    e.create_variables("x", [elements])
    return e


def hard_clauses(e):
    e.generate_cnf()
    return e.get_cnf_storage().hard_clauses()


def test_deeply_nested_comprehensions_bind_each_loop_in_its_scope():
    # Level k runs a_k over range(a_{k-1} + 1, a_{k-1} + 2), so a_k = k + 1 and the innermost names x(SIZE).
    text = "bx.and_s([" * SIZE + f"x(a{SIZE - 1}).to_bx()"
    text += "".join(f" for a{k} in range({f'a{k - 1} + 1' if k else '1'}, {f'a{k - 1} + 2' if k else '2'})])"
                    for k in reversed(range(SIZE)))
    e = encoder(SIZE + 1)
    e.add_constraint(text, "Foralls: {}")
    assert hard_clauses(e) == [[SIZE + 1]]


def test_many_foralls_expand_in_their_order():
    foralls = ", ".join(f"'i{k}': [{k % 2}]" for k in range(SIZE))
    e = encoder(2)
    e.add_constraint(f"bx.and_s([x(i{SIZE - 2}).to_bx(), ~x(i{SIZE - 1}).to_bx()])",
                     "Foralls: {" + foralls + ", 'last': range(0, 2)}")
    assert hard_clauses(e) == [[1], [-2]] * 2


def test_many_unbound_names_report_the_first_in_the_text():
    text = "bx.and_s([" + ", ".join(f"x(n{k}).to_bx()" for k in range(SIZE)) + "])"
    with pytest.raises(ValueError, match="^index 'n0' is bound neither by the foralls nor by a loop at position 12:"):
        encoder(1).add_constraint(text, "Foralls: {}")
