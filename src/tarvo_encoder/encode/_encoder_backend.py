"""Formula-encoder mode's side of a Model: every declaration and every
expression text goes to the engine's formula encoder, which numbers,
compiles and builds; the model evaluates nothing itself."""
import typing as tp

from .variables import Variable
from .._exceptions import BuildError
from .._logged_errors import raise_logged
from ..core.tarvo_logger import log_e, log_w
from . import _model_rules as rules
from ._bound_indexes import require_bound_text_indexes


class EncoderBackend:
    """The model's fields stay the model's; this holds what formula-encoder
    mode does with them, the encoder made on first use."""

    cnf_finished = "CNF build finished (formula encoder)."
    wcnf_finished = "WCNF build finished(formula encoder)."

    def __init__(self) -> None:
        # The encoder keeps the variables; their names are wanted here too.
        self._variable_names: tp.Set[str] = set()

    def declare_own_variables(self, model, dummy_name: str) -> None:
        pass  # the encoder numbers every variable, with no dummy variable

    def refuse_declaration(self, model, name: str) -> None:
        pass  # the encoder answers for repeated names

    def declare(self, model, name: str, dims: tp.Dict[str, int], count: int) -> Variable:
        forward(self.__formula_encoder(model).create_variables, name, list(dims.values()))
        self._variable_names.add(name)
        return Variable(name, dims, 0)

    def declared_names(self, model) -> tp.Container[str]:
        return self._variable_names

    def add_constraint(self, model, constraint, foralls, debug: bool) -> None:
        text = str(constraint)
        foralls_text = rules.foralls_text(foralls)
        if model._indexes:
            require_bound_text_indexes(text, model._indexes, foralls)
        forward(self.__formula_encoder(model).add_constraint, text, foralls_text)

    def add_soft_constraint(self, model, constraint, weight: int, minimization: bool, foralls) -> None:
        foralls_text = rules.foralls_text(foralls)
        text = str(constraint)
        require_bound_text_indexes(text, model._indexes, foralls)
        forward(self.__formula_encoder(model).add_soft_constraint, text, foralls_text,
                rules.encoder_weight(weight), minimization)
        model._is_wcnf = True

    def add_target(self, model, target) -> None:
        forward(self.__formula_encoder(model).add_target, str(target))

    def build_cnf_storage(self, model, border, minimization):
        if border is not None or minimization is not None:
            # Said, since a loop that lowers the border would otherwise build the same CNF forever.
            log_w("Formula-encoder mode ignores the border and the minimization flag: its target is always"
                  " minimised, below the value of the witness given with set_witness")
        return self.__generate(model)

    def build_wcnf_storage(self, model):
        return self.__generate(model)

    def __generate(self, model):
        forward(self.__formula_encoder(model).generate_cnf)
        return model._formula_encoder.get_cnf_storage()

    def cnf_storage(self, model):
        encoder = model._formula_encoder
        return encoder.get_cnf_storage() if encoder is not None else None

    def var_mapping(self, model):
        encoder = model._formula_encoder
        return encoder.get_var_mapping() if encoder is not None else None

    def encoder_for(self, model, method: str):
        return model._formula_encoder

    def __formula_encoder(self, model):
        """The model's formula encoder, made on first use."""
        if model._formula_encoder is None:
            if model._corvane_manager is None:
                raise_logged(BuildError, "Corvane manager is not set or empty")
            model._formula_encoder = model._corvane_manager.create_formula_encoder(model._model_name)
        return model._formula_encoder


def forward(operation, *arguments):
    """Calls the formula encoder; a refusal is logged like the model's own."""
    try:
        return operation(*arguments)
    except (ValueError, TypeError, OverflowError) as refused:
        log_e(str(refused))
        raise
