import typing as tp
from abc import ABC, abstractmethod
from dataclasses import dataclass
from functools import reduce
from operator import ior

import velmont.corvane_engine as ce

from .. import _native

from .._logged_errors import raise_logged as _raise_logged
from .tarvo_logger import *
from .aux_names import DRAVO_AUX, KELPA_AUX
from .native_expansion import expand_natively
from . import roads


def reduce_ex(mappings) -> tp.Dict[str, int]:
    return reduce(ior, mappings, {})


def aux_map_dict(part) -> tp.Dict[str, int]:
    """The aux map names of one dump as a dict, whether kept as one or as their block."""
    return part if type(part) is dict else part.as_dict()


@dataclass
class DumpArgs:
    template_constraint: tp.Sequence[tp.Sequence[str]]
    weights: tp.Optional[tp.Sequence[int]]
    foralls: tp.Dict[str, tp.Sequence[int]]
    num_formula: int
    init_shift_variable: int
    shift_pb_variable: int
    shift_bx_variable: int
    offset_shift_for_formula: int
    eval_state: tp.Dict[str, tp.Any]
    cnf_stor: ce.wcnf_storage


class Dumper(ABC):
    """Expands a template formula over its foralls into numbered clauses.

    A template instance n of a formula owns the aux block of P + B numbers
    that starts at S + n * (P + B): first its P PB-encoder aux variables,
    then its B Tseytin aux variables.
    """


    @classmethod
    @abstractmethod
    def dump(cls, dump_args: tp.Sequence[DumpArgs]):
        pass

    @staticmethod
    def _expansion_text(a: DumpArgs) -> str:
        """One list comprehension over all template instances, first forall outermost."""
        clauses = ",".join("[" + ",".join(literals) + "]" for literals in a.template_constraint)
        loops = " ".join("for " + key + " in " + format(values, "") for key, values in a.foralls.items())
        return "[[" + clauses + "] " + loops + "]"

    @staticmethod
    def _dump_cnf(a: DumpArgs) -> tp.Dict[str, int]:
        return aux_map_dict(Dumper._dump_cnf_part(a))

    @staticmethod
    def _dump_cnf_part(a: DumpArgs) -> tp.Union[tp.Dict[str, int], _native.AuxMapBlock]:
        """_dump_cnf, with the aux map names of a record that the native road
        expands kept as their block: a name-to-number mapping needs no dict
        of them."""
        if a.cnf_stor is None:
            return {}
        part = expand_natively(a, KELPA_AUX, DRAVO_AUX, True) if roads.is_open(roads.NATIVE_EXPANSION) else None
        return Dumper._dump_cnf_by_evaluation(a) if part is None else part

    @staticmethod
    def _dump_cnf_by_evaluation(a: DumpArgs) -> tp.Dict[str, int]:
        """Evaluates the expansion text and numbers the instances it yields: the
        reference behaviour, and the road of every record the native one refuses."""
        mapping = {}
        temp_cnf = eval(Dumper._expansion_text(a), a.eval_state)
        Dumper.__print_all_formula(
            temp_cnf,
            a.weights,
            a.num_formula,
            a.init_shift_variable,
            a.shift_pb_variable,
            a.shift_bx_variable,
            a.offset_shift_for_formula,
            mapping,
            a.cnf_stor,
        )
        return mapping

    @staticmethod
    def __print_all_formula(
        temp_cnf: tp.Sequence[tp.Sequence[tp.Union[int, str]]],
        weights: tp.Optional[tp.Sequence[int]],
        num_formula: int,
        init_shift_variable: int,
        shift_pb_variable: int,
        shift_bx_variable: int,
        offset_shift_formulas: int,
        mapping: tp.Dict[str, int],
        cnf_stor: ce.wcnf_storage,
    ) -> None:
        block_size = shift_pb_variable + shift_bx_variable
        for instance_number, instance in enumerate(temp_cnf):
            block_start = init_shift_variable + instance_number * block_size
            for clause_number, clause in enumerate(instance):
                weight = 0 if weights is None else weights[clause_number]
                literals = [
                    Dumper.__aux_literal(
                        value,
                        num_formula,
                        instance_number,
                        block_start,
                        shift_pb_variable,
                        shift_bx_variable,
                        mapping,
                    )
                    if isinstance(value, str)
                    else value
                    for value in clause
                ]
                literals.sort(key=abs)
                if cnf_stor is not None:
                    if weight != 0:
                        cnf_stor.add_soft_clause(literals, weight)
                    else:
                        cnf_stor.add_hard_clause(literals)

    @staticmethod
    def __aux_literal(
        value: str,
        num_formula: int,
        instance_number: int,
        block_start: int,
        shift_pb_variable: int,
        shift_bx_variable: int,
        mapping: tp.Dict[str, int],
    ) -> int:
        """The signed number of one aux literal of one instance; records its aux map name."""
        sign, name = (-1, value[1:]) if "~" in value else (1, value)
        if KELPA_AUX in name:
            prefix, block_size, offset = KELPA_AUX, shift_pb_variable, 0
            kind = "PB-encoder"
        elif DRAVO_AUX in name:
            prefix, block_size, offset = DRAVO_AUX, shift_bx_variable, shift_pb_variable
            kind = "Tseytin"
        else:
            # Such a literal has no number; 0 would silently mean the dummy variable.
            log_w("Index is not kelpa or dravo")
            raise ValueError("Index is not kelpa or dravo")
        aux_index = int(name[name.rfind("_") + 1 :])
        if prefix == DRAVO_AUX and instance_number > 0 and shift_bx_variable < aux_index:
            log_w("Indefinite dravo index")
        if not 0 <= aux_index < block_size:
            # Outside its block the number would belong to another aux variable.
            _raise_logged(ValueError, f"Aux variable '{name}' has index {aux_index}, outside the block of"
                                      f" {block_size} {kind} aux variables of its instance")
        number = block_start + offset + aux_index
        aux_map_name = f"{prefix}[{num_formula},{instance_number},{aux_index}]"
        known = mapping.get(aux_map_name)
        if known is not None and known != number:
            log_w("Bad index for kelpa" if prefix == KELPA_AUX else "Bad index for dravo")
        mapping[aux_map_name] = number
        return sign * number


class One2OneDumper(Dumper):
    @classmethod
    def dump(cls, list_dump_args: tp.Sequence[DumpArgs]) -> tp.Dict[str, int]:
        return reduce_ex([aux_map_dict(part) for part in cls.dump_parts(list_dump_args)])

    @classmethod
    def dump_parts(cls, list_dump_args: tp.Sequence[DumpArgs]) -> tp.List[tp.Union[tp.Dict[str, int],
                                                                                 _native.AuxMapBlock]]:
        """`dump`, with each record's aux map names kept apart, as a dict or as their block."""
        return [cls._dump_cnf_part(args) for args in list_dump_args]
