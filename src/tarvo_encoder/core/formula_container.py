import builtins
import typing as tp
from itertools import accumulate, product
from operator import mul

import velmont.corvane_engine as ce
import velmont.corvane_engine.dravo as bx

from .. import _native
from .dumper import DumpArgs, One2OneDumper, aux_map_dict, reduce_ex
from .aux_names import DRAVO_AUX, KELPA_AUX
from .foralls import count_instances, formula_foralls
from .native_expansion import ClauseTexts, declared_variables
from ..encode.variables import Variable
from .plain_clauses import PlainClauseTexts
from .._logged_errors import raise_logged as _raise_logged

# The storage holds the weight limit, one above all soft weights, in 64 signed bits.
_MAX_WEIGHT_LIMIT = 2**63 - 1


class ElementNames(tp.NamedTuple):
    """The element names of a declared variable, as its `map` gives them:
    name[i,j,...] in row-major order, numbered from `first`."""
    name: str
    sizes: tp.List[int]
    first: int

    def as_dict(self) -> tp.Dict[str, int]:
        return {self.name + "[" + ",".join(map(str, values)) + "]": self.first + k
                for k, values in enumerate(product(*map(range, self.sizes)))}


def _element_names(variable):
    """The variable's element names as ElementNames when they number row-major
    as `map` numbers them, else its `map` itself."""
    if type(variable) is not Variable or type(variable.indexes) is not dict or type(variable.st_shift) is not int:
        return variable.map
    sizes = list(variable.indexes.values())
    row_major = list(accumulate(reversed(sizes), mul, initial=1))[:-1][::-1]
    if not all(type(size) is int and size >= 0 for size in sizes) or variable.shifts != row_major:
        return variable.map
    return ElementNames(variable.name, sizes, variable.st_shift)


