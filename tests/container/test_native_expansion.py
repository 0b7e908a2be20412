"""The native expansion against the evaluation of the expansion text: same
clauses in the same order with the same weights, same aux map names in the
same order, same log records, same exceptions, same globals afterwards."""
import builtins
import logging

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import velmont.corvane_engine as ce
from tarvo_encoder.core.dumper import DumpArgs, Dumper, One2OneDumper
from tarvo_encoder.core.native_expansion import expand_natively
from tarvo_encoder.encode.variables import Index, Variable

from container_helpers import Template, new_container
from fast_roads import fast_roads_off


def declared(*variables):
    """dummy_var at 0, then each (name, sizes) block numbered from 1 in order."""
    blocks, start = {"dummy_var": Variable("dummy_var", {"d": 1}, 0)}, 1
    for name, sizes in variables:
        blocks[name] = Variable(name, {f"{name}{d}": size for d, size in enumerate(sizes)}, start)
        count = 1
        for size in sizes:
            count *= size
        start += count
    return blocks, start


def record_factory(template, foralls, variables, *, weights=None, num_formula=0, start=None, pb=0, bx=0):
    """Each call builds an independent record over fresh copies of the variables."""
    blocks, first_free = variables

    def make():
        return DumpArgs(
            template_constraint=[list(clause) for clause in template],
            weights=None if weights is None else list(weights),
            foralls={key: values if isinstance(values, range) else list(values) for key, values in foralls.items()},
            num_formula=num_formula,
            init_shift_variable=first_free if start is None else start,
            shift_pb_variable=pb,
            shift_bx_variable=bx,
            offset_shift_for_formula=0,
            eval_state={name: variable.copy() for name, variable in blocks.items()},
            cnf_stor=ce.wcnf_storage(),
        )

    return make


def outcome(dump, record, caplog):
    caplog.clear()
    try:
        result = ("returned", list(dump(record).items()))
    except Exception as error:  # the comparison covers the reference's own exceptions
        result = ("raised", type(error), str(error))
    logs = [(r.levelno, r.getMessage()) for r in caplog.records]
    return result, logs, record.cnf_stor.to_dimacs(), sorted(record.eval_state)


def assert_same_as_reference(make, caplog):
    with caplog.at_level(logging.DEBUG):
        chosen = outcome(Dumper._dump_cnf, make(), caplog)
        reference = outcome(Dumper._dump_cnf_by_evaluation, make(), caplog)
    assert chosen == reference
    return reference


def takes_native_road(make) -> bool:
    record = make()
    before = record.cnf_stor.to_dimacs(), dict(record.eval_state)
    if expand_natively(record, "_kelpa_aux", "_dravo_aux") is not None:
        return True
    assert (record.cnf_stor.to_dimacs(), record.eval_state) == before  # a refusal leaves no trace
    return False


X_3x4 = declared(("x", (3, 4)))
X_AND_Y = declared(("x", (3, 4)), ("y", (5,)), ("z", ()), ("w", (6, 6)))

NATIVE_CASES = {
    "worked example": dict(
        template=[["-x(i,j)", "'_kelpa_aux_0'"], ["x(i + 1,j)", "'~_kelpa_aux_0'"]],
        foralls={"i": range(0, 2), "j": range(0, 4)}, variables=X_3x4, pb=1, start=13,
    ),
    "both aux kinds, P=2 B=1 S=9 formula 3": dict(
        template=[["'_kelpa_aux_0'", "'_kelpa_aux_1'", "'_dravo_aux_0'"], ["x(0,n)", "'~_dravo_aux_0'", "-x(0,2)"]],
        foralls={"n": range(2)}, variables=X_3x4, num_formula=3, start=9, pb=2, bx=1,
    ),
    "soft weights with a hard clause among them": dict(
        template=[["x(i,0)"], ["-x(i,1)", "x(i,2)"], ["y(i)"]],
        foralls={"i": range(3)}, variables=X_AND_Y, weights=[2, 0, 5, 7],
    ),
    "a variable and its negation keep their order": dict(
        template=[["-y(i + 1)", "x(0,i)", "y(i + 1)", "-x(0,i)", "x(0,i)"]],
        foralls={"i": range(3)}, variables=X_AND_Y,
    ),
    "composed index arithmetic": dict(
        template=[["w(i + 1 + 1,2 * (j + 1))", "-y(i - (j - 1))", "w(-2 * i + 4,j - -1)", "y(i + -1 + j)"]],
        foralls={"i": [1, 2], "j": range(0, 2)}, variables=X_AND_Y,
    ),
    "lists, steps and descending ranges as foralls": dict(
        template=[["x(i,j)", "y(k)", "'_dravo_aux_1'"]],
        foralls={"i": [2, 0, 2], "j": range(3, -1, -2), "k": range(0, 5, 2)}, variables=X_AND_Y, bx=2,
    ),
    "no foralls, a variable without dimensions": dict(
        template=[["-x(0,1)", "'_kelpa_aux_0'"], ["x(1,1)", "-z()", "'~_kelpa_aux_0'"]],
        foralls={}, variables=X_AND_Y, pb=1,
    ),
    "an empty clause and a repeated aux literal": dict(
        template=[[], ["'_kelpa_aux_1'", "'~_kelpa_aux_1'", "x(i,i)"]],
        foralls={"i": range(3)}, variables=X_3x4, pb=2, bx=3,
    ),
    "a template without clauses": dict(template=[], foralls={"i": range(4)}, variables=X_3x4, pb=1),
    # The template is never read then, and the other loop's length costs nothing.
    "zero instances": dict(template=[["unbound(i)"]], foralls={"i": range(10**4), "j": []}, variables=X_3x4),
    "a forall named like a builtin": dict(
        template=[["x(len,0)"]], foralls={"len": range(3)}, variables=X_3x4,
    ),
}


