"""A model belongs to one thread at a time.

Its calls change shared state step by step (the manager's pairing of
variables, the container's aux numbering and pending formulas), so two calls
of one model running at once would build a wrong CNF. Each call therefore
holds the model's guard, a reentrant lock taken without waiting: a call that
enters while a call of another thread runs is refused, and the running call
goes on untouched. A call made from inside a running call of the same thread
passes, as a build asking for the model's own mapping does.
"""
import functools
import threading
import typing as tp

from .._logged_errors import raise_logged


def new_guard() -> threading.RLock:
    return threading.RLock()


def refuse_busy(model) -> tp.NoReturn:
    raise_logged(RuntimeError, "Model " + str(model._model_name) + " is busy with a call of another thread:"
                 " a model belongs to one thread at a time; give each thread a model of its own, or make the"
                 " calls one after another")


def one_call_at_a_time(method):
    """`method` of a Model, run holding the model's guard."""
    @functools.wraps(method)
    def exclusive(model, *arguments, **keywords):
        guard = model._calls_guard
        if not guard.acquire(False):
            refuse_busy(model)
        try:
            return method(model, *arguments, **keywords)
        finally:
            guard.release()
    return exclusive
