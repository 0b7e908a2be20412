import typing as tp

import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb

from .aux_names import KELPA_AUX
from .variable import GeneratorVariable


class Manager:
    def __init__(self) -> None:
        self.__make_engine_objects()
        self.name2genvar: tp.Dict[str, GeneratorVariable] = {}
        self.name2pb: tp.Dict[str, int] = {}
        self.pb2bx: tp.Dict[int, bx.Variable] = {}
        self.cnt_pbvar = 0

    def registration_generator_variables(self, name: str, declared=None) -> None:
        if name not in self.name2genvar:
            self.name2genvar[name] = GeneratorVariable(name, self, declared)

    def add_variable(self, name: str) -> tp.Tuple[bx.Variable, int]:
        if name not in self.name2pb:
            # Both engine calls come before the tables are written, so a
            # failing call leaves no half-made pairing behind.
            pb_var = self.pb_var_manager.get_variable()
            bx_var = self.bx_context.get_var(name)
            self.name2pb[name] = pb_var
            self.pb2bx[pb_var] = bx_var
            return bx_var, pb_var
        pb_var = self.name2pb[name]
        return self.pb2bx[pb_var], pb_var

    def get_pb_var(self, pb_var: int, prefix: str = KELPA_AUX) -> bx.Variable:
        if pb_var in self.pb2bx:
            return self.pb2bx[pb_var]
        # A number never paired before is an aux variable of the encoder;
        # names follow the order of first appearance.
        name = prefix + "_" + str(self.cnt_pbvar)
        self.cnt_pbvar += 1
        bx_var = self.bx_context.get_var(name)
        self.name2pb[name] = pb_var
        self.pb2bx[pb_var] = bx_var
        return bx_var

    def reset(self) -> None:
        # Released first, so the previous formula's engine objects never live
        # beside the next one's.
        del self.bx_context
        del self.pb_config
        del self.pb_var_manager
        self.name2pb.clear()
        self.pb2bx.clear()
        self.cnt_pbvar = 0
        self.__make_engine_objects()

    def __make_engine_objects(self) -> None:
        # One Boolean context, encoder configuration and number allocator per formula.
        self.bx_context = bx.Context()
        self.pb_config = pb.PBConfig()
        self.pb_config.pb_encoder = pb.PB_Encoder_type.ADDER
        self.pb_config.max_clauses_per_constraint = 1000000
        self.pb_var_manager = pb.AuxVarManager(1)
