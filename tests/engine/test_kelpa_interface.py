"""The Python surface of kelpa: allocator, weighted literals, constraints,
encoder selection, limits and the boundary checks."""
import signal

import pytest

import velmont.corvane_engine.kelpa as pb
from kelpa_check import assert_exact, encode

LEQ, GEQ, BOTH = pb.Comparator_type.LEQ, pb.Comparator_type.GEQ, pb.Comparator_type.BOTH


def encode_into(database, aux, terms, comparator, bound, config=None):
    config = config or pb.PBConfig()
    constraint = pb.PBConstraint([pb.WeightedLit(lit, w) for lit, w in terms], comparator, bound)
    pb.pb2cnf(config).encode2(constraint, database, aux)


def test_allocator_counts_up_from_first():
    aux = pb.AuxVarManager(5)
    assert [aux.get_variable() for _ in range(4)] == [5, 6, 7, 8]


@pytest.mark.parametrize("first, error", [(0, ValueError), (-3, ValueError), (2**63, OverflowError),
                                          (1.5, TypeError)])
def test_allocator_refuses_bad_first(first, error):
    with pytest.raises(error):
        pb.AuxVarManager(first)


def test_allocator_stops_before_wrapping():
    aux = pb.AuxVarManager(2**63 - 1)
    with pytest.raises(OverflowError):
        aux.get_variable()


def test_encodings_share_the_allocator_without_collisions():
    """Aux numbers of successive encodings are fresh and above the caller's variables."""
    aux = pb.AuxVarManager(1)
    x = [aux.get_variable() for _ in range(4)]
    database = pb.VectorClauseDatabase(pb.PBConfig())
    encode_into(database, aux, [(x[0], 3), (x[1], 5), (x[2], 7)], LEQ, 9)
    after_first = aux.get_variable()
    encode_into(database, aux, [(x[1], 2), (-x[3], 3), (x[2], 6)], GEQ, 5)
    after_second = aux.get_variable()
    used = {abs(lit) for clause in database.get_clauses() for lit in clause} - set(x)
    assert used and min(used) > x[3] and max(used) < after_second
    assert after_first < after_second


def test_variable_at_or_above_the_allocator_is_refused():
    """Its number could be handed out as an aux variable and silently merge two meanings."""
    aux = pb.AuxVarManager(3)
    database = pb.VectorClauseDatabase(pb.PBConfig())
    with pytest.raises(ValueError, match="not below the next auxiliary variable 3"):
        encode_into(database, aux, [(1, 2), (-3, 5)], LEQ, 4)
    assert database.get_clauses() == [] and aux.get_variable() == 3


@pytest.mark.parametrize("lit, weight, text", [(3, -2, "WeightedLit(3, -2)"), (-7, 0, "WeightedLit(-7, 0)"),
                                               (1, False, "WeightedLit(1, 0)"),
                                               (2, 2**63 - 1, "WeightedLit(2, 9223372036854775807)"),
                                               (2, -2**63, "WeightedLit(2, -9223372036854775808)")])
def test_weighted_lit_fields_and_repr(lit, weight, text):
    wl = pb.WeightedLit(lit, weight)
    assert (wl.lit, wl.weight) == (int(lit), int(weight))
    assert repr(wl) == text
    assert str([wl, wl]) == f"[{text}, {text}]"


@pytest.mark.parametrize("lit, weight, error, message", [
    (0, 1, ValueError, "nonzero"),
    (1, 2**63, OverflowError, "WeightedLit weight 9223372036854775808 does not fit in 64 bits"),
    (1, -2**63 - 1, OverflowError, "WeightedLit weight -9223372036854775809 does not fit"),
    (2**64, 1, OverflowError, "WeightedLit lit 18446744073709551616 does not fit"),
    (1, 1.0, TypeError, "WeightedLit weight must be an integral number, got float"),
    (True, 1, TypeError, "WeightedLit lit must be an int, got bool"),
    ("1", 1, TypeError, "WeightedLit lit must be an int"),
])
def test_weighted_lit_refuses(lit, weight, error, message):
    with pytest.raises(error, match=message):
        pb.WeightedLit(lit, weight)


def test_constraint_refuses_bad_bound_and_items():
    with pytest.raises(OverflowError, match="PBConstraint bound 9223372036854775808 does not fit"):
        pb.PBConstraint([pb.WeightedLit(1, 1)], LEQ, 2**63)
    with pytest.raises(TypeError, match="must hold WeightedLit objects, not tuple"):
        pb.PBConstraint([(1, 1)], LEQ, 1)
    with pytest.raises(TypeError):
        pb.PBConstraint([pb.WeightedLit(1, 1)], pb.PB_Encoder_type.ADDER, 1)