@pytest.mark.parametrize("case", NATIVE_CASES.values(), ids=NATIVE_CASES.keys())
def test_native_road_matches_the_evaluation(case, caplog):
    make = record_factory(**case)
    assert takes_native_road(make)
    result, logs, _, _ = assert_same_as_reference(make, caplog)
    assert result[0] == "returned" and logs == []


def test_numbers_of_the_worked_example():
    # Independent of both roads: element (i, j) of x is 1 + 4 i + j, instance n's aux variable 13 + n.
    record = record_factory(**NATIVE_CASES["worked example"])()
    mapping = One2OneDumper.dump([record])
    expected = []
    for n, (i, j) in enumerate((i, j) for i in range(2) for j in range(4)):
        expected += [[-(1 + 4 * i + j), 13 + n], [1 + 4 * (i + 1) + j, -(13 + n)]]
    assert record.cnf_stor.hard_clauses() == expected
    assert list(mapping.items()) == [(f"_kelpa_aux[0,{n},0]", 13 + n) for n in range(8)]


class NotPlainVariable(Variable):
    pass


FALLBACK_CASES = {
    "index value outside its dimension": dict(template=[["x(i + 1,0)"]], foralls={"i": range(3)}, variables=X_3x4),
    "negative index value": dict(template=[["x(i - 1,0)"]], foralls={"i": range(3)}, variables=X_3x4),
    "PB aux index outside its block": dict(template=[["x(i,0)", "'_kelpa_aux_2'"]], foralls={"i": range(2)}, variables=X_3x4, pb=2),
    "Tseytin aux index outside its block": dict(template=[["'~_dravo_aux_3'"]], foralls={"i": range(2)}, variables=X_3x4, bx=2),
    "aux name of neither kind": dict(template=[["'plain_name'"]], foralls={}, variables=X_3x4, pb=1),
    "aux name without a numeric suffix": dict(template=[["'_kelpa_aux_x'"]], foralls={}, variables=X_3x4, pb=1),
    "index bound by no forall": dict(template=[["x(i,j)"]], foralls={"i": range(2)}, variables=X_3x4),
    "forall hides the variable": dict(template=[["x(x,0)"]], foralls={"x": range(2)}, variables=X_3x4),
    "undeclared variable": dict(template=[["w(i)"]], foralls={"i": range(2)}, variables=X_3x4),
    "wrong number of indexes": dict(template=[["x(i)"]], foralls={"i": range(2)}, variables=X_3x4),
    "product of two forall values": dict(template=[["x(i * j,0)"]], foralls={"i": range(2), "j": range(2)}, variables=X_3x4),
    "power": dict(template=[["x(2 ** i,0)"]], foralls={"i": range(2)}, variables=X_3x4),
    "float forall value": dict(template=[["x(i,0)"]], foralls={"i": [0, 1.0]}, variables=X_3x4),
    "weights shorter than the template": dict(template=[["x(i,0)"], ["x(i,1)"]], foralls={"i": range(2)}, variables=X_3x4, weights=[3]),
    "negative weight": dict(template=[["x(i,0)"]], foralls={"i": range(2)}, variables=X_3x4, weights=[-1]),
    "bool weight": dict(template=[["x(i,0)"]], foralls={"i": range(2)}, variables=X_3x4, weights=[True]),
    "integer literal": dict(template=[["5", "-x(0,0)"]], foralls={}, variables=X_3x4),
    "conditional literal": dict(template=[["('_dravo_aux_2' if n else 1)"]], foralls={"n": range(2)}, variables=X_3x4, bx=2),
    "aux area starting at the dummy variable": dict(template=[["'_kelpa_aux_0'"]], foralls={}, variables=X_3x4, pb=1, start=0),
    "forall named __debug__": dict(template=[["x(__debug__,0)"]], foralls={"__debug__": range(2)}, variables=X_3x4),
    "leading zero in an index": dict(template=[["x(01,0)"]], foralls={}, variables=X_3x4),
    "tab between tokens": dict(template=[["x(i,\t0)"]], foralls={"i": range(2)}, variables=X_3x4),
    "index beyond 64 bits": dict(template=[["x(i - 99999999999999999999 + 99999999999999999999,0)"]],
                                 foralls={"i": range(2)}, variables=X_3x4),
    "quoted index": dict(template=[["x(i,'0')"]], foralls={"i": range(2)}, variables=X_3x4),
    # Texts that only Python reads right: a forall that rebinds range for the loops
    # inside it, identifiers it normalises, digits and signs that int() takes, escapes.
    "forall named range": dict(template=[["x(range,0)"]], foralls={"range": range(2)}, variables=X_3x4),
    "non-ASCII forall name": dict(template=[["x(\uff49,0)"]], foralls={"\uff49": range(2)}, variables=X_3x4),
    "aux index in non-ASCII digits": dict(template=[["'_kelpa_aux_\u0661'"]], foralls={}, variables=X_3x4, pb=2),
    "aux index with a sign": dict(template=[["'_kelpa_aux_+1'"]], foralls={}, variables=X_3x4, pb=2),
    "quoted aux name with an escape": dict(template=[[repr("_kelpa_aux\\_0")]], foralls={}, variables=X_3x4, pb=1),
}


