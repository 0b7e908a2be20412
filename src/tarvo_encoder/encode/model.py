import itertools
import typing as tp
import traceback
import re
from numbers import Integral
from functools import reduce
from operator import mul
from datetime import datetime

import velmont.corvane_engine as ce
from velmont.corvane_engine import dravo as bx
from velmont.corvane_engine import kelpa as pb

from .variables import Variable, Index, EvaluatedIndex
from .expressions import Expression, VariableProxy, _Coefficient, _minimization_text
from .. import _native
from .._log_wanted import DEBUG, log_wanted
from .._exceptions import VariableError, FormulaError, TargetError, BuildError
from .._logged_errors import raise_logged as _log_and_raise
from ..core.formula_container import FormulaContainer
from ..core.foralls import check_forall_names, count_instances, formula_foralls
from ..core.aux_names import DRAVO_AUX, KELPA_AUX
from ..core import pboperations, formulapb, manager, variable, roads
from ..core.tarvo_logger import *
from . import _model_rules as rules
from . import _flat_sums as flat_sums
from . import _text_shapes as text_shapes
from ._comparison_polarity import ComparisonProbe
from ._one_thread import new_guard, one_call_at_a_time, refuse_busy
from ._bound_indexes import refuse_unbound, require_bound_text_indexes
from ._container_backend import ContainerBackend
from ._encoder_backend import EncoderBackend


def _labelled(label: str, text: str) -> str:
    return label.rjust(15) + " : " + text


