"""Compiled expressions held as terms against the reference road of scipy's
sparse arithmetic: random chains of operators and sums, compared entry for
entry (columns, coefficients, heights, Hessian structure)."""
import random

import numpy as np
import pytest

from coo_reference import CooExpression
from tarvo_encoder.linear_parser.compiled_linear_expressions import CompiledLinearExpression, CompiledSum
from tarvo_encoder.linear_parser.linear_variables import LinearVariable

BLOCK = LinearVariable("x", 0, 1, {"i": 9}, 2, type_var="float64")
NUMBERS = [0, 0.0, 1, -1, 2, 0.5, -2.5, 3, True]


def assert_same(terms, reference):
    assert terms.constant == reference.constant
    assert terms._linear_coefficients.shape == reference.linear.shape
    columns, values = terms.linear_coefficients_indexes, terms.linear_coefficients
    assert columns.tolist() == reference.linear.row.tolist() and values.tolist() == reference.linear.data.tolist()
    hessian, expected = terms.quadratic_coefficients, reference.hessian
    assert (hessian is None) == (expected is None)
    if hessian is not None:
        assert hessian.format == "csc" and hessian.shape == expected.shape
        assert hessian.indptr.tolist() == expected.indptr.tolist()
        assert hessian.indices.tolist() == expected.indices.tolist()
        assert hessian.data.tolist() == expected.data.tolist()


def random_pair(rng):
    column = rng.randrange(9)
    return BLOCK(column), CooExpression.variable(column + 2)


def random_chain(rng, steps):
    """The same random operators applied to a compiled expression and to its reference."""
    terms, reference = random_pair(rng)
    for _ in range(steps):
        other_terms, other_reference = random_pair(rng)
        number = rng.choice(NUMBERS)
        linear = terms.quadratic_coefficients is None
        step = rng.choice(["add", "sub", "add number", "sub number", "radd", "scale", "rscale", "neg", "pos"]
                          + ["product", "square"] * linear)
        if step == "add":
            terms, reference = terms + other_terms * number, reference + other_reference * number
        elif step == "sub":
            terms, reference = terms - other_terms, reference - other_reference
        elif step == "add number":
            terms, reference = terms + number, reference + number
        elif step == "sub number":
            terms, reference = terms - number, reference - number
        elif step == "radd":
            terms, reference = number + terms, number + reference
        elif step == "scale":
            terms, reference = terms * number, reference * number
        elif step == "rscale":
            terms, reference = number * terms, number * reference
        elif step == "neg":
            terms, reference = -terms, -reference
        elif step == "pos":
            terms, reference = +terms, +reference
        elif step == "product":
            terms, reference = terms * (other_terms + number), reference * (other_reference + number)
        else:
            terms, reference = (other_terms - number) * terms, (other_reference - number) * reference
    return terms, reference


@pytest.mark.parametrize("seed", range(40))
def test_operator_chains_match_the_reference(seed):
    terms, reference = random_chain(random.Random(seed), 12)
    assert_same(terms, reference)


@pytest.mark.parametrize("seed", range(30))
def test_sums_match_the_reference_fold(seed):
    rng = random.Random(seed)
    elements = []
    for _ in range(rng.randrange(6)):
        kind = rng.random()
        elements.append(rng.choice(NUMBERS) if kind < 0.25 else random_chain(rng, rng.randrange(4)))
    terms = CompiledSum([e if not isinstance(e, tuple) else e[0] for e in elements])
    reference = sum(e if not isinstance(e, tuple) else e[1] for e in elements)
    if not isinstance(reference, CooExpression):
        assert terms.constant == reference and len(terms.linear_coefficients_indexes) == 0
    else:
        assert_same(terms, reference)


@pytest.mark.parametrize("make, expected", [
    (lambda: CompiledSum([0 * BLOCK(1)]), [(3, 0)]),  # one element keeps its explicit zero, as 0 + e does
    (lambda: CompiledSum([0 * BLOCK(1), BLOCK(2)]), [(4, 1)]),  # a second element drops it
    (lambda: BLOCK(1) - BLOCK(1) + BLOCK(0), [(2, 1)]),
    (lambda: 0.0 * BLOCK(1) + 2, [(3, 0.0)]),
])
def test_zero_entries_follow_sparse_sums(make, expected):
    expression = make()
    assert list(zip(expression.linear_coefficients_indexes.tolist(), expression.linear_coefficients.tolist())) == expected
