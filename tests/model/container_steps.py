"""What the differential tests of container mode compare between two roads:
after every step, its outcome and the container's state; last, the build."""
import contextlib

import velmont.corvane_engine as ce
from tarvo_encoder import Model

from engine_lines import info_lines
from fast_roads import fast_roads_off


class Variables:
    """The model's variables declared from {name: {index name: size}}, by
    attribute or item, and its index i."""

    def __init__(self, model, sizes):
        for name, dims in sizes.items():
            setattr(self, name, model.create_variables(name, **dims))
        self.i = model.get_indexes(["i"])

    def __getitem__(self, name):
        return getattr(self, name)


def run_steps(model, sizes, add, program):
    """The steps' outcomes and states, then the build, each step run as
    add(model, variables, *step) over the variables declared from `sizes`."""
    v = Variables(model, sizes)
    return [stepped(model, lambda: add(model, v, *step)) for step in program] + [built(model)]


def run_without_road(name, sizes, add, program, road=None):
    """The steps' outcomes and states, then the build, with the log lines from
    info up, on a model called `name`; the fast road named `road`, when
    given, switched off, so that the evaluation road takes its constraints."""
    with contextlib.ExitStack() as stack, info_lines() as logged:
        if road is not None:
            stack.enter_context(fast_roads_off(road))
        steps = run_steps(Model(ce.manager(), name), sizes, add, program)
    return steps, logged


def pending(records):
    return [(list(map(list, r.template_constraint)), r.weights, r.foralls, r.num_formula, r.init_shift_variable,
             r.shift_pb_variable, r.shift_bx_variable, sorted(r.eval_state), r.cnf_stor.to_dimacs())
            for r in records]


def stepped(model, step):
    """(None or the error's type and message, the container's state) once `step()` has run."""
    try:
        step()
        outcome = None
    except Exception as error:  # both roads must fail alike
        outcome = (type(error), str(error))
    container = model._formula_container
    state = None if container is None else (
        container.cnf_storage().to_dimacs(), list(container.mapping.items()), container.num_clauses,
        pending(container._list_hard_constraint_dump_args),
        pending(container._list_soft_constraint_dump_args))
    return outcome, state


def built(model):
    """The build's result with the storage and mapping it hands over, or its error."""
    try:
        result = model.build_wcnf() if model._is_wcnf else model.build_cnf(2, True) if model.use_target \
            else model.build_cnf()
        return result, model.get_cnf_storage().to_dimacs(), list(model._formula_container.mapping.items())
    except Exception as error:
        return type(error), str(error)