@pytest.mark.parametrize("case", FALLBACK_CASES.values(), ids=FALLBACK_CASES.keys())
def test_refused_records_get_the_evaluation(case, caplog):
    make = record_factory(**case)
    assert not takes_native_road(make)
    assert_same_as_reference(make, caplog)


@pytest.mark.parametrize(
    "alter",
    [
        lambda r: r.eval_state.update(x=NotPlainVariable("x", {"a": 3, "b": 4}, 1)),
        lambda r: r.eval_state.update(range=Variable("range", {"a": 3}, 1)),
        lambda r: setattr(r, "foralls", {"i": (0, 1)}),
        lambda r: setattr(r, "cnf_stor", None),
    ],
    ids=["variable subclass", "variable named range", "tuple forall", "no storage"],
)
def test_records_the_kernel_cannot_take_are_refused(alter):
    record = record_factory(template=[["x(i,0)"]], foralls={"i": range(2)}, variables=X_3x4)()
    alter(record)
    assert expand_natively(record, "_kelpa_aux", "_dravo_aux") is None


def test_container_results_do_not_depend_on_the_road():
    def build():
        template = Template()
        container = new_container()
        container.add_hard_constraint(
            template.cnf(["~x(i,j)", "_kelpa_aux_0"], ["x(i + 1,j)", "~_kelpa_aux_0", "_dravo_aux_0"]),
            {"i": range(1), "j": range(4)}, 1, 1,
        )
        container.add_soft_formula(template.cnf(["x(1,j)"], ["~x(0,j)"]), [3, 0], {"j": [3, 1]}, 0, 0)
        container.build_wcnf_formula("road")
        return container.cnf_storage().to_dimacs(), list(container.mapping.items())

    native = build()
    with fast_roads_off("native expansion"):
        assert build() == native


# Random templates: index texts written by the index arithmetic itself, over
# foralls whose values now and then step outside a dimension, with aux
# literals that now and then leave their block and weights that now and then
# are unusable, so that both roads and the refusals between them are met.

FORALL_NAMES = ["i", "j", "k"]
RANDOM_VARIABLES = declared(("x", (8, 8)), ("y", (10,)), ("z", ()))
ARITY = {"x": 2, "y": 1, "z": 0}


def now_and_then(draw) -> bool:
    return draw(st.integers(0, 9)) == 0


