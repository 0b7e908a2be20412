"""Every engine module converts a Python value of one kind the same way: a
literal or variable number is an int, never a bool; a weight, bound, count or
size is any integral number (what operator.index takes), and an exception
raised by its own __index__ comes through as itself; a text is a str with a
UTF-8 form."""

import numpy as np
import pytest

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx
import velmont.corvane_engine.kelpa as pb
from tarvo_encoder import _native
from tarvo_encoder.core import formulapb
from tarvo_encoder.core.manager import Manager
from velmont.corvane_engine import _fenc


class Failing:
    """An integral number whose __index__ fails."""

    def __index__(self):
        raise ZeroDivisionError("no value here")


class Refusing:
    def __index__(self):
        raise TypeError("my own refusal")


class Integer(int):
    pass


def encoder():
    e = _fenc.FormulaEncoder("m")
    e.create_variables("x", [3])
    return e


def mapping(number):
    m = ce.var_mapping()
    m.set_var_map({"a": number})
    return m


def inverse_mapped(number):
    m = mapping(3)
    m.build_inverse_map()
    return m.name_of(number)


def interpreted(literal):
    interpreter = ce.witness_interpreter()
    interpreter.set_var_mapping(mapping(3))
    interpreter.set_auxiliary_vars([])
    interpreter.build_mapping_tables(True)
    return interpreter.interpret([literal])


def storage_header(setter, value):
    storage = ce.wcnf_storage()
    getattr(storage, "set_" + setter)(value)
    return getattr(storage, setter)


def expanded_texts(num_formula=0, init_shift=1):
    return _native.expand_texts(ce.wcnf_storage(), [["x(i)"]], [0], ["i"], [[0, 1]],
                                _native.DeclaredVariables([("x", 1, [2], [1])]),
                                num_formula, init_shift, 0, 0, "_kelpa_aux", "_dravo_aux")


def pb_config(limit):
    config = pb.PBConfig()
    config.max_clauses_per_constraint = limit
    return config.max_clauses_per_constraint


LITERALS = {
    "hard clause": lambda v: ce.wcnf_storage().add_hard_clause([v]),
    "prefatory value": lambda v: ce.wcnf_storage().insert_prefatory_value(v),
    "mapped number": mapping,
    "name_of": inverse_mapped,
    "interpreted model": interpreted,
    "witness": lambda v: encoder().set_witness([v]),
    "WeightedLit lit": lambda v: pb.WeightedLit(v, 1),
    "AuxVarManager first": lambda v: pb.AuxVarManager(v),
}

INTEGRALS = {
    "soft clause weight": lambda v: ce.wcnf_storage().add_soft_clause([1], v),
    "variable count": lambda v: storage_header("variable_count", v),
    "weight limit": lambda v: storage_header("weight_limit", v),
    "size": lambda v: encoder().create_variables("z", [v]),
    "soft constraint weight": lambda v: encoder().add_soft_constraint("x(0).to_pb()", "Foralls: {}", v, True),
    "WeightedLit weight": lambda v: pb.WeightedLit(1, v),
    "PBConstraint bound": lambda v: pb.PBConstraint([pb.WeightedLit(1, 1)], pb.Comparator_type.LEQ, v),
    "clause limit": pb_config,
    # The native kernels take every number by the same rule.
    "expansion forall value": lambda v: _native.expand_template(ce.wcnf_storage(), [], [[v]], 0, 0, []),
    "expansion block size": lambda v: _native.expand_template(ce.wcnf_storage(), [], [], 0, v, []),
    "template formula number": lambda v: expanded_texts(num_formula=v),
    "template aux start": lambda v: expanded_texts(init_shift=v),
    "encoder clause literal": lambda v: formulapb._native_clause_formula([[v]], Manager()),
}

