"""The engine manager: keeps the clause storage and witness interpreter a build hands over."""
from ._core import wcnf_storage, witness_interpreter
from ._fenc import FormulaEncoder


class manager:
    """Holds references only; a caller hands one to a model and reads the results back from it."""

    def __init__(self):
        self._cnf_storage = None
        self._witness_interpreter = None

    def set_cnf_storage(self, storage):
        if not isinstance(storage, wcnf_storage):
            raise TypeError(f"set_cnf_storage expects a wcnf_storage, got {type(storage).__name__}")
        self._cnf_storage = storage

    def get_cnf_storage(self):
        """The storage last set, or None."""
        return self._cnf_storage

    def set_witness_interpreter(self, interpreter):
        if not isinstance(interpreter, witness_interpreter):
            raise TypeError(
                f"set_witness_interpreter expects a witness_interpreter, got {type(interpreter).__name__}"
            )
        self._witness_interpreter = interpreter

    def get_witness_interpreter(self):
        """The witness interpreter last set, or None."""
        return self._witness_interpreter

    def create_formula_encoder(self, model_name):
        """The engine's native formula encoder for the model of that name."""
        return FormulaEncoder(model_name)