@st.composite
def index_texts(draw, names):
    if not names or now_and_then(draw):
        return str(draw(st.integers(-1, 7)))
    index = Index(draw(st.sampled_from(names)))
    for _ in range(draw(st.integers(0, 3))):
        operation = draw(st.sampled_from(["+", "-", "*", "+index"]))
        if operation == "+":
            index = index + draw(st.integers(-1, 2))
        elif operation == "-":
            index = index - draw(st.integers(-2, 0))
        elif operation == "*":
            index = draw(st.integers(1, 2)) * index
        else:
            index = index + Index(draw(st.sampled_from(names)))
    return str(index)


@st.composite
def literal_texts(draw, names, pb, bx):
    negated = draw(st.booleans())
    kinds = ["x", "x", "y", "z"] + ["pb"] * (pb > 0) + ["bx"] * (bx > 0)
    kind = "pb" if now_and_then(draw) else draw(st.sampled_from(kinds))
    if kind in ("pb", "bx"):
        prefix, block = ("_kelpa_aux", pb) if kind == "pb" else ("_dravo_aux", bx)
        index = block if block == 0 or now_and_then(draw) else draw(st.integers(0, block - 1))
        return repr(("~" if negated else "") + f"{prefix}_{index}")
    arguments = ",".join(draw(index_texts(names)) for _ in range(ARITY[kind]))
    return ("-" if negated else "") + f"{kind}({arguments})"


@st.composite
def forall_values(draw):
    if now_and_then(draw):
        return []
    if draw(st.booleans()):
        start = draw(st.integers(0, 2))
        return range(start, start + draw(st.integers(1, 3)), draw(st.sampled_from([1, 2])))
    return draw(st.lists(st.integers(0, 3), min_size=1, max_size=3))


@st.composite
def weights_for(draw, count):
    if draw(st.booleans()):
        return None
    weights = draw(st.lists(st.integers(0, 5), min_size=count, max_size=count + 1))
    if weights and now_and_then(draw):
        weights[draw(st.integers(0, len(weights) - 1))] = -1
    return weights[:-1] if weights and now_and_then(draw) else weights


@st.composite
def records(draw):
    names = FORALL_NAMES[: draw(st.integers(0, 3))]
    foralls = {name: draw(forall_values()) for name in names}
    pb, bx = draw(st.integers(0, 3)), draw(st.integers(0, 3))
    literal = literal_texts(names, pb, bx)
    template = draw(st.lists(st.lists(literal, max_size=4), max_size=4))
    return record_factory(
        template, foralls, RANDOM_VARIABLES, weights=draw(weights_for(len(template))),
        num_formula=draw(st.integers(0, 12)), pb=pb, bx=bx,
    )


# caplog is cleared before each of the two runs that one example compares.
@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(make=records())
def test_random_templates_match_the_evaluation(make, caplog):
    assert_same_as_reference(make, caplog)


class EqualToAll:
    """A callable that says it equals anything, as some proxies do: only its identity tells it apart."""

    def __eq__(self, other):
        return True

    __hash__ = object.__hash__

    def __call__(self, *indexes):
        return 7


@pytest.mark.parametrize("change", [
    lambda state: state.update(x=Variable("x", {"a": 3, "b": 4}, 20)),  # another block
    lambda state: state.update(x=Variable("x", {"a": 2, "b": 4}, 1)),  # another size
    lambda state: state.pop("x"),
    lambda state: state.update(x=EqualToAll()),
])
def test_records_sharing_an_eval_state_see_its_changes(change):
    """Records may share one eval_state, as a container's do; what it holds at
    each expansion counts, not what an earlier record found in it."""
    blocks, first_free = declared(("x", (3, 4)))
    # With the builtins entry from the start, as a container's eval_state has it.
    shared = {name: variable.copy() for name, variable in blocks.items()} | {"__builtins__": builtins.__dict__}

    def record():
        return DumpArgs(template_constraint=[["x(i,1)", "-x(2,i)"]], weights=None, foralls={"i": range(3)},
                        num_formula=0, init_shift_variable=first_free + 20, shift_pb_variable=0,
                        shift_bx_variable=0, offset_shift_for_formula=0, eval_state=shared,
                        cnf_stor=ce.wcnf_storage())

    Dumper._dump_cnf(record())
    change(shared)
    native, evaluated = record(), record()
    try:
        result = Dumper._dump_cnf(native), native.cnf_stor.to_dimacs()
    except Exception as error:
        result = type(error)
    try:
        expected = Dumper._dump_cnf_by_evaluation(evaluated), evaluated.cnf_stor.to_dimacs()
    except Exception as error:
        expected = type(error)
    assert result == expected
