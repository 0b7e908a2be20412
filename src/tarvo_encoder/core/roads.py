"""Container mode's roads: the evaluation road, which is the reference, and
the fast roads beside it, as rows of one table that the dispatch runs from.

How a constraint goes, in container mode (`Model` in encode/model.py):

  add_constraint    checks, the "constraint" debug line
    no foralls      the roads of WITHOUT_EVALUATION in order; the first that
                    reads the text adds its clauses (core/formula_container.py)
    else            the evaluation road: the text evaluated in the model's
                    namespace (flat sum, shape cache), comparisons encoded
                    (numbered clause form, native clause walk), the formula
                    put into clause form (transformed clause form, else
                    Tseytin), handed to the container, which expands it over
                    its foralls (native expansion, else the expansion text
                    evaluated; core/dumper.py); a formula without foralls is
                    recorded by its shape for the recalled shape road. A
                    loop over a range that a forall index bounds has no one
                    template: each instance is evaluated on its own
  add_soft_constraint  without foralls the soft roads of WITHOUT_EVALUATION,
                    else the evaluation road
  build_cnf         a target: always the evaluation road

The expression operators that write the texts have a fast road of their own
(native operators). Every fast road yields exactly what the evaluation road
yields: clauses, order, numbering, mapping, warnings, errors and log lines,
but for the trace line that names the road.

One switch, `set_fast_roads`, turns fast roads off, all of them or by name,
so that the evaluation road runs alone; the differential tests compare
through it. A line at trace level names the road each hard or soft
constraint took.

With debug logging wanted, a road runs only when it writes the lines that
the evaluation road would write (`writes_debug_lines`); the others step
aside and the evaluation road takes their constraints. `is_open` is that
rule, and `set_fast_roads` applies it to WITHOUT_EVALUATION ahead.
"""
import typing as tp
from dataclasses import dataclass

from .. import _native
from .._log_wanted import DEBUG, TRACE, log_wanted
from .._logged_errors import raise_logged
from .tarvo_logger import log_t


@dataclass(frozen=True, eq=False)  # compared and hashed by identity, cheaply
class Road:
    name: str
    takes: str
    lives: str
    tested: str  # where its differential tests are
    # Whether its constraints get, at debug and trace level, the lines the
    # evaluation road writes for them; a road without them steps aside then.
    writes_debug_lines: bool
    # For a road that takes a constraint without evaluating it:
    # add(container, text, detail) adds it and answers True, or answers False
    # with nothing changed; the detail is the model's Manager for a hard
    # constraint, the minimization flag for a soft one.
    add: tp.Optional[tp.Callable[[tp.Any, str, tp.Any], bool]] = None
    # The trace lines that the evaluation road would write, written by this
    # road before its name.
    trace_lines: tp.Tuple[str, ...] = ()


SMALL_COMPARISON = Road(
    "small comparison",
    "a hard constraint without foralls that is one comparison of a sum of int multiples of distinct declared "
    "elements with an int bound, whose encoding is no constant",
    "FormulaContainer.add_small_comparison; cpp/kernels/small_comparison.hpp",
    "tests/model/test_model_small_comparisons.py",
    False, lambda container, text, manager: container.add_small_comparison(text, manager))
PLAIN_CLAUSE = Road(
    "plain clause",
    "a hard constraint without foralls that is one clause of declared elements, as the operators write it",
    "FormulaContainer.add_plain_clause; cpp/kernels/plain_clause.hpp",
    "tests/model/test_model_plain_clauses.py",
    True, lambda container, text, manager: container.add_plain_clause(text),
    ("Enumerating hard utility variables",))
PLAIN_FORMULA = Road(
    "plain formula",
    "a hard constraint without foralls that is a Boolean formula of declared elements whose clause form is no "
    "constant",
    "FormulaContainer.add_plain_formula; cpp/kernels/plain_clause.hpp, cpp/kernels/clause_formula.hpp",
    "tests/model/test_model_plain_formulas.py",
    False, lambda container, text, manager: container.add_plain_formula(text))
RECALLED_SHAPE = Road(
    "recalled shape",
    "a hard constraint without foralls, not a lone comparison, of a shape that the evaluation road recorded",
    "FormulaContainer.add_recalled_formula, remember_formula; cpp/kernels/formula_shape_memo.hpp",
    "tests/model/test_model_recalled_formulas.py",
    False, lambda container, text, manager: container.add_recalled_formula(text))
PLAIN_SOFT_SUM = Road(
    "plain soft sum",
    "a soft constraint without foralls: a weighted sum of int multiples of distinct declared elements",
    "FormulaContainer.add_plain_soft_sum; cpp/kernels/small_comparison.hpp",
    "tests/model/test_model_plain_clauses.py",
    False, lambda container, text, minimization: container.add_plain_soft_sum(text, minimization))
FLAT_SUM = Road(
    "flat sum",
    "in the evaluation road, the text of a flat sum compared with a bound or weighted, read without compiling it",
    "encode/_flat_sums.py; cpp/kernels/flat_sum_text.hpp",
    "tests/encode/test_flat_sums.py, tests/model/test_clause_form_road.py",
    True)