@pytest.mark.parametrize("terms, comparator, bound, clauses", [
    ([(1, 2), (2, 3)], LEQ, 5, []),             # always holds
    ([(1, -2), (2, 3)], GEQ, -2, []),
    ([], BOTH, 0, []),
    ([(1, 2), (2, 3)], LEQ, -1, [[]]),          # never holds: the empty clause
    ([(1, 2), (-2, 3)], GEQ, 6, [[]]),
    ([(1, 4), (2, 6)], BOTH, 5, [[]]),          # odd bound, even weights
    ([(1, 2), (1, 3)], BOTH, 4, [[]]),          # repeats merged: 5 * x1
    ([(1, 7), (2, 3), (-1, 7)], LEQ, 9, [[-2]]),  # 7 * x1 + 7 * -x1 is 7; 3 * x2 exceeds the rest
])
def test_trivial_constraints(terms, comparator, bound, clauses):
    assert encode(terms, comparator, bound, 3)[0] == clauses


def test_sums_beyond_64_bits_stay_exact():
    """Eight weights near 2**63 sum past 2**65; bounds at the edges of int64."""
    big = 2**63 - 1
    terms = [(v, big if v % 2 else -big) for v in range(1, 7)] + [(1, big), (3, -2**63)]
    for comparator in (LEQ, GEQ, BOTH):
        for bound in (-2**63, -big, -1, 0, 1, big - 1, big):
            assert_exact(terms, comparator, bound, 6)


UNBUILT = ["BDD", "SWC", "SORTINGNETWORKS", "BINARY_MERGE"]


@pytest.mark.parametrize("name", UNBUILT)
def test_unbuilt_encoders_raise_naming_themselves(name):
    config = pb.PBConfig()
    config.pb_encoder = getattr(pb.PB_Encoder_type, name)
    database = pb.VectorClauseDatabase(config)
    with pytest.raises(NotImplementedError, match=f"PB_Encoder_type.{name} is not implemented"):
        encode_into(database, pb.AuxVarManager(3), [(1, 1), (2, 1)], LEQ, 1, config)
    assert database.get_clauses() == []


def test_config_defaults_and_late_changes():
    config = pb.PBConfig()
    assert (config.pb_encoder, config.max_clauses_per_constraint) == (pb.PB_Encoder_type.BEST, 1000000)
    encoder = pb.pb2cnf(config)
    config.pb_encoder = pb.PB_Encoder_type.BDD  # read at encode2, not at construction
    constraint = pb.PBConstraint([pb.WeightedLit(1, 1), pb.WeightedLit(2, 1)], LEQ, 1)
    with pytest.raises(NotImplementedError):
        encoder.encode2(constraint, pb.VectorClauseDatabase(config), pb.AuxVarManager(3))
    with pytest.raises(TypeError):
        config.pb_encoder = 99  # no such member


def test_clause_limit_caps_cardinality_encodings_never_the_adder():
    """A cardinality encoding that needs more clauses than the limit gives way
    to the adder; the adder itself is never refused, so no constraint fails."""
    config = pb.PBConfig()
    config.max_clauses_per_constraint = 10
    weighted = [(v, v + 2) for v in range(1, 9)]
    cardinality = [(v, 1) for v in range(1, 9)]
    for terms in (weighted, cardinality):
        database = pb.VectorClauseDatabase(config)
        encode_into(database, pb.AuxVarManager(9), terms, LEQ, 20 if terms is weighted else 3, config)
        assert len(database.get_clauses()) > 10
    capped = assert_exact(cardinality, BOTH, 3, 8, limit=10)
    uncapped = assert_exact(cardinality, BOTH, 3, 8)
    assert capped != uncapped  # the counter did not fit: the adder took over
    with pytest.raises(ValueError, match="must not be negative"):
        config.max_clauses_per_constraint = -1


def test_large_variable_numbers_survive_the_round_trip():
    big = 2**62
    clauses, next_free = encode([(big, 1), (-(big + 1), 2), (big + 2, 1), (big + 3, 1)], LEQ, 1, big + 4)
    # 2 * -(big + 1) alone exceeds 1, so big + 1 is forced; at most one of the rest
    assert clauses == [[big + 1], [-big, -(big + 2)], [-big, -(big + 3)], [-(big + 2), -(big + 3)]]
    assert next_free == big + 4


def test_constraint_refuses_a_weighted_lit_made_with_new():
    with pytest.raises(TypeError, match="must hold WeightedLit objects, not an empty one made with __new__"):
        pb.PBConstraint([pb.WeightedLit(1, 1), pb.WeightedLit.__new__(pb.WeightedLit)], pb.Comparator_type.LEQ, 1)


def test_a_signal_stops_a_long_encoding_and_leaves_everything_as_before():
    """What the signal handler raises ends encode2 at once (the whole encoding
    would take seconds); the database and the allocator are untouched."""

    class Stop(Exception):
        pass

    def stop(signum, frame):
        raise Stop

    weights = [(k * 2654435761) % 2**40 + 1 for k in range(100_000)]
    constraint = pb.PBConstraint([pb.WeightedLit(v + 1, w) for v, w in enumerate(weights)], LEQ, sum(weights) // 2)
    config = pb.PBConfig()
    database = pb.VectorClauseDatabase(config)
    aux = pb.AuxVarManager(100_001)
    previous = signal.signal(signal.SIGALRM, stop)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.05)
        with pytest.raises(Stop):
            pb.pb2cnf(config).encode2(constraint, database, aux)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert database.get_clauses() == [] and aux.get_variable() == 100_001
