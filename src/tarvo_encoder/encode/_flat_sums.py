"""A flat sum compared with a bound, evaluated without compiling its text.

Long sums are written flat, FormulaPB(Sum(*[x(0).to_pb(), -1 * (x(1).to_pb()),
3 * (y(2,1).to_pb())]), pb.Comparator_type.LEQ, 1).to_bx(manager), and
compiling 10^5 members costs more than running them. This reads such a text
in C++ and makes the calls that the evaluation of the text makes, in the
same order, with the same values: each member's variable call, its to_pb()
and its coefficient's product, then Sum of them, the comparator, and
FormulaPB(...).to_bx(manager). Any other text gives None, and so does a text
that names what the namespace lacks (the evaluation then raises its
NameError).
"""
import typing as tp

from .. import _native

_OPENING = "FormulaPB(Sum(*["
_NAMES_READ = ("FormulaPB", "Sum", "pb", "manager")


def evaluate(text: str, namespace: dict) -> tp.Optional[tp.Any]:
    """What eval(text, namespace) returns, or None when the text is left to eval."""
    if not text.startswith(_OPENING):
        return None
    flat = _native.read_flat_sum(text)
    if flat is None or not all(name in namespace for name in _NAMES_READ + tuple(flat.names)):
        return None
    formula_pb, sum_ = namespace["FormulaPB"], namespace["Sum"]
    members = flat.members(namespace)
    comparator = getattr(namespace["pb"].Comparator_type, flat.comparator)
    return formula_pb(sum_(*members), comparator, flat.bound).to_bx(namespace["manager"])
