import velmont.corvane_engine.kelpa as pb
import velmont.corvane_engine.dravo as bx

from .tarvo_logger import *
from .manager import Manager
from .. import _native

_DRAVO = bx
_KELPA_AUX = "_kelpa_aux"


class FormulaPB:
    def __init__(self, expression, comparator, *border):
        self.expression = expression
        self.comparator = comparator
        self.border = border

    def to_bx(self, manager):
        log_d("FormulaPB before to_bx: " + str(self.expression))
        pb_expression = self.expression.to_pb()
        pb_constraint = pb.PBConstraint(pb_expression, self.comparator, *self.border)
        formula = pb.VectorClauseDatabase(manager.pb_config)
        pb2cnf = pb.pb2cnf(manager.pb_config)
        # The encoder draws its aux numbers from the allocator that also
        # numbers the formula's variables, so numbers never collide.
        pb2cnf.encode2(pb_constraint, formula, manager.pb_var_manager)
        bx_formula = _clause_formula(formula, manager)
        log_d("Bx formula from FormulaPB: " + str(bx_formula))
        return bx_formula

    def to_maxsat(self, manager, minimization):
        log_d("FormulaPB before to_maxsat: " + str(self.expression))
        weights = []
        maxsat_formula = []
        for var_idx, weight in self.expression.to_maxsat():
            # A term of weight 0 costs nothing either way; kept, it would turn
            # into a weight-0 soft clause that the container makes hard.
            if weight == 0:
                continue
            weights.append(abs(weight))
            bx_var = manager.get_pb_var(var_idx)
            # The soft literal is the one that is true when the term adds no cost.
            if (weight > 0) == bool(minimization):
                maxsat_formula.append(~bx_var)
            else:
                maxsat_formula.append(bx_var)
        return bx.and_(maxsat_formula), weights


def _clause_formula(database, manager):
    """The clauses of the encoder's database as one formula over the manager's
    variables: the native walk, reading the database itself, for a plain
    Manager, else the walk of `walked_clause_formula`, whose formula, names
    and numbers it repeats exactly."""
    if type(manager) is Manager and "get_pb_var" not in vars(manager) and bx is _DRAVO:
        return _native.clause_formula(database, manager, _KELPA_AUX)
    return walked_clause_formula(database.get_clauses(), manager)


def walked_clause_formula(clauses, manager):
    # Literals are resolved in clause order, left to right: aux numbers get
    # their names in order of first appearance.
    return bx.and_s([
        bx.or_s([manager.get_pb_var(lit) if lit > 0 else ~manager.get_pb_var(-lit) for lit in clause])
        for clause in clauses
    ])
