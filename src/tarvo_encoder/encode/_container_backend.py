"""Container mode's side of a Model: the model numbers its variables itself,
compiles every formula into its FormulaContainer and builds from it."""
import typing as tp

from .variables import Variable
from .._exceptions import VariableError, BuildError
from .._logged_errors import raise_logged
from ..core.tarvo_logger import log_w
from . import _model_rules as rules


class ContainerBackend:
    """The model's fields stay the model's; this holds what container mode
    does with them. The compilation steps are the model's own, handed in."""

    cnf_finished = "CNF build finished."
    wcnf_finished = "WCNF build finished."

    def __init__(self, fill_hard_constraint, fill_soft_constraint, fill_target) -> None:
        self._fill_hard_constraint = fill_hard_constraint
        self._fill_soft_constraint = fill_soft_constraint
        self._fill_target = fill_target

    def add_constraint(self, model, constraint, foralls, debug: bool) -> None:
        self._fill_hard_constraint(model, constraint, foralls, debug)

    def add_soft_constraint(self, model, constraint, weight: int, minimization: bool, foralls) -> None:
        self._fill_soft_constraint(model, constraint, weight, minimization, foralls)

    def add_target(self, model, target) -> None:
        self._fill_target(model, target)

    def declare_own_variables(self, model, dummy_name: str) -> None:
        # Number 0 is the dummy variable's, so declared elements start at 1.
        model.create_variables(dummy_name, d=1)

    def refuse_declaration(self, model, name: str) -> None:
        if name in model._used_vars:
            raise_logged(VariableError, "Variable named " + name + " is already in use")
        if model._formula_container is not None:
            # The container fixed the numbering when it was created: a new
            # block would overlap its aux area and miss the name mapping.
            raise_logged(VariableError, "Variable " + name + " cannot be declared after the first "
                         "constraint, soft constraint or target. Declare every variable before them")

    def declare(self, model, name: str, dims: tp.Dict[str, int], count: int) -> Variable:
        # Declared elements are numbered from 1 (0 is the dummy variable), and
        # DIMACS solvers read variable numbers in signed 32 bits.
        declared_before = model._shift_target_variable - 1
        if declared_before + count > rules.MAX_ELEMENTS:
            raise_logged(ValueError, rules.too_many_elements_message(name, count, declared_before))
        model._used_vars.add(name)
        declared = Variable(name, dims, model._shift_target_variable)
        model._manager.registration_generator_variables(name, declared)
        model._variables[name] = declared
        return declared

    def declared_names(self, model) -> tp.Container[str]:
        return model._variables

    def build_cnf_storage(self, model, border, minimization):
        if not model.use_target and (border is not None or minimization is not None):
            # Said, since a loop that lowers the border would otherwise build the same CNF forever.
            log_w("The model has no target: build_cnf ignores the border and the minimization flag;"
                  " add one with add_target to bound it")
        container = self.__require_container(model)
        container.build_cnf_formula(model._model_name)
        if model.use_target:
            # The next build's target, bounded by its own border, replaces this one.
            container.reset_target()
        return container.cnf_storage()

    def build_wcnf_storage(self, model):
        container = self.__require_container(model)
        container.build_wcnf_formula(model._model_name)
        return container.cnf_storage()

    def __require_container(self, model):
        container = model._formula_container
        if container is None:
            raise_logged(BuildError, "The model doesn't contain any formula container")
        return container

    def cnf_storage(self, model):
        container = model._formula_container
        return container.cnf_storage() if container is not None else None

    def var_mapping(self, model):
        container = model._formula_container
        return container.var_mapping() if container is not None else None

    def encoder_for(self, model, method: str) -> None:
        # Said, since the call has no effect here: a witness loop would run on without a word.
        log_w(method + " works in formula-encoder mode only; container mode ignores it")
        return None