TEXTS = {
    "model name": lambda t: ce.wcnf_storage().set_model_name(t),
    "mapped name": lambda t: ce.var_mapping().set_var_map({t: 1}),
    "number_of": lambda t: mapping(1).number_of(t),
    "auxiliary prefixes": lambda t: ce.witness_interpreter().set_auxiliary_vars([t]),
    "encoder name": lambda t: _fenc.FormulaEncoder(t),
    "declared name": lambda t: encoder().create_variables(t, [1]),
    "constraint text": lambda t: encoder().add_constraint(t, "Foralls: {}"),
    "foralls text": lambda t: encoder().add_constraint("x(0).to_bx()", t),
    "target text": lambda t: encoder().add_target(t),
    "dravo name": lambda t: bx.Context().get_var(t),
    "tseytin prefix": lambda t: bx.or_s([bx.Context().get_var("a"), bx.Context().get_var("b")]).tseytin(bx.Context(), t),
}


@pytest.mark.parametrize("value", [3, Integer(3)], ids=["int", "int subclass"])
@pytest.mark.parametrize("entry", LITERALS.values(), ids=LITERALS.keys())
def test_a_literal_is_an_int(entry, value):
    entry(value)


@pytest.mark.parametrize("value, error, message", [
    (True, TypeError, "must be an int, got bool"),
    (np.int64(3), TypeError, "must be an int, got numpy.int64"),
    (3.0, TypeError, "must be an int, got float"),
    (2**64, OverflowError, "18446744073709551616 does not fit in 64 bits"),
], ids=["bool", "numpy integer", "float", "beyond 64 bits"])
@pytest.mark.parametrize("entry", LITERALS.values(), ids=LITERALS.keys())
def test_a_literal_is_never_a_bool_nor_another_number(entry, value, error, message):
    with pytest.raises(error, match=message):
        entry(value)


@pytest.mark.parametrize("value", [3, True, np.int64(3), np.uint8(3), Integer(3)],
                         ids=["int", "bool", "numpy int64", "numpy uint8", "int subclass"])
@pytest.mark.parametrize("entry", INTEGRALS.values(), ids=INTEGRALS.keys())
def test_a_weight_bound_count_or_size_is_any_integral_number(entry, value):
    result = entry(value)
    if isinstance(result, int):
        assert result == int(value)


@pytest.mark.parametrize("value, error, message", [
    (3.0, TypeError, "must be an integral number, got float"),
    (np.True_, TypeError, "must be an integral number, got numpy.bool"),
    ("3", TypeError, "must be an integral number, got str"),
    (2**64, OverflowError, "18446744073709551616 does not fit in 64 bits"),
    (Failing(), ZeroDivisionError, "^no value here$"),
    (Refusing(), TypeError, "^my own refusal$"),
], ids=["float", "numpy bool", "str", "beyond 64 bits", "__index__ fails", "__index__ refuses"])
@pytest.mark.parametrize("entry", INTEGRALS.values(), ids=INTEGRALS.keys())
def test_other_numbers_are_refused_and_index_errors_come_through_as_themselves(entry, value, error, message):
    with pytest.raises(error, match=message):
        entry(value)


class Emptying:
    """An integral number whose __index__ empties the list that holds it."""

    def __init__(self, holder):
        self.holder = holder

    def __index__(self):
        self.holder.clear()
        return 2


def test_a_list_that_an_item_empties_is_read_up_to_where_it_ends():
    sizes = []
    sizes += [Emptying(sizes), 3, 4]
    forall = []
    forall += [0, Emptying(forall), 5]
    encoder().create_variables("z", sizes)
    assert _native.expand_template(ce.wcnf_storage(), [([(False, 1, 0, [1])], 0)], [forall], 0, 0, []) == {}
    assert sizes == forall == []


@pytest.mark.parametrize("text, error", [(b"x", TypeError), (None, TypeError), ("\ud800", UnicodeEncodeError)],
                         ids=["bytes", "None", "lone surrogate"])
@pytest.mark.parametrize("entry", TEXTS.values(), ids=TEXTS.keys())
def test_a_text_is_a_str_with_a_utf8_form(entry, text, error):
    with pytest.raises(error):
        entry(text)
