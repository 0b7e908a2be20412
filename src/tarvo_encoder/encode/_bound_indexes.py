"""Refusals of an index that a formula uses and no forall binds: checked by
the model, in either mode, since the expansion would meet it as a bare
NameError and the encoder would not name the foralls."""
import typing as tp

from .._logged_errors import raise_logged
from . import _model_rules as rules


def refuse_unbound(used: tp.Set[str], foralls) -> None:
    if not used:
        return
    message = rules.unbound_index_message(used, foralls)
    if message is not None:
        raise_logged(ValueError, message)


def require_bound_text_indexes(text: str, index_names: tp.Container[str], foralls) -> None:
    """The indexes named in expression `text` are all bound by `foralls`."""
    refuse_unbound(rules.indexes_in_text(text, index_names), foralls)
