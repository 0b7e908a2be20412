"""A recording engine manager whose formula encoder records every call."""
import velmont.corvane_engine as ce


class RecordingEncoder:
    """Stands in for the engine's formula encoder: records calls, returns set values."""

    def __init__(self, name, storage=None, var_mapping=None):
        self.name = name
        self.calls = []
        self.storage = storage
        self.var_mapping = var_mapping
        self.results = {}

    def __getattr__(self, operation):
        if operation.startswith("_"):
            raise AttributeError(operation)

        def record(*args):
            self.calls.append((operation, args))
            return self.results.get(operation)
        return record

    def get_cnf_storage(self):
        return self.storage

    def get_var_mapping(self):
        return self.var_mapping


class RecordingManager:
    """An engine manager that creates recording encoders and keeps what it is handed."""

    def __init__(self, storage=None, var_mapping=None):
        self.encoders = []
        self.storage = None
        self.interpreter = None
        self._encoder_storage = storage
        self._encoder_mapping = var_mapping

    def create_formula_encoder(self, name):
        encoder = RecordingEncoder(name, self._encoder_storage, self._encoder_mapping)
        self.encoders.append(encoder)
        return encoder

    def set_cnf_storage(self, storage):
        self.storage = storage

    def get_cnf_storage(self):
        return self.storage

    def set_witness_interpreter(self, interpreter):
        self.interpreter = interpreter


def small_var_mapping(names=("x[0]",)):
    mapping = ce.var_mapping()
    mapping.set_var_map({name: number for number, name in enumerate(names, start=1)})
    mapping.build_inverse_map()
    return mapping