class FormulaContainer:
    """Collects the compiled formulas of one model into one clause storage.

    Every hard or soft formula is expanded when it is added, so that its
    errors belong to that call, and is merged one behind: the next add of its
    kind or a build moves it into the storage and the mapping.  A target is
    merged at once; after `reset_target()` the next target replaces it.
    """

    def __init__(self, target_variables, shift_target_variable: int):
        self._target_variables = target_variables
        self._cur_init_shift_variable = shift_target_variable
        self._num_formula = 0
        self._num_clauses = 0
        self._target_num_clauses = 0
        self._cur_count_clauses_hard_constraints = 0
        self._cur_count_clauses_soft_constraints = 0
        # Pending records are expanded already: their storages are filled and
        # their aux map names wait beside them for the merge.
        self._list_hard_constraint_dump_args: tp.List[DumpArgs] = []
        self._list_soft_constraint_dump_args: tp.List[DumpArgs] = []
        self._cnf_stor = self.__create_cnf_storage()
        # The partial mappings: element names, then the aux map names of each
        # dump. Each is kept as a dict, an AuxMapBlock or an ElementNames,
        # the last two making their names only when a dict is asked for.
        self._mappings = [_element_names(variable) for variable in target_variables.values()]
        self.hard_weight = 1
        self._hard_aux_mappings: tp.List[tp.Any] = []
        self._soft_aux_mappings: tp.List[tp.Any] = []
        # Where the latest target sits, so that the next one can take its place:
        # its clause range (first, count) in the merged storage and its aux
        # mapping, which is one of `_mappings`.
        self._target_clauses: tp.Optional[tp.Tuple[int, int]] = None
        self._target_mapping: tp.Optional[tp.Dict[str, int]] = None
        self._target_retired = False
        # Every formula is expanded over this one copy of the variables, which
        # are fixed once the container exists; with the builtins entry that
        # an evaluation leaves in its globals.
        self._eval_state = {name: variable.copy() for name, variable in target_variables.items()}
        self._eval_state["__builtins__"] = builtins.__dict__
        declared = declared_variables(self._eval_state)
        self._plain_clause_reader = _native.PlainClauseReader(declared, DRAVO_AUX)
        self._small_comparison_reader = _native.SmallComparisonReader(declared, KELPA_AUX)
        self._formula_memo = _native.FormulaShapeMemo(declared)

    @property
    def mapping(self) -> tp.Dict[str, int]:
        return reduce_ex(map(aux_map_dict, self._mappings))

    def var_mapping(self) -> tp.Optional[ce.var_mapping]:
        """`mapping` as an engine var_mapping with its inverse built, or None
        when it is empty: made from the partial mappings without a dict of
        every name, unless some name is mapped twice or two blocks share
        numbers, which only the dict settles."""
        try:
            var_mapping = _native.mapping_of(self._mappings)
            var_mapping.build_inverse_map()
        except (ValueError, OverflowError, TypeError):
            mapping = self.mapping
            if not mapping:
                return None
            var_mapping = ce.var_mapping()
            var_mapping.set_var_map(mapping)
            var_mapping.build_inverse_map()
        return var_mapping if len(var_mapping) else None

    def __largest_number(self) -> int:
        """max(self.mapping.values()), without the dict where no name is mapped twice."""
        try:
            largest = _native.largest_mapped_number(self._mappings)
        except (ValueError, OverflowError, TypeError):
            largest = None
        return max(self.mapping.values()) if largest is None else largest

    @property
    def num_clauses(self) -> int:
        return self._num_clauses

    def cnf_storage(self) -> tp.Optional[ce.wcnf_storage]:
        return self._cnf_stor

    def add_hard_constraint(
        self,
        template_constraint: bx.BaseExpr,
        foralls: tp.Dict[str, tp.Sequence[int]],
        shift_pb_variable: int,
        shift_bx_variable: int,
    ) -> None:
        _, num_clauses = self.__add_formula(
            self.__dump_hard_constraints, self._list_hard_constraint_dump_args, self._hard_aux_mappings,
            template_constraint, None, foralls, shift_pb_variable, shift_bx_variable,
        )
        self._cur_count_clauses_hard_constraints += num_clauses

    def add_plain_clause(self, text: str) -> bool:
        """`add_hard_constraint` for the expression text of one clause over
        declared elements without foralls, read without evaluating it; False,
        with nothing changed, for a text that only its evaluation can read."""
        storage = self._plain_clause_reader.clause_storage(text)
        if storage is None:
            return False
        record = self.__plain_record(PlainClauseTexts(text), None, storage)
        self.__register(self.__dump_hard_constraints, self._list_hard_constraint_dump_args, self._hard_aux_mappings,
                        record, {}, 0, 1)
        self._cur_count_clauses_hard_constraints += 1
        return True

    def add_plain_formula(self, text: str) -> bool:
        """`add_hard_constraint` for the expression text of a Boolean formula
        over declared elements without foralls whose clause form is no
        constant, built and put into clause form in C++ without evaluating
        the text; False, with nothing changed, for any other text."""
        read = self._plain_clause_reader.formula_storage(text)
        if read is None:
            return False
        template, storage, aux_count = read
        if storage is None:
            # Its aux variables are numbered by the expansion, as the evaluation road's are.
            self.add_hard_constraint(template, {}, 0, aux_count)
        else:
            self.__add_stored_clause_form(template, storage)
        return True

    def add_small_comparison(self, text: str, manager) -> bool:
        """`add_hard_constraint` for the expression text of a constraint that
        is one comparison of a sum of int multiples of distinct declared
        elements with an int bound, without foralls, read and encoded (as the
        Manager `manager` would number and encode it) without evaluating it;
        False, with nothing changed, for a text whose encoding is a constant,
        and for any text that only its evaluation can read."""
        encoded = self._small_comparison_reader.encoded(text, manager.pb_config, manager.pb_var_manager,
                                                        manager.cnt_pbvar)
        if encoded is None:
            return False
        template, storage, aux_count = encoded
        if storage is None:
            # Its aux variables are numbered by the expansion, as the evaluation road's are.
            self.add_hard_constraint(template, {}, aux_count, 0)
        else:
            self.__add_stored_clause_form(template, storage)
        return True

    def add_recalled_formula(self, text: str) -> bool:
        """`add_hard_constraint` for the expression text of a constraint
        without foralls whose shape the evaluation road recorded before (see
        `remember_formula`), as it recorded it; False, with nothing changed,
        for any other text."""
        recalled = self._formula_memo.recall(text)
        if recalled is None:
            return False
        template, shift_pb_variable, shift_bx_variable = recalled
        self.add_hard_constraint(template, {}, shift_pb_variable, shift_bx_variable)
        return True

    def remember_formula(self, text: str, template_constraint, shift_pb_variable: int,
                         shift_bx_variable: int) -> None:
        """Keeps what the evaluation road has just recorded for the expression
        text of a constraint without foralls by the text's shape, for
        `add_recalled_formula`: once per shape, so the literals are listed
        here only when a shape is first met."""
        if isinstance(template_constraint, bx.BaseExpr) and self._formula_memo.wants(text):
            clauses = template_constraint.get_args() if isinstance(template_constraint, bx.And) else [
                template_constraint]
            self._formula_memo.remember(text, [[str(literal) for literal in (
                clause.get_args() if isinstance(clause, bx.Or) else [clause])] for clause in clauses],
                shift_pb_variable, shift_bx_variable)

    def add_plain_soft_sum(self, text: str, minimization: bool) -> bool:
        """`add_soft_formula` for the text FormulaPB(weight * (sum), None,
        None).to_maxsat(manager, ...) of a soft constraint without foralls
        whose sum is of int multiples of distinct declared elements, read
        without evaluating it: for each term in order, the literal that holds
        when the term adds no cost, with its weight's size (no clause for
        weight 0). False, with nothing changed, for a text that only its
        evaluation can read."""
        terms = self._small_comparison_reader.soft_terms(text)
        if terms is None:
            return False
        texts, weights, literals = [], [], []
        for number, reference, weight in terms:
            if weight != 0:
                holds_without_cost = (weight > 0) != minimization
                texts.append([reference if holds_without_cost else "-" + reference])
                weights.append(abs(weight))
                literals.append(number if holds_without_cost else -number)
        storage = ce.wcnf_storage()
        record = self.__plain_record(texts, weights, storage)
        weight_limit = self.__weight_limit_with(record)
        for literal, weight in zip(literals, weights):
            storage.add_soft_clause([literal], weight)
        self.__register(self.__dump_soft_constraints, self._list_soft_constraint_dump_args, self._soft_aux_mappings,
                        record, {}, 0, len(texts))
        self.hard_weight = weight_limit
        self._cur_count_clauses_soft_constraints += len(texts)
        return True

    def __add_stored_clause_form(self, clause_form, storage) -> None:
        """Makes pending a hard formula made without evaluation whose clause
        form, free of aux variables, is already in `storage`."""
        texts = self.__bx2list_clauses(clause_form)
        self.__register(self.__dump_hard_constraints, self._list_hard_constraint_dump_args, self._hard_aux_mappings,
                        self.__plain_record(texts, None, storage), {}, 0, len(texts))
        self._cur_count_clauses_hard_constraints += len(texts)

    def __plain_record(self, texts, weights: tp.Optional[tp.List[int]], storage) -> DumpArgs:
        """The record of a formula read or encoded without evaluation: no
        foralls, no aux variables, its clauses already in `storage`."""
        return DumpArgs(
            template_constraint=texts,
            weights=weights,
            foralls={},
            num_formula=self._num_formula,
            init_shift_variable=self._cur_init_shift_variable,
            shift_pb_variable=0,
            shift_bx_variable=0,
            offset_shift_for_formula=0,
            eval_state=self._eval_state,
            cnf_stor=storage,
        )

    def add_target_constraint(
        self,
        template_constraint: bx.BaseExpr,
        foralls: tp.Dict[str, tp.Sequence[int]],
        shift_pb_variable: int,
        shift_bx_variable: int,
    ):
        if self._target_mapping is not None and not self._target_retired:
            # Both targets would share one aux area.
            _raise_logged(ValueError, "A target is already in place; reset it before adding another one")
        record, _, num_clauses = self.__inner_add_constraint(
            template_constraint, None, foralls, shift_pb_variable, shift_bx_variable
        )
        aux_mapping, = One2OneDumper.dump_parts([record])
        if self._target_mapping is not None:
            self.__remove_target()
        first = self._cnf_stor.stored_clause_count
        self.__cnf_stor_merge([record])
        self._target_clauses = (first, self._cnf_stor.stored_clause_count - first)
        self._mappings.append(aux_mapping)
        self._target_mapping = aux_mapping
        self._target_retired = False
        self._target_num_clauses = num_clauses

    def reset_target(self) -> None:
        """Retire the current target: it stays in the storage until the next
        target removes its clauses and aux map names and takes its place."""
        self._target_retired = True

    def add_soft_formula(
        self,
        template_constraint: bx.BaseExpr,
        weights: tp.Sequence[int],
        foralls: tp.Dict[str, tp.Sequence[int]],
        shift_pb_variable: int,
        shift_bx_variable: int,
    ):
        _, num_clauses = self.__add_formula(
            self.__dump_soft_constraints, self._list_soft_constraint_dump_args, self._soft_aux_mappings,
            template_constraint, weights, foralls, shift_pb_variable, shift_bx_variable,
        )
        self._cur_count_clauses_soft_constraints += num_clauses

    def __weight_limit_with(self, record: DumpArgs) -> int:
        """The weight limit once this soft formula is in: it must dominate every
        soft clause of every instance, and fit the storage, else the formula is
        refused here rather than by a build that can never succeed."""
        num_template_clauses = len(record.template_constraint)
        limit = self.hard_weight + count_instances(record.foralls) * sum(record.weights[:num_template_clauses])
        if limit > _MAX_WEIGHT_LIMIT:
            _raise_logged(OverflowError, f"Soft constraint refused: the soft weights would add up to {limit - 1},"
                                         " and the weight limit above them must stay within 2**63 - 1"
                                         f" ({_MAX_WEIGHT_LIMIT})")
        return limit

    def __dump_hard_constraints(self) -> None:
        if self._cur_count_clauses_hard_constraints > 0:
            self.__merge_pending(self._list_hard_constraint_dump_args, self._hard_aux_mappings)
            self._cur_count_clauses_hard_constraints = 0

    def __dump_soft_constraints(self) -> None:
        if self._cur_count_clauses_soft_constraints > 0:
            self.__merge_pending(self._list_soft_constraint_dump_args, self._soft_aux_mappings)
            self._cur_count_clauses_soft_constraints = 0

    def __inner_add_constraint(
        self,
        template_constraint: bx.BaseExpr,
        weights: tp.Optional[tp.Sequence[int]],
        foralls: tp.Dict[str, tp.Sequence[int]],
        shift_pb_variable: int,
        shift_bx_variable: int,
    ) -> tp.Tuple[DumpArgs, int, int]:
        foralls = formula_foralls(foralls)
        clauses = self.__bx2list_clauses(template_constraint)
        record = DumpArgs(
            template_constraint=clauses,
            weights=weights,
            foralls=foralls,
            num_formula=self._num_formula,
            init_shift_variable=self._cur_init_shift_variable,
            shift_pb_variable=shift_pb_variable,
            shift_bx_variable=shift_bx_variable,
            offset_shift_for_formula=0,
            eval_state=self._eval_state,
            cnf_stor=self.__create_cnf_storage(),
        )
        instances = count_instances(foralls)
        return record, instances * (shift_pb_variable + shift_bx_variable), instances * len(clauses)

    @staticmethod
    def __bx2list_clauses(bx_clauses) -> tp.Sequence[tp.Sequence[str]]:
        # Written only if the evaluation road needs them: the native road
        # reads the formula itself.
        return ClauseTexts(bx_clauses, FormulaContainer.__clause_texts)

    @staticmethod
    def __clause_texts(bx_clauses) -> tp.List[tp.List[str]]:
        if isinstance(bx_clauses, _native.NumberedTemplate):
            return bx_clauses.literal_texts()

        def parsing_clause(clause) -> tp.Sequence[str]:
            literals = clause.get_args() if isinstance(clause, bx.Or) else [clause]
            return [literal_text(str(literal)) for literal in literals]

        def literal_text(text: str) -> str:
            # A template variable's name is a call of its declared variable;
            # any other name stays a string for the aux numbering.
            return text.replace("~", "-") if "(" in text else repr(text)

        if isinstance(bx_clauses, bx.And):
            return [parsing_clause(clause) for clause in bx_clauses.get_args()]
        return [parsing_clause(bx_clauses)]

    def __create_cnf_storage(self):
        return ce.wcnf_storage()

    def __cnf_stor_merge(self, list_dump_args: tp.Sequence[DumpArgs]) -> None:
        for args in list_dump_args:
            if args.cnf_stor is not None:
                self._cnf_stor.merge(args.cnf_stor)

    def __merge_pending(self, list_dump_args: tp.List[DumpArgs], aux_mappings: tp.List[tp.Any]) -> None:
        # An empty part (a formula without aux variables) adds nothing to the merge.
        self._mappings.extend(part for part in aux_mappings if len(part))
        self.__cnf_stor_merge(list_dump_args)
        list_dump_args.clear()
        aux_mappings.clear()

    def __add_formula(
        self,
        flush: tp.Callable[[], None],
        list_dump_args: tp.List[DumpArgs],
        aux_mappings: tp.List[tp.Dict[str, int]],
        template_constraint: bx.BaseExpr,
        weights: tp.Optional[tp.Sequence[int]],
        foralls: tp.Dict[str, tp.Sequence[int]],
        shift_pb_variable: int,
        shift_bx_variable: int,
    ) -> tp.Tuple[DumpArgs, int]:
        """Registers one formula as pending; the caller adds the clause count
        to the pending count of its kind, which `flush` has just emptied."""
        record, num_aux, num_clauses = self.__inner_add_constraint(
            template_constraint, weights, foralls, shift_pb_variable, shift_bx_variable
        )
        weight_limit = self.hard_weight if weights is None else self.__weight_limit_with(record)
        # Expanded here, so that its errors belong to this call; nothing is
        # registered before the expansion has succeeded.
        aux_mapping, = One2OneDumper.dump_parts([record])
        self.__register(flush, list_dump_args, aux_mappings, record, aux_mapping, num_aux, num_clauses)
        self.hard_weight = weight_limit
        return record, num_clauses

    def __register(
        self,
        flush: tp.Callable[[], None],
        list_dump_args: tp.List[DumpArgs],
        aux_mappings: tp.List[tp.Dict[str, int]],
        record: DumpArgs,
        aux_mapping: tp.Dict[str, int],
        num_aux: int,
        num_clauses: int,
    ) -> None:
        """Makes an expanded formula pending after the flush of its kind."""
        flush()
        list_dump_args.append(record)
        aux_mappings.append(aux_mapping)
        self._cur_init_shift_variable += num_aux
        self._num_clauses += num_clauses
        self._num_formula += 1

    def __remove_target(self) -> None:
        # Formulas flushed after the target were appended behind it, so its
        # range has not moved since it was merged.
        self._cnf_stor.remove_clauses(*self._target_clauses)
        position = next(i for i, part in enumerate(self._mappings) if part is self._target_mapping)
        del self._mappings[position]

    def build_cnf_formula(self, name_formula: str):
        self.__dump_hard_constraints()
        self.__set_header(name_formula, self._num_clauses + self._target_num_clauses)

    def build_wcnf_formula(self, name_formula: str):
        self.__dump_hard_constraints()
        self.__dump_soft_constraints()
        self.__set_header(name_formula, self._num_clauses)
        self._cnf_stor.set_weight_limit(self.hard_weight)

    def __set_header(self, name_formula: str, num_clauses: int) -> None:
        self._cnf_stor.set_model_name(name_formula)
        self._cnf_stor.set_variable_count(self.__largest_number())
        self._cnf_stor.set_clause_count(num_clauses)
