"""A model belongs to one thread at a time: a call that enters while a call
of another thread runs is refused, logged, and the model goes on as if it
had never been made, on both roads."""
import itertools
import random
import sys
import threading

import pytest

import velmont.corvane_engine as ce
from roads_check import ROADS, Built
from tarvo_encoder import Or, Sum
from tarvo_encoder.encode.expressions import Expression

BUSY = ("Model roads is busy with a call of another thread: a model belongs to one thread at a time; give each"
        " thread a model of its own, or make the calls one after another")


class Paused:
    """Holds the call that reaches `pause()` until `go` is set."""

    def __init__(self):
        self.inside, self.go = threading.Event(), threading.Event()

    def pause(self):
        self.inside.set()
        assert self.go.wait(10)


class PausedExpression(Expression):
    """A constraint whose text, read by the add of either mode, pauses it."""

    paused = None

    def __str__(self):
        self.paused.pause()
        return super().__str__()


class PausedManager:
    """An engine manager whose hand-over of the storage pauses the build."""

    def __init__(self, paused):
        self._inner, self._paused = ce.manager(), paused

    def set_cnf_storage(self, storage):
        self._paused.pause()
        self._inner.set_cnf_storage(storage)

    def __getattr__(self, name):
        return getattr(self._inner, name)


def pause_in_add(built, paused):
    constraint = PausedExpression(str(built.v.x[0] | built.v.x[1]), False)
    constraint.paused = paused
    built.model.add_constraint(constraint)


def pause_in_build(built, paused):
    built.cmanager._paused = paused
    built.model.build_cnf()


ENTERING = {
    "add_constraint": lambda m, v: m.add_constraint(v.x[2]),
    "add_soft_constraint": lambda m, v: m.add_soft_constraint(v.x[2]),
    "add_target": lambda m, v: m.add_target(v.x[2] + v.x[0]),
    "create_variables": lambda m, v: m.create_variables("y", a=2),
    "get_indexes": lambda m, v: m.get_indexes("n"),
    "build_cnf": lambda m, v: m.build_cnf(),
    "get_var_mapping": lambda m, v: m.get_var_mapping(),
}


@pytest.mark.parametrize("running", [pause_in_add, pause_in_build], ids=["add running", "build running"])
@pytest.mark.parametrize("entering", ENTERING.values(), ids=ENTERING.keys())
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_call_entering_while_another_thread_runs_one_is_refused(road, running, entering, caplog):
    built = Built(road, x={"a": 3})
    built.cmanager = PausedManager(Paused())
    built.model._corvane_manager = built.cmanager
    if running is pause_in_build:
        built.model.add_constraint(built.v.x[0] | built.v.x[1])
        built.cmanager._paused.go.set()
        built.model.build_cnf()  # the first build makes what a build makes, unpaused
    paused = Paused()
    runner = threading.Thread(target=running, args=(built, paused))
    runner.start()
    assert paused.inside.wait(10)
    try:
        with pytest.raises(RuntimeError, match="^" + BUSY + "$"):
            entering(built.model, built.v)
    finally:
        paused.go.set()
        runner.join(10)
    assert BUSY in [r.getMessage() for r in caplog.records if r.levelname == "ERROR"]
    # The running call finished its work; the refused one left nothing.
    built.cmanager._paused = Paused()
    built.cmanager._paused.go.set()
    built.model.add_constraint(Sum(built.v.x[built.v.i], i=range(3)) <= 1)
    assert built.model.build_cnf()
    assert built.models() == {(True, False, False), (False, True, False)}


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_threads_sharing_a_model_never_build_a_wrong_cnf(road, seed):
    # Every add either went in whole or was refused as busy: the CNF allows
    # exactly the assignments that the accepted constraints allow. Unguarded,
    # adds running at once mixed their variables, aux numbers and records.
    size = 9
    built = Built(road, x={"a": size})
    rng = random.Random(seed)
    plans = [[(rng.sample(range(size), 4), rng.randint(1, 2)) for _ in range(30)] for _ in range(4)]
    accepted, failures, start = [], [], threading.Barrier(len(plans))

    def adds(plan):
        start.wait()
        x, k = built.v.x, built.v.k
        for members, bound in plan:
            try:
                built.model.add_constraint((Sum(x[k], k=members) <= bound) | ~Or(x[k], k=members[:2]))
            except RuntimeError as refused:
                if str(refused) != BUSY:
                    failures.append(refused)
                continue
            except Exception as failure:  # noqa: BLE001 - any other failure is the fault looked for
                failures.append(failure)
                continue
            accepted.append((members, bound))  # list.append is atomic

    threads = [threading.Thread(target=adds, args=(plan,)) for plan in plans]
    switch_interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # threads taking turns inside the adds
    try:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(switch_interval)
    assert failures == [] and accepted
    assert built.model.build_cnf()
    expected = {values for values in itertools.product((False, True), repeat=size)
                if all(sum(values[k] for k in members) <= bound or not any(values[k] for k in members[:2])
                       for members, bound in accepted)}
    assert built.models() == expected


@pytest.mark.parametrize("road", ROADS.values(), ids=ROADS.keys())
def test_a_call_made_inside_a_call_of_the_same_thread_passes(road):
    # The build asks for the model's own mapping while it holds the guard.
    built = Built(road, x={"a": 3})
    inner = []

    class Nested(Expression):
        def __str__(self):
            inner.append(built.model.get_indexes("n"))
            return super().__str__()

    built.model.add_constraint(Nested(str(built.v.x[0] | built.v.x[1]), False))
    assert inner and built.model.build_cnf()
    assert (False, False, False) not in built.models()
