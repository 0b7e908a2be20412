"""Container mode's fast roads for the tests: switched off through the one
switch, and the roads that constraints take, as the trace line names them."""
import contextlib

import pytest

from tarvo_encoder.core import roads

# How the trace line that names a constraint's road begins.
ROAD_LINE = "           road : "
# The roads that take a constraint without evaluating its text.
WITHOUT_EVALUATION = tuple(road.name for kind in roads.WITHOUT_EVALUATION.values() for road in kind)


@contextlib.contextmanager
def fast_roads_off(*names):
    """The named fast roads (every one when none is) off, as they were after."""
    before = roads.closed_roads()
    roads.set_fast_roads(False, *names)
    try:
        yield
    finally:
        roads.set_fast_roads(True)
        if before:
            roads.set_fast_roads(False, *before)


@contextlib.contextmanager
def roads_taken():
    """Yields the list of the roads' names, one per constraint, in the order
    taken; whether trace lines are wanted or not."""
    taken = []
    note_taken = roads.note_taken

    def noted(road, debug):
        taken.append(road.name)
        note_taken(road, debug)

    with pytest.MonkeyPatch.context() as patch:
        patch.setattr(roads, "note_taken", noted)
        yield taken