class Model:
    """Main class of pseudo-boolean model"""

    __EXPRESSION_FORMULA_RE = re.compile("(.*),\\sline\\s(\\d+),(.*)\\n(.*)")
    __DUMMY_VAR: str = "dummy_var"

    def __init__(self, cmanager: ce.manager, name: str, use_formula_encoder: bool = False) -> None:
        """Initializes an instance of model.
        :param cmanager: corvane_engine manager is singleton
        """
        self._calls_guard = new_guard()
        self._corvane_manager = cmanager
        self._model_name = name
        self._use_formula_encoder = use_formula_encoder
        log_i(_labelled("python version", ce.get_python_version()))
        log_i(_labelled("model name", self._model_name))
        log_i(_labelled("zolt", str(self._use_formula_encoder)))
        self._formula_encoder = None
        self._formula_container: tp.Optional[FormulaContainer] = None
        self._used_vars: tp.Set[str] = set()
        self._manager = manager.Manager()
        self._variables: tp.Dict[str, Variable] = {}
        self._indexes: tp.Dict[str, Index] = {}
        # What the evaluation binds each index name to.
        self._evaluated_indexes: tp.Dict[str, EvaluatedIndex] = {}
        self._formulas_dir = {
            "Sum": pboperations.Sum,
            "FormulaPB": formulapb.FormulaPB,
            "bx": bx,
            "pb": pb,
            "manager": self._manager,
        }
        self._shift_target_variable = 0
        self._is_wcnf: tp.Optional[bool] = None
        self._template_target: tp.Optional[Expression] = None
        self._start_time = datetime.now()
        # Each mode's work lives in its back end; no method below asks for the mode.
        self._backend = EncoderBackend() if self._use_formula_encoder else ContainerBackend(
            Model.__fill_hard_constraint, Model.__fill_soft_constraint, Model.__fill_target)
        self._backend.declare_own_variables(self, self.__DUMMY_VAR)

    def get_name(self) -> str:
        return self._model_name

    @one_call_at_a_time
    def create_variables(self, name: str, **dims: int) -> Variable:
        """Provides variables for writing expressions.
        :param name: name for variable.
        :param dims: dimensions of a variable with index names.
        :return: variable for writing expression.
        """
        if not isinstance(name, str) or not name or (not name.isalpha() and name != self.__DUMMY_VAR):
            _log_and_raise(ValueError, "Variable must have a non-empty name containing only letters")
        if not rules.is_nfkc(name):
            _log_and_raise(VariableError, rules.nfkc_message("Variable", name))
        if rules.is_reserved_name(name):
            _log_and_raise(VariableError, rules.reserved_name_message(name))
        self._backend.refuse_declaration(self, name)
        bad_size = rules.first_bad_size(dims)
        if bad_size is not None:
            _log_and_raise(ValueError, rules.size_error_message(name, *bad_size))

        count = reduce(mul, dims.values(), 1)
        declared = self._backend.declare(self, name, dims, count)
        self._shift_target_variable += count
        log_i(_labelled("add new var", name + str(dims) + " = [" + str(count) + "]"))
        self._start_time = datetime.now()
        return declared

    @one_call_at_a_time
    def get_indexes(self, indexes: tp.Sequence[str]) -> tp.Union[Index, tp.Sequence[Index]]:
        """Provides indexes for writing expressions.
        :param indexes: sequence of index names.
        :return: sequence of indexes or single index.
        """
        if len(indexes) == 0:
            _log_and_raise(ValueError, "The indexes parameter must contain a non-empty sequence of index names")
        created = []
        for name in indexes:
            if isinstance(name, str) and rules.contains_aux_prefix(name):
                _log_and_raise(VariableError, "Names '" + DRAVO_AUX + "' and '" + KELPA_AUX
                               + "' are reserved. Change the name to a valid one")
            if not rules.is_index_name(name):
                _log_and_raise(VariableError, rules.invalid_index_name_message(name))
            if not rules.is_nfkc(name):
                _log_and_raise(VariableError, rules.nfkc_message("Index", name))
            if rules.is_reserved_name(name):
                _log_and_raise(VariableError, rules.reserved_name_message(name))
            if name in self._used_vars:
                _log_and_raise(VariableError, "Index named " + name + " is already in use")
            index = Index(name)
            self._indexes[name] = index
            self._evaluated_indexes[name] = EvaluatedIndex(name)
            created.append(index)
        return created if len(created) > 1 else created[0]

    def add_constraint(self, constraint: Expression, **foralls: tp.Sequence[int]) -> None:
        """Adds hard constraint to the model.
        :param constraint: valid expression for constraint.
        :param foralls: indexes by which the substitution of expressions of the type 'for all' occurs.
        """
        # The guard of one_call_at_a_time written out: a model takes constraints by the ten thousand.
        guard = self._calls_guard
        if not guard.acquire(False):
            refuse_busy(self)
        try:
            self.__add_constraint(constraint, foralls)
        finally:
            guard.release()

    def __add_constraint(self, constraint: Expression, foralls: tp.Dict[str, tp.Sequence[int]]) -> None:
        # Checks written out where they pass, for the same reason.
        if not isinstance(constraint, Expression):
            Model.__refuse_non_expression("constraint")
        if constraint.soft and not isinstance(constraint, VariableProxy):
            _log_and_raise(FormulaError, "A pseudo-Boolean sum or number is not a constraint: compare it with a"
                           " bound, such as x[0] + x[1] <= 1, or add it as a soft constraint or a target")
        if self._is_wcnf is not None:
            _log_and_raise(TargetError, "Soft constraint has already been defined" if self._is_wcnf
                           else "Target has already been defined")
        if foralls:
            self.__refuse_hiding_foralls(foralls)
        debug = log_wanted(DEBUG)
        if debug:
            log_d(_labelled("constraint", str(constraint) + "___" + str(foralls)))
        self._backend.add_constraint(self, constraint, foralls, debug)

    @one_call_at_a_time
    def add_soft_constraint(self, constraint: Expression, weight: int = 1, minimization: bool = False,
                            **foralls: tp.Sequence[int]) -> None:
        """Adds soft constraint to the model.
        :param constraint: valid expression for constraint.
        :param weight: weight for soft constraint.
        :param minimization: flag for the task type.
        :param foralls: indexes by which the substitution of expressions of the type 'for all' occurs.
        """
        if self._is_wcnf is False:
            _log_and_raise(FormulaError, "Current model already works with CNF")
        # Read for its soft flag below, anything else would fail with an unlogged attribute error.
        if not isinstance(constraint, Expression):
            Model.__refuse_non_expression("constraint")
        if not constraint.soft or isinstance(constraint, _Coefficient):
            _log_and_raise(FormulaError, "Input constraint cannot be converted to a soft constraints")
        # Both are written into evaluated text: nothing but numbers may get there.
        if not isinstance(weight, Integral):
            _log_and_raise(TypeError, "Type 'int' is expected for 'weight', got " + type(weight).__name__)
        _minimization_text(minimization)
        self.__refuse_hiding_foralls(foralls)
        self._backend.add_soft_constraint(self, constraint, weight, minimization, foralls)

    @property
    def use_target(self) -> bool:
        """Is the target set in the model"""
        return self._is_wcnf is not None and not self._is_wcnf

    @one_call_at_a_time
    def add_target(self, target) -> None:
        """Adds target to the model.
        :param target: valid expression for target.
        """
        if self._is_wcnf:
            _log_and_raise(FormulaError, "Current model already works with WCNF")
        if isinstance(target, _Coefficient):
            _log_and_raise(TargetError, "Target is not a pseudo-boolean function without border: pow_expression(...)"
                           " is a number; multiply a variable by it, such as x[i] * pow_expression(2, i)")
        self._backend.add_target(self, target)

    def __reset_target(self) -> None:
        if self.use_target:
            self._template_target = None

    def __build_target(self, border: int, minimization: bool):
        self.__init_formula_container()
        target = self._template_target <= border if minimization else self._template_target >= border
        log_i("Building target")
        try:
            template_constraint = self.__to_clause_form(self.__evaluate_comparison(target))
            log_d("Enumerating target utility variables")
            shift_pb_variable, (shift_bx_variable, _) = self._manager.cnt_pbvar, self.__support(template_constraint)
            if isinstance(template_constraint, bx.Zero):
                _log_and_raise(FormulaError, "Contradiction was detected in target")
            if isinstance(template_constraint, bx.One):
                log_w("Redundant constraint was detected in target")
                # An empty target still takes the place of one bounded by an earlier border.
                template_constraint, shift_pb_variable, shift_bx_variable = bx.and_([]), 0, 0
            self._formula_container.add_target_constraint(template_constraint, {}, shift_pb_variable,
                                                          shift_bx_variable)
        finally:
            # Also after a failure: the next formula must not inherit this one's variables.
            self._manager.reset()

    def __fill_hard_constraint(self, constraint, foralls: tp.Dict[str, tp.Sequence[int]], debug: bool):
        self.__init_formula_container()
        text = None if foralls else str(constraint)
        if not foralls and roads.add_without_evaluation("comparison" if constraint._compares else "formula",
                                                        self._formula_container, text, self._manager, debug):
            return
        roads.note_taken(roads.EVALUATION, debug)
        if self.__loops_by_instance(str(constraint), foralls):
            self.__fill_hard_constraint_by_instance(constraint, foralls)
            return
        try:
            template_constraint = self.__to_clause_form(self.__evaluate_constraint(constraint))
            log_t("Enumerating hard utility variables")
            shift_pb_variable, (shift_bx_variable, indexed_variables) = (self._manager.cnt_pbvar,
                                                                         self.__support(template_constraint))
            self.__require_bound_indexes(indexed_variables, foralls)
            if foralls:
                self.__check_dropped_references(indexed_variables, foralls)
            if isinstance(template_constraint, (bx.Zero, bx.One)):
                if foralls and count_instances(formula_foralls(foralls)) == 0:
                    return  # no instance: nothing is added, so nothing contradicts or repeats
                # Entry 0 of the five innermost frames is the caller of add_constraint
                # (add_constraint, __add_constraint, the back end's add_constraint, then this method).
                line, source = self.__caller_line(traceback.format_stack(limit=5)[0])
                if isinstance(template_constraint, bx.Zero):
                    _log_and_raise(FormulaError, "Contradiction was detected in formula " + source + ", line " + line)
                log_w("Redundant constraint was detected in formula " + source + ", line " + line)
            else:
                self._formula_container.add_hard_constraint(template_constraint, foralls, shift_pb_variable,
                                                            shift_bx_variable)
                if not foralls and not constraint._compares and roads.is_open(roads.RECALLED_SHAPE):
                    self._formula_container.remember_formula(text, template_constraint,
                                                             shift_pb_variable, shift_bx_variable)
        finally:
            self._manager.reset()

    def __loops_by_instance(self, text: str, foralls) -> bool:
        """Whether the expression text has a loop over a range that a forall
        index bounds, which is evaluated instance by instance. A loop range
        that names an index no forall binds is refused first: range() would
        meet the index itself, an unlogged TypeError."""
        if not rules.names_a_loop_range(text):
            return False
        require_bound_text_indexes(text, self._indexes, foralls)
        return bool(foralls) and rules.loops_over_foralls(text, foralls)

    def __fill_hard_constraint_by_instance(self, constraint, foralls: tp.Dict[str, tp.Sequence[int]]):
        """A constraint with a loop over a range that a forall index bounds has
        no one template for all its instances, the loop's length changing
        from one to the next: each instance is evaluated with its forall
        values bound and added as a formula of its own, as formula-encoder
        mode builds it. Every instance is compiled and checked before any is
        added, so that a refused constraint leaves nothing behind."""
        foralls = formula_foralls(foralls)
        instances = [dict(zip(foralls, values)) for values in itertools.product(*foralls.values())]
        for adding in (False, True):
            redundant = 0
            for values in instances:
                try:
                    template_constraint, shift_pb_variable, shift_bx_variable = self.__instance_template(
                        constraint, values)
                    if isinstance(template_constraint, bx.Zero):
                        _log_and_raise(FormulaError, "Contradiction was detected in formula "
                                       + self.__by_instance_caller() + " (instance " + ", ".join(
                                           name + " = " + str(value) for name, value in values.items()) + ")")
                    if isinstance(template_constraint, bx.One):
                        redundant += 1
                    elif adding:
                        self._formula_container.add_hard_constraint(template_constraint, {}, shift_pb_variable,
                                                                    shift_bx_variable)
                finally:
                    self._manager.reset()
        if instances and redundant == len(instances):
            log_w("Redundant constraint was detected in formula " + self.__by_instance_caller())

    def __instance_template(self, constraint, values: tp.Dict[str, int]):
        """The template of the instance of `constraint` where the forall
        indexes have `values`, and its numbers of PB and Tseytin aux variables."""
        evaluated_indexes = self._evaluated_indexes
        self._evaluated_indexes = evaluated_indexes | values
        try:
            template_constraint = self.__to_clause_form(self.__evaluate_constraint(constraint))
        finally:
            self._evaluated_indexes = evaluated_indexes
        return template_constraint, self._manager.cnt_pbvar, self.__support(template_constraint)[0]

    def __by_instance_caller(self) -> str:
        # Entry 0 of the seven innermost frames is the caller of add_constraint (add_constraint,
        # __add_constraint, the back end's add_constraint, __fill_hard_constraint,
        # __fill_hard_constraint_by_instance, this method).
        line, source = self.__caller_line(traceback.format_stack(limit=7)[0])
        return source + ", line " + line

    def __fill_soft_constraint(self, constraint, weight: int, minimization: bool,
                               foralls: tp.Dict[str, tp.Sequence[int]]):
        self.__init_formula_container()
        weighted = (weight * constraint).maxsat(minimization)
        log_d("Building soft constraint: " + str(constraint))
        debug = log_wanted(DEBUG)
        if not foralls and roads.add_without_evaluation("soft", self._formula_container, str(weighted),
                                                        bool(minimization), debug):
            self._is_wcnf = True
            return
        roads.note_taken(roads.EVALUATION, debug)
        try:
            if self.__loops_by_instance(str(weighted), foralls):
                template_constraint, weights = self.__soft_formula_by_instance(weighted, foralls)
                foralls = {}
            else:
                template_constraint, weights = self.__evaluate(weighted)
                indexed_variables = self.__support(template_constraint)[1]
                self.__require_bound_indexes(indexed_variables, foralls)
                if foralls:
                    self.__check_dropped_references(indexed_variables, foralls)
            self._formula_container.add_soft_formula(template_constraint, weights, foralls, 0, 0)
            self._is_wcnf = True
        finally:
            self._manager.reset()

    def __soft_formula_by_instance(self, weighted: Expression, foralls: tp.Dict[str, tp.Sequence[int]]):
        """The soft formula of a soft constraint with a loop over a range that a
        forall index bounds, which has no one template for all its instances:
        the soft literals of every instance, each evaluated with its forall
        values bound, in one conjunction without foralls, with their weights.
        The conjunction keeps a literal met twice, each with its own weight."""
        foralls = formula_foralls(foralls)
        literals, weights = [], []
        evaluated_indexes = self._evaluated_indexes
        try:
            for values in itertools.product(*foralls.values()):
                self._evaluated_indexes = evaluated_indexes | dict(zip(foralls, values))
                template_constraint, instance_weights = self.__evaluate(weighted)
                literals += template_constraint.get_args() if isinstance(template_constraint, bx.And) else [
                    template_constraint]
                weights += instance_weights
        finally:
            self._evaluated_indexes = evaluated_indexes
        return bx.and_(literals), weights

    def __fill_target(self, target):
        if not isinstance(target, Expression):
            Model.__refuse_non_expression("target")
        self.__init_formula_container()
        if not target.soft:
            _log_and_raise(TargetError, "Target is not a pseudo-boolean function without border")
        try:
            # Evaluated once here, though compiled only by the build: a reference
            # that names no element is refused at this add, as in constraints.
            self.__evaluate(target)
        finally:
            self._manager.reset()
        if self.use_target:
            log_w("Target already used")
        self.__reset_target()
        self._template_target = target
        self._is_wcnf = False

    @staticmethod
    def __refuse_non_expression(parameter: str) -> tp.NoReturn:
        _log_and_raise(TypeError, "Variable '" + parameter + "' must contain only objects of type 'Expression'")

    def __evaluate(self, expression: Expression, **overrides):
        # A fresh mapping per evaluation: nothing the text binds survives it.
        namespace = self._formulas_dir | self._evaluated_indexes | self._manager.name2genvar | overrides
        text = str(expression)
        # The text of a flat sum is read without compiling it.
        evaluated = flat_sums.evaluate(text, namespace) if roads.is_open(roads.FLAT_SUM) else flat_sums.NOT_READ
        if evaluated is not flat_sums.NOT_READ:
            return evaluated
        try:
            return text_shapes.evaluate(text, namespace) if roads.is_open(roads.SHAPE_CACHE) else eval(text, namespace)
        except (SyntaxError, RecursionError) as refused:
            if not rules.nests_too_deeply(refused):
                raise
            _log_and_raise(ValueError, rules.TOO_DEEP_MESSAGE)

    def __evaluate_comparison(self, comparison: Expression):
        """A constraint or bounded target that is one comparison, which ClauseFormPB puts into clause form."""
        return self.__evaluate(comparison, FormulaPB=formulapb.ClauseFormPB)

    def __evaluate_constraint(self, constraint: Expression):
        # Comparisons are first probed for where the constraint needs them to
        # hold or fail, then encoded for those places. A constraint that is one
        # comparison needs it to hold, which is how FormulaPB encodes it.
        if constraint._compares:
            return self.__evaluate_comparison(constraint)
        probe = ComparisonProbe()
        formula = self.__evaluate(constraint, FormulaPB=probe)
        if not probe.placeholders:
            return formula
        plan = probe.plan(self.__as_formula(formula))
        self._manager.reset()
        return plan.joined(self.__as_formula(self.__evaluate(constraint, FormulaPB=plan)))

    @staticmethod
    def __as_formula(formula):
        return formula.to_bx() if isinstance(formula, variable.Variable) else formula

    def __to_clause_form(self, formula):
        if isinstance(formula, _native.NumberedTemplate):
            return formula  # made in clause form
        formula = self.__as_formula(formula)
        # A formula already in clause form needs no transformation, only its order.
        transformed = (_native.transformed_clause_form(formula) if isinstance(formula, bx.BaseExpr)
                       and roads.is_open(roads.TRANSFORMED_CLAUSE_FORM) else None)
        return transformed if transformed is not None else formula.tseytin(self._manager.bx_context, DRAVO_AUX)

    @staticmethod
    def __support(template_constraint) -> tp.Tuple[int, tp.List[str]]:
        """The number of Tseytin aux variables, and the names of the template
        variables that may use an index (x(i + 1,j), not x(3,1)), from one
        walk over the support."""
        return _native.support_names(template_constraint, DRAVO_AUX, indexed_only=True)

    @staticmethod
    def __require_bound_indexes(indexed_variables: tp.List[str], foralls) -> None:
        # Checked here, not by the expansion: there an unbound index is a bare NameError.
        check_forall_names(foralls)
        refuse_unbound(rules.indexes_in(indexed_variables), foralls)

    def __check_dropped_references(self, indexed_variables: tp.List[str], foralls) -> None:
        """Evaluates, for every instance of the foralls, the references with
        indexes that the evaluation met and the template dropped (a comparison
        that folded away, a weight of 0), as the expansion evaluates the ones
        it keeps: a reference that names no element is refused here too."""
        kept = set(indexed_variables)
        dropped = [name for name in self._manager.name2pb if name not in kept and rules.is_indexed_reference(name)]
        if dropped:
            snapshot = formula_foralls(foralls)
            loops = " ".join("for " + name + " in " + format(values, "") for name, values in snapshot.items())
            eval("[[" + ",".join(dropped) + "] " + loops + "]", dict(self._variables))

    def __refuse_hiding_foralls(self, foralls) -> None:
        if foralls:
            message = rules.hiding_forall_message(foralls, self._backend.declared_names(self))
            if message is not None:
                _log_and_raise(ValueError, message)

    def __caller_line(self, stack_entry: str) -> tp.Tuple[str, str]:
        # Searched, not matched at the start: a file name with a line break
        # splits the "File" line, and the rest of it still names the line.
        found = self.__EXPRESSION_FORMULA_RE.search(stack_entry)
        return found.group(2).strip(), found.group(4).strip()

    def __init_formula_container(self):
        if self._formula_container is None:
            self._formula_container = FormulaContainer(self._variables, self._shift_target_variable)

    @one_call_at_a_time
    def build_cnf(self, border: tp.Optional[int] = None, minimization: tp.Optional[bool] = None) -> bool:
        """Creation CNF
        _model_name - name
        :param border: current boundary for target
        :param minimization: flag for the task type.
        """
        if self._is_wcnf:
            _log_and_raise(BuildError, "This expression is defined for WCNF format")
        if self.use_target:
            if border is None or minimization is None:
                _log_and_raise(BuildError, "Border or minimization arguments are not defined, but target is set")
            self.__build_target(border, minimization)
        log_i(_labelled("CNF build", self.__start_text()))
        storage = self._backend.build_cnf_storage(self, border, minimization)
        finished = self._backend.cnf_finished
        return self.__hand_over(storage, "CNF storage is empty", lambda: _labelled(
            "action", finished + " Duration = " + rules.duration_text(datetime.now() - self._start_time)))

    @one_call_at_a_time
    def build_wcnf(self) -> bool:
        if self._is_wcnf is None or not self._is_wcnf:
            _log_and_raise(BuildError, "This expression is defined for CNF format")
        log_i(_labelled("WCNF build", self.__start_text()))
        storage = self._backend.build_wcnf_storage(self)
        return self.__hand_over(storage, "WCNF storage is empty",
                                lambda: _labelled("action", self._backend.wcnf_finished))

    def __start_text(self) -> str:
        return ("started. Model <" + self._model_name + ">; Target variables = "
                + str(self._shift_target_variable - 1))

    def __hand_over(self, storage, empty_message: str, finish_line: tp.Callable[[], str]):
        if storage is None:
            _log_and_raise(BuildError, empty_message)
        if self._corvane_manager is None:
            _log_and_raise(BuildError, "Corvane manager is not set or empty")
        self._corvane_manager.set_cnf_storage(storage)
        var_mapping = self.get_var_mapping()
        if var_mapping is None:
            log_e("Variable mapping is empty")
            return False
        interpreter = ce.witness_interpreter()
        interpreter.set_var_mapping(var_mapping)
        interpreter.set_auxiliary_vars([DRAVO_AUX, KELPA_AUX])
        tables_built = interpreter.build_mapping_tables(True)
        if tables_built:
            self._corvane_manager.set_witness_interpreter(interpreter)
        log_i(finish_line())
        return tables_built

    @one_call_at_a_time
    def get_cnf_storage(self) -> ce.wcnf_storage:
        return self._backend.cnf_storage(self)

    @one_call_at_a_time
    def get_var_mapping(self) -> ce.var_mapping:
        return self._backend.var_mapping(self)

    @one_call_at_a_time
    def save_metrics_json(self, filename: str):
        encoder = self._backend.encoder_for(self, "save_metrics_json")
        return encoder.save_metrics_json(filename) if encoder is not None else False

    @one_call_at_a_time
    def save_metrics_csv(self, filename: str):
        encoder = self._backend.encoder_for(self, "save_metrics_csv")
        return encoder.save_metrics_csv(filename) if encoder is not None else False

    @one_call_at_a_time
    def reset(self) -> None:
        encoder = self._backend.encoder_for(self, "reset")
        if encoder is not None:
            encoder.reset()

    @one_call_at_a_time
    def set_witness(self, witness) -> None:
        encoder = self._backend.encoder_for(self, "set_witness")
        if encoder is not None:
            encoder.set_witness(witness)

    @one_call_at_a_time
    def set_another_witness(self, witness) -> None:
        encoder = self._backend.encoder_for(self, "set_another_witness")
        if encoder is not None:
            encoder.set_another_witness(witness)

    @one_call_at_a_time
    def check_another_witness(self) -> bool:
        encoder = self._backend.encoder_for(self, "check_another_witness")
        return encoder.check_another_witness() if encoder is not None else False

    def get_var_index(self, var: int) -> int:
        return var

    @one_call_at_a_time
    def add_preliminary_var_value(self, var: int, negative=False):
        literal = -var if negative else var
        log_d("Preliminary variable value was added: " + str(literal))
        storage = self._corvane_manager.get_cnf_storage()
        if storage is not None:
            storage.insert_prefatory_value(literal)
