"""A flat sum compared with a bound or weighted as a soft objective,
evaluated without compiling its text.

Long sums are written flat, FormulaPB(Sum(*[x(0).to_pb(), -1 * (x(1).to_pb()),
3 * (y(2,1).to_pb())]), pb.Comparator_type.LEQ, 1).to_bx(manager), or
FormulaPB(2 * (Sum(*[...])), None, None).to_maxsat(manager, False) for a soft
constraint, and compiling 10^5 members costs more than running them. This
reads such a text in C++ and makes the calls that the evaluation of the text
makes, in the same order, with the same values: each member's variable call,
its to_pb() and its coefficient's product, then Sum of them, and the rest of
the text's calls. Any other text gives NOT_READ, and so does a text that
names what the namespace lacks (the evaluation then raises its NameError).
"""
import typing as tp

from .. import _native

NOT_READ = object()

_OPENING = "FormulaPB("
_COMPARISON_NAMES = ("FormulaPB", "Sum", "pb", "manager")
_OBJECTIVE_NAMES = ("FormulaPB", "Sum", "manager")
_CONSTANTS = {"True": True, "False": False, "None": None}


def evaluate(text: str, namespace: dict) -> tp.Any:
    """What eval(text, namespace) returns, or NOT_READ when the text is left to eval."""
    if not text.startswith(_OPENING):
        return NOT_READ
    flat = _native.read_flat_sum(text)
    if flat is None:
        return NOT_READ
    names = (_OBJECTIVE_NAMES if flat.objective else _COMPARISON_NAMES) + tuple(flat.names)
    if not all(name in namespace for name in names):
        return NOT_READ
    formula_pb, sum_ = namespace["FormulaPB"], namespace["Sum"]
    if flat.objective:
        weighted = flat.weight * sum_(*flat.members(namespace))
        minimization = _CONSTANTS[flat.minimization] if flat.minimization in _CONSTANTS else int(flat.minimization)
        return formula_pb(weighted, None, None).to_maxsat(namespace["manager"], minimization)
    members = flat.members(namespace)
    comparator = getattr(namespace["pb"].Comparator_type, flat.comparator)
    return formula_pb(sum_(*members), comparator, flat.bound).to_bx(namespace["manager"])
