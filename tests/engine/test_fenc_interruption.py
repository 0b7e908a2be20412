"""Long formula-encoder calls stop at a signal: what the handler raises ends
the call and the encoder stays as it was before it."""

import signal

import pytest

from velmont.corvane_engine import _fenc


class Stop(Exception):
    pass


@pytest.fixture
def alarm():
    """Arms a timer whose handler runs `action` (by default raising Stop)."""
    previous = signal.getsignal(signal.SIGALRM)

    def arm(action=None):
        def handler(signum, frame):
            if action is not None:
                action()
            raise Stop

        signal.signal(signal.SIGALRM, handler)
        signal.setitimer(signal.ITIMER_REAL, 0.2)

    yield arm
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, previous)


def small_encoder(elements=3):
    e = _fenc.FormulaEncoder("m")
    e.create_variables("x", [elements])
    e.add_constraint("bx.or_s([x(i).to_bx() for i in range(0, 3)])", "Foralls: {}")
    return e


def generated(e):
    e.generate_cnf()
    return e.get_cnf_storage().to_dimacs(), len(e.get_var_mapping())


# Each call would run for minutes: two thousand million instances, as many loop steps, a hundred million names.
LONG_CALLS = {
    "instances": lambda e: e.add_constraint("bx.one()", "Foralls: {'i': range(0, 40000), 'j': range(0, 50000)}"),
    "loop steps": lambda e: e.add_constraint(
        "bx.and_s([bx.one() for i in range(0, 40000) for j in range(0, 50000) for k in []])", "Foralls: {}"),
    "soft instances": lambda e: e.add_soft_constraint(
        "x(0).to_pb()", "Foralls: {'i': range(0, 40000), 'j': range(0, 50000)}", 1, True),
}


@pytest.mark.parametrize("call", LONG_CALLS.values(), ids=LONG_CALLS.keys())
def test_a_signal_stops_a_long_add_and_leaves_the_encoder_as_it_was(alarm, call):
    e = small_encoder()
    before = generated(e)
    alarm()
    with pytest.raises(Stop):
        call(e)
    assert generated(e) == before


def test_a_signal_stops_a_long_generation_and_keeps_the_last_one(alarm):
    e = small_encoder()
    before = generated(e)
    # The bound of a target over many elements below a witness: millions of clauses to generate.
    elements = 300_000
    e.create_variables("y", [elements])
    e.add_target(f"Sum(*[y(i).to_pb() for i in range(0, {elements})])")
    e.set_witness([v if v % 2 else -v for v in range(4, 4 + elements)])
    alarm()
    with pytest.raises(Stop):
        e.generate_cnf()
    assert (e.get_cnf_storage().to_dimacs(), len(e.get_var_mapping())) == before


def test_a_handler_calling_the_busy_encoder_is_refused(alarm):
    e = small_encoder()
    before = generated(e)
    refusals = []

    def call_back():
        with pytest.raises(RuntimeError, match="inside another of its calls") as info:
            e.create_variables("z", [1])
        refusals.append(info.value)

    alarm(call_back)
    with pytest.raises(Stop):
        LONG_CALLS["instances"](e)
    assert len(refusals) == 1
    assert generated(e) == before
