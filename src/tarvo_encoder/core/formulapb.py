import velmont.corvane_engine.kelpa as pb
import velmont.corvane_engine.dravo as bx

from .tarvo_logger import *
from .._log_wanted import DEBUG, log_wanted
from .manager import Manager
from .aux_names import KELPA_AUX as _KELPA_AUX
from .. import _native
from . import roads

_DRAVO = bx


class FormulaPB:
    def __init__(self, expression, comparator, *border):
        self.expression = expression
        self.comparator = comparator
        self.border = border

    def to_bx(self, manager):
        return self._logged_formula(_clause_formula(self._clause_database(manager), manager))

    def _clause_database(self, manager):
        """The encoder's clauses of this comparison, its variables paired by the manager."""
        if log_wanted(DEBUG):
            log_d("FormulaPB before to_bx: " + str(self.expression))
        try:
            pb_expression = self.expression.to_pb()
            pb_constraint = pb.PBConstraint(pb_expression, self.comparator, *self.border)
        except OverflowError as refused:
            # A weight or bound beyond the encoder's 64 bits: refused like the model's own errors.
            log_e(str(refused))
            raise
        database = pb.VectorClauseDatabase(manager.pb_config)
        pb2cnf = pb.pb2cnf(manager.pb_config)
        # The encoder draws its aux numbers from the allocator that also
        # numbers the formula's variables, so numbers never collide.
        pb2cnf.encode2(pb_constraint, database, manager.pb_var_manager)
        return database

    @staticmethod
    def _logged_formula(bx_formula):
        if log_wanted(DEBUG):
            log_d("Bx formula from FormulaPB: " + str(bx_formula))
        return bx_formula

    def to_maxsat(self, manager, minimization):
        if log_wanted(DEBUG):
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


class ClauseFormPB(FormulaPB):
    """FormulaPB for a constraint that is this one comparison, which the model
    puts into clause form: `to_bx` gives that clause form at once, as a
    NumberedTemplate made from the encoder's clauses without a formula node
    per literal. Where the formula road would take another turn (a constant,
    a clause that needs the transformation, a manager of another kind), or
    where its debug line must show the formula, it gives that road's formula."""

    def to_bx(self, manager):
        database = self._clause_database(manager)
        if _is_plain(manager) and roads.is_open(roads.NUMBERED_CLAUSE_FORM):
            template = _numbered_template(database, manager)
            if template is not None:
                return template
        return self._logged_formula(_clause_formula(database, manager))


def _is_plain(manager) -> bool:
    """A Manager that pairs numbers as the native walks repeat it."""
    return type(manager) is Manager and "get_pb_var" not in vars(manager) and bx is _DRAVO


def _clause_formula(database, manager):
    """The clauses of the encoder's database as one formula over the manager's
    variables: the native walk, reading the database itself, for a plain
    Manager, else the walk of `walked_clause_formula`, whose formula, names
    and numbers it repeats exactly."""
    if _is_plain(manager) and roads.is_open(roads.NATIVE_CLAUSE_WALK):
        return _native_clause_formula(database, manager)
    return walked_clause_formula(database.get_clauses(), manager)


def _native_clause_formula(clauses, manager):
    """The formula of `walked_clause_formula`, made in C++, the manager's
    tables and aux counter brought up to date as its walk brings them."""
    formula, manager.cnt_pbvar = _native.clause_formula(clauses, manager.pb2bx, manager.name2pb, manager.bx_context,
                                                        manager.cnt_pbvar, _KELPA_AUX)
    return formula


def _numbered_template(clauses, manager):
    """The clause form of the formula of `_native_clause_formula` as a
    NumberedTemplate, the manager's aux counter brought up to date as that
    makes it; or None, the manager untouched, where the formula road takes
    another turn."""
    template = _native.numbered_template(clauses, manager.pb2bx, manager.cnt_pbvar, _KELPA_AUX)
    if template is not None:
        manager.cnt_pbvar = template.next_aux_index
    return template


def walked_clause_formula(clauses, manager):
    # Literals are resolved in clause order, left to right: aux numbers get
    # their names in order of first appearance.
    return bx.and_s([
        bx.or_s([manager.get_pb_var(lit) if lit > 0 else ~manager.get_pb_var(-lit) for lit in clause])
        for clause in clauses
    ])
