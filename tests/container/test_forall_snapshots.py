"""Foralls are checked and copied before they can reach the expansion text."""
import logging

import numpy as np
import pytest

from tarvo_encoder.core.foralls import count_instances, snapshot_foralls


@pytest.mark.parametrize(
    "values, snapshot",
    [
        (range(0, 3), range(0, 3)),
        ([0, 2], [0, 2]),
        ((1, 0), [1, 0]),
        ([True, False], [1, 0]),
        ([np.int64(4), np.int32(1), np.True_], [4, 1, 1]),
        (np.arange(3), [0, 1, 2]),
        ([], []),
    ],
)
def test_accepted_values_become_plain_ints(values, snapshot):
    result = snapshot_foralls({"i": values})["i"]
    assert result == snapshot
    assert all(type(value) is int for value in result)
    assert format(result, "") == format(snapshot, "")


def test_snapshot_is_independent_of_the_callers_objects():
    foralls = {"i": [0, 1], "j": range(2)}
    snapshot = snapshot_foralls(foralls)
    foralls["i"].append(2)
    foralls["k"] = [5]
    assert snapshot == {"i": [0, 1], "j": range(2)}
    assert list(snapshot) == ["i", "j"]


@pytest.mark.parametrize(
    "foralls, message",
    [
        ({"i j": [0]}, "Forall name 'i j' is not an identifier"),
        ({"for": [0]}, "Forall name 'for' is not an identifier"),
        ({"__debug__": [0]}, "Forall name '__debug__' is not an identifier"),
        ({"i]+[__import__('os')": [0]}, "Forall name \"i]+[__import__('os')\" is not an identifier"),
        ({"i": "01"}, "Forall 'i' must be a range or a sequence of ints, not str"),
        ({"i": {0, 1}}, "Forall 'i' must be a range or a sequence of ints, not set"),
        ({"i": (v for v in range(2))}, "Forall 'i' must be a range or a sequence of ints, not generator"),
        ({"i": np.zeros((2, 2), dtype=int)}, "Forall 'i' must be a range or a sequence of ints, not ndarray"),
        ({"i": [0, 1.0]}, "Forall 'i' holds 1.0 of type float, which is not an int"),
        ({"i": np.array([0.5])}, "Forall 'i' holds 0.5 of type float, which is not an int"),
        ({"i": [0, "1"]}, "Forall 'i' holds '1' of type str, which is not an int"),
    ],
)
def test_refused_foralls_raise_a_logged_type_error(caplog, foralls, message):
    with pytest.raises(TypeError) as error:
        snapshot_foralls(foralls)
    assert str(error.value) == message
    assert [(r.levelno, r.getMessage()) for r in caplog.records] == [(logging.ERROR, message)]


@pytest.mark.parametrize(
    "foralls, instances",
    [({}, 1), ({"i": range(2), "j": [0, 1, 2]}, 6), ({"i": range(2), "j": []}, 0)],
)
def test_instances_are_the_product_of_the_lengths(foralls, instances):
    assert count_instances(foralls) == instances
