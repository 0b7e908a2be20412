"""One instance of pb_solve_suite as CNF, by the library and by each peer.

An encoder takes an instance and returns an Encoded: the clauses, the
variable count and the CNF variable of each instance variable, so that a
solver's model can be checked against the instance itself. A peer whose
package does not import is left out of ENCODERS, with the reason in MISSING.
"""
from dataclasses import dataclass

import velmont.corvane_engine as ce
from tarvo_encoder import Model, SumIt

MISSING = {}

from pysat.card import CardEnc
from pysat.card import EncType as CardType

try:
    # pysat.pb encodes through pindakaas and asserts, on import, that it is there.
    from pysat.pb import EncType, PBEnc
except (ImportError, AssertionError) as error:
    PBEnc = None
    MISSING["pindakaas"] = f"pysat.pb is not usable, install python-sat[pb] ({error})"

try:
    from pypblib import pblib
except ImportError as error:
    pblib = None
    MISSING["pblib"] = f"pypblib is not importable ({error})"


@dataclass
class Encoded:
    clauses: list
    variable_count: int
    originals: list  # originals[i]: the CNF variable of instance variable i


def library(instance) -> Encoded:
    """Through Model in container mode: one variable block x, one constraint per line."""
    cmanager = ce.manager()
    model = Model(cmanager, "bench")
    x = model.create_variables("x", i=instance.variable_count)
    for constraint in instance.constraints:
        terms = SumIt([x[v] if w == 1 else w * x[v] for w, v in zip(constraint.weights, constraint.variables)])
        if constraint.comparator == "<=":
            model.add_constraint(terms <= constraint.bound)
        elif constraint.comparator == ">=":
            model.add_constraint(terms >= constraint.bound)
        else:
            model.add_constraint(terms == constraint.bound)
    model.build_cnf()
    storage = cmanager.get_cnf_storage()
    mapping = model.get_var_mapping()
    return Encoded(storage.hard_clauses(), storage.variable_count,
                   [mapping.number_of(f"x[{i}]") for i in range(instance.variable_count)])


def encode_each(instance, encode_constraint) -> Encoded:
    """Instance variable i is CNF variable i + 1; encode_constraint(lits, constraint, top)
    returns (clauses, largest variable used) and numbers its aux variables above top."""
    top, clauses = instance.variable_count, []
    for constraint in instance.constraints:
        lits = [v + 1 for v in constraint.variables]
        more, largest = encode_constraint(lits, constraint, top)
        clauses += more
        top = max(top, largest)
    return Encoded(clauses, top, list(range(1, instance.variable_count + 1)))


def pysat_pb(encoding):
    """pysat.pb's PBEnc (pindakaas underneath) with the given EncType."""
    methods = {"<=": PBEnc.leq, ">=": PBEnc.geq, "==": PBEnc.equals}

    def encode_constraint(lits, constraint, top):
        cnf = methods[constraint.comparator](lits, list(constraint.weights), constraint.bound, top_id=top,
                                             encoding=encoding)
        return cnf.clauses, cnf.nv

    return lambda instance: encode_each(instance, encode_constraint)


def pblib_adder(instance) -> Encoded:
    """PBLib's adder; PBLib itself hands constraints of equal weights to its cardinality encoders."""
    config = pblib.PBConfig()
    config.set_PB_Encoder(pblib.PB_ADDER)
    encoder = pblib.Pb2cnf(config)

    def encode_constraint(lits, constraint, top):
        clauses, weights, bound = [], list(constraint.weights), constraint.bound
        if constraint.comparator == "<=":
            largest = encoder.encode_leq(weights, lits, bound, clauses, top + 1)
        elif constraint.comparator == ">=":
            largest = encoder.encode_geq(weights, lits, bound, clauses, top + 1)
        else:
            largest = encoder.encode_both(weights, lits, bound, bound, clauses, top + 1)
        return clauses, largest

    return encode_each(instance, encode_constraint)


def pysat_card(encoding):
    """pysat.card's own cardinality encodings, for instances of unit weights only."""
    methods = {"<=": CardEnc.atmost, ">=": CardEnc.atleast, "==": CardEnc.equals}

    def encode_constraint(lits, constraint, top):
        cnf = methods[constraint.comparator](lits, constraint.bound, top_id=top, encoding=encoding)
        return cnf.clauses, cnf.nv

    return lambda instance: encode_each(instance, encode_constraint)


# name -> (encoder, only for cardinality instances); the library first, the ratios' baselines after it.
ENCODERS = {"library": (library, False)}
if PBEnc is not None:
    ENCODERS["pindakaas-adder"] = (pysat_pb(EncType.adder), False)
    ENCODERS["pindakaas-bdd"] = (pysat_pb(EncType.bdd), False)
if pblib is not None:
    ENCODERS["pblib-adder"] = (pblib_adder, False)
ENCODERS["card-seqcounter"] = (pysat_card(CardType.seqcounter), True)
ENCODERS["card-totalizer"] = (pysat_card(CardType.totalizer), True)