SHAPE_CACHE = Road(
    "shape cache",
    "in the evaluation road, any text: its compilation kept by the text's shape, its integers bound as names",
    "encode/_text_shapes.py",
    "tests/model/test_model_text_shapes.py",
    True)
NUMBERED_CLAUSE_FORM = Road(
    "numbered clause form",
    "in the evaluation road, a constraint or bounded target that is one comparison: the encoder's clauses as a "
    "template in clause form, with no formula node per literal",
    "formulapb.ClauseFormPB; cpp/kernels/numbered_template.hpp",
    "tests/model/test_clause_form_road.py, tests/core/test_numbered_template.py",
    False)
NATIVE_CLAUSE_WALK = Road(
    "native clause walk",
    "in the evaluation road, the encoder's clauses of a comparison turned into one formula in C++",
    "formulapb._clause_formula; cpp/kernels/clause_formula.hpp",
    "tests/core/test_pbcore_formulapb.py",
    True)
TRANSFORMED_CLAUSE_FORM = Road(
    "transformed clause form",
    "in the evaluation road, a formula already in clause form: ordered as the Tseytin transformation orders it",
    "Model.__to_clause_form; cpp/kernels/clause_form.hpp",
    "tests/engine/test_native_kernel_boundary.py",
    True)
NATIVE_EXPANSION = Road(
    "native expansion",
    "a template formula expanded over its foralls in C++ instead of by evaluating its expansion text",
    "core/native_expansion.py; cpp/kernels/template_expansion.hpp",
    "tests/container/test_native_expansion.py, tests/container/test_expansion_text_fuzz.py",
    True)
NATIVE_OPERATORS = Road(
    "native operators",
    "the operators, subscripts and sequence combinators of expressions, which write the texts",
    "cpp/bindings/native/expression_operators.cpp",
    "tests/encode/test_expr_roads.py",
    True)

EVALUATION = Road(
    "evaluation",
    "every constraint, soft constraint and target: its text evaluated in the model's namespace; the reference",
    "Model.__fill_hard_constraint, __fill_soft_constraint, __build_target; core/dumper.py",
    "tests/usage/test_usage_differential_roads.py: every fast road off against all on",
    True)

# The roads tried, in this order, for a constraint without foralls, by what
# it is: a hard constraint that is one comparison, any other hard constraint,
# a soft constraint.
WITHOUT_EVALUATION = {
    "comparison": (SMALL_COMPARISON,),
    "formula": (PLAIN_CLAUSE, PLAIN_FORMULA, RECALLED_SHAPE),
    "soft": (PLAIN_SOFT_SUM,),
}
FAST_ROADS = tuple(road for roads in WITHOUT_EVALUATION.values() for road in roads) + (
    FLAT_SUM, SHAPE_CACHE, NUMBERED_CLAUSE_FORM, NATIVE_CLAUSE_WALK, TRANSFORMED_CLAUSE_FORM, NATIVE_EXPANSION,
    NATIVE_OPERATORS)

_BY_NAME = {road.name: road for road in FAST_ROADS}
_closed: tp.FrozenSet[Road] = frozenset()
# For each kind of WITHOUT_EVALUATION, the roads open without debug lines
# wanted and those open with them.
_open: tp.Dict[str, tp.Tuple[tp.Tuple[Road, ...], tp.Tuple[Road, ...]]] = {}


def set_fast_roads(on: bool, *names: str) -> None:
    """Turns the fast roads named (every one when none is) on or off."""
    global _closed
    unknown = [name for name in names if name not in _BY_NAME]
    if unknown:
        raise_logged(ValueError, "No fast road is named " + ", ".join(map(repr, unknown)))
    chosen = frozenset(_BY_NAME[name] for name in names) if names else frozenset(FAST_ROADS)
    _closed = _closed - chosen if on else _closed | chosen
    for kind, roads in WITHOUT_EVALUATION.items():
        _open[kind] = tuple(road for road in roads if road not in _closed), tuple(
            road for road in roads if road not in _closed and road.writes_debug_lines)
    _native.set_expression_fast_road(NATIVE_OPERATORS not in _closed)


def closed_roads() -> tp.List[str]:
    """The names of the fast roads turned off, in table order."""
    return [road.name for road in FAST_ROADS if road in _closed]


def is_open(road: Road) -> bool:
    """Whether `road` may take what it reads now: the one rule for debug lines."""
    return road not in _closed and (road.writes_debug_lines or not log_wanted(DEBUG))


def add_without_evaluation(kind: str, container, text: str, detail, debug: bool) -> bool:
    """Whether one of the roads of WITHOUT_EVALUATION[kind], the first that
    reads it, added the constraint of `text`, which has no foralls; nothing
    changed when none did. `debug` says whether debug lines are wanted."""
    for road in _open[kind][debug]:
        if road.add(container, text, detail):
            note_taken(road, debug)
            return True
    return False


def note_taken(road: Road, debug: bool) -> None:
    """The trace line naming the road a constraint took; `debug` says
    whether debug lines are wanted, as trace lines are only with them."""
    if debug and log_wanted(TRACE):
        for line in road.trace_lines:
            log_t(line)
        log_t("           road : " + road.name)


set_fast_roads(True)
