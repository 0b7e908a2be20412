"""What the linear solver said of a run that gave no usable solution, for the
logs and errors of both linear models: their own messages name no cause."""
import typing as tp

import velmont.corvane_engine.tovric as tovric

_VERDICTS = {
    tovric.TovricModelStatus.kInfeasible: "the model is infeasible",
    tovric.TovricModelStatus.kUnbounded: "the model is unbounded",
    tovric.TovricModelStatus.kUnboundedOrInfeasible: "the model is infeasible or unbounded",
    tovric.TovricModelStatus.kTimeLimit: "the time limit was reached without a feasible point",
    tovric.TovricModelStatus.kIterationLimit: "the iteration limit was reached without a feasible point",
    tovric.TovricModelStatus.kModelEmpty: "the model has no variables",
}


class Verdict(tp.NamedTuple):
    warning: str
    # Why the solver gave up on the model without judging it; None when it judged it.
    refusal: tp.Optional[str]


def unsolved_verdict(solver: tovric.LinearSolver, status) -> Verdict:
    """The verdict of the solver's last run, which ended with `status` and no usable solution."""
    refusal = solver.getRefusal()
    if refusal is not None:
        verdict = "it refused the model: " + refusal
    else:
        verdict = _VERDICTS.get(status) or f"it stopped with the status '{solver.modelStatusToString(status)}'"
    return Verdict("The linear solver's verdict: " + verdict, refusal)


def refusal_message(not_solved: str, refusal: str) -> str:
    """The models' error text for a refused model, with the solver's reason."""
    return f"{not_solved}: the linear solver refused it: {refusal}"
