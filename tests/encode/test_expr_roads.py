"""The native operators, subscripts and sequence combinators beside their
reference road: random expression programs built with the fast road on and
off give the same texts, flags, classes, chain sizes and log lines, and the
same refusals."""
import contextlib
import copy
import operator
import os
import pickle
import random
import subprocess
import sys

import numpy as np
import pytest

from tarvo_encoder import _native
from tarvo_encoder.encode._chains import NESTING_LIMIT, SUM_TERMS_LIMIT
from tarvo_encoder.encode.expressions import (
    And, AndIt, Equiv, IfThenElse, Implication, One, Or, OrIt, Sum, SumIt, Xor, XorIt, Zero, pow_expression,
)
from tarvo_encoder.encode.variables import Index, Variable

from fast_roads import fast_roads_off

x = Variable("x", {"a": 40}, 1)
y = Variable("y", {"a": 6, "b": 6}, 41)
i = Index("i")

FACTORS = [0, 1, -1, 7, -12, 2**63 - 1, -2**63, 2**63, -2**70, True, False, np.int64(-5), np.int32(3),
           np.bool_(True), 2.5, "3", None]
SUBSCRIPTS = [0, 39, -1, 2**63, (1, 2), (0, 5), (), (True, 1), True, np.int64(4), (np.int64(2), 3), i, i + 1,
              "i", [1, 2], (1, i), (1, 2**70), 2.0, None]
BINARY = {"+": operator.add, "-": operator.sub, "&": operator.and_, "|": operator.or_, "^": operator.xor,
          "*": operator.mul, "<=": operator.le, ">=": operator.ge, "==": operator.eq, "!=": operator.ne,
          "<": operator.lt}


def fast_road(on):
    return contextlib.nullcontext() if on else fast_roads_off("native operators")


def leaves(rng):
    """Expressions of every class that the operators take, refused operands included."""
    return [x[rng.randrange(40)], y[rng.randrange(6), rng.randrange(6)], x[i], ~x[1], One, Zero,
            SumIt([x[1], 3 * x[2]]), AndIt([x[3], ~x[4]]), OrIt([x[5]]), XorIt([x[6], x[7]]),
            Sum(x[i], i=range(3)), And(x[i], i=range(2)), Or(~x[i], i=[1, 3]), Xor(x[i], i=(0,)),
            Equiv(x[1], x[2]), Implication(x[1], ~x[3]), IfThenElse(x[1], x[2], x[3]), pow_expression(2, 3),
            x[1] <= 2, x[1] * pow_expression(2, i)]


def described(value):
    """What the roads must agree on about a result."""
    chain = value._chain
    size = None if chain is None else (chain.operator, chain.terms() if chain.operator == "+" else chain.nesting())
    return type(value).__name__, str(value), value.soft, value._compares, size


def run(seed, log_sink):
    """One program: each step applies an operator to values drawn from the
    pool and records the result (and pools it) or the refusal and its log."""
    rng = random.Random(seed)
    pool = leaves(rng)
    trace = []
    for _ in range(120):
        choice = rng.random()
        left = rng.choice(pool)
        log_sink.records.clear()
        try:
            if choice < 0.06:
                # A long chain, across its limit at times.
                symbol = rng.choice("+-&|^")
                steps = rng.randrange(2 * NESTING_LIMIT if symbol in "&|^" else SUM_TERMS_LIMIT + 50)
                value = left
                for k in range(steps):
                    value = BINARY[symbol](value, rng.choice((x[k % 40], ~x[k % 40], left)))
            elif choice < 0.12:
                value = rng.choice((x, y))[rng.choice(SUBSCRIPTS)]
            elif choice < 0.22:
                members = pool if rng.random() < 0.3 else [x[k] for k in range(6)] + [~x[6], 2 * x[7], x[1] + x[2]]
                operands = rng.sample(members, rng.randrange(5)) + rng.choice(([],) * 6 + ([3], [x]))
                container = rng.choice((list, list, tuple, lambda members: (member for member in members)))
                value = rng.choice((SumIt, AndIt, OrIt, XorIt))(container(operands))
            elif choice < 0.27:
                value = ~left
            elif choice < 0.45:
                factor = rng.choice(FACTORS + [rng.choice(pool)])
                value = factor * left if rng.random() < 0.5 else left * factor
            elif choice < 0.55:
                value = BINARY[rng.choice(("<=", ">=", "==", "!=", "<"))](left, rng.choice(FACTORS + pool[:3]))
            else:
                right = rng.choice(pool + FACTORS[:2])
                value = BINARY[rng.choice("+-&|^")](*((right, left) if rng.random() < 0.1 else (left, right)))
        except (TypeError, OverflowError) as error:
            trace.append((type(error).__name__, str(error), list(log_sink.records)))
            continue
        trace.append((described(value), list(log_sink.records)))
        pool.append(value)
    return trace


@pytest.mark.parametrize("seed", range(12))
def test_operators_match_the_reference_road(seed, log_sink):
    with fast_road(False):
        reference = run(seed, log_sink)
    with fast_road(True):
        fast = run(seed, log_sink)
    assert fast == reference


@pytest.mark.parametrize("opening", ["Sum(*[", "Σ(*["])
@pytest.mark.parametrize("members, written", [([x[1]], "x(1).to_pb()"), ([x[1], Variable("ü", {"a": 3}, 100)[2]],
                                                                        "x(1).to_pb(), ü(2).to_pb()")])
def test_joined_operands_keep_every_character(opening, members, written):
    assert _native.joined_operands(opening, members, True) == opening + written + "])"


def pickled(value):
    return pickle.loads(pickle.dumps(value))


def test_copies_keep_text_flags_chain_and_attributes():
    total = SumIt([x[1], x[2]]) + x[3] + x[4]
    compared = x[1] + x[2] >= 1
    named = SumIt([x[5]])
    for duplicate in (copy.copy, copy.deepcopy):
        assert described(duplicate(total)) == described(total)
        assert described(duplicate(compared)) == described(compared)
        assert duplicate(named).ability_use_for_target
        assert str(duplicate(total) + x[5]) == str(total + x[5])
    assert described(pickled(compared)) == described(compared)
    assert str(pickled(total)) == str(total) and pickled(named).ability_use_for_target


@pytest.mark.parametrize("duplicate", [copy.copy, copy.deepcopy, pickled])
def test_copied_variables_write_the_same_references(duplicate):
    assert str(duplicate(y)[2, 3] + duplicate(x)[i]) == str(y[2, 3] + x[i])


def test_expressions_stay_unhashable():
    with pytest.raises(TypeError, match="unhashable"):
        hash(x[0])


OUT_OF_MEMORY_WHILE_WRITING_A_CHAIN = '''
import os, resource
from tarvo_encoder.encode.expressions import Expression
operand = "a" * (30 * 2**20)
chained = Expression(operand, True) + Expression(operand, True)
pages = int(open("/proc/self/statm").read().split()[0])
resource.setrlimit(resource.RLIMIT_AS, (pages * os.sysconf("SC_PAGE_SIZE") + 16 * 2**20, resource.RLIM_INFINITY))
try:
    str(chained)
except MemoryError:
    print("MemoryError")
'''


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc and limits the address space")
@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer stops the process where operator new runs out of memory")
def test_a_chain_text_beyond_memory_raises_memory_error():
    run = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY_WHILE_WRITING_A_CHAIN], capture_output=True, text=True,
                         timeout=120)
    assert (run.returncode, run.stdout.strip()) == (0, "MemoryError"), run.stderr
