"""The dumper's native road: a template formula expanded over its foralls by a
C++ kernel instead of by evaluating its expansion text.

A record takes this road only when its result is sure to equal the
evaluation's: every literal text has one of the forms that the container and
the index arithmetic write (a variable reference such as -x(2 * (i + 1),j - 1)
or a quoted aux variable name), every name resolves as the evaluation would
resolve it, every index value stays inside its dimension, every aux index
inside its block, and every number and weight suits the storage. For anything
else `expand_natively` returns None without touching the record, and the
caller evaluates the text, which then raises or warns as it always does.
"""
import builtins
import keyword
import re
import typing as tp

import velmont.corvane_engine as ce

from .. import _native
from ..encode.variables import Variable

# Numbers and coefficients stay well inside the kernel's signed 64 bits.
_LIMIT = 2**62
_INT64 = 2**63
_TOKEN = re.compile(r" *(?:([0-9]+)|([A-Za-z_][A-Za-z0-9_]*)|(\S))")
_QUOTED_NAME = re.compile(r"'([^'\\]*)'")
_DIGITS = re.compile(r"[0-9]+")


class _NotNative(Exception):
    """The record needs the evaluation of its expansion text."""


def _refuse() -> tp.NoReturn:
    raise _NotNative


def _require(condition: bool) -> None:
    if not condition:
        _refuse()


def _is_plain_name(name) -> bool:
    """A name that the evaluation binds and looks up as written (non-ASCII
    names are normalised by Python's parser; __debug__ is a constant)."""
    return (
        type(name) is str and name.isascii() and name.isidentifier()
        and not keyword.iskeyword(name) and name != "__debug__"
    )


def _is_int(value) -> bool:
    return type(value) is int  # bool and numpy integers behave differently in the storage


def expand_natively(a, pb_prefix: str, tseytin_prefix: str) -> tp.Optional[tp.Dict[str, int]]:
    """Expand the record `a` into its storage and return its aux map names, or
    return None, leaving the record as it was, when only the evaluation of its
    expansion text gives the right result."""
    try:
        compiled = _Compiler(a, pb_prefix, tseytin_prefix).compile()
    except _NotNative:
        return None
    # The evaluation leaves the builtins entry in its globals; so does this road.
    a.eval_state.setdefault("__builtins__", builtins.__dict__)
    return _native.expand_template(a.cnf_stor, *compiled)


class _Affine:
    """constant + sum of coefficient * forall value, over forall names."""

    def __init__(self, constant: int, coefficients: tp.Optional[tp.Dict[str, int]] = None) -> None:
        self.constant = constant
        self.coefficients = coefficients or {}

    def __add__(self, other: "_Affine") -> "_Affine":
        coefficients = dict(self.coefficients)
        for name, coefficient in other.coefficients.items():
            coefficients[name] = coefficients.get(name, 0) + coefficient
        return _Affine(self.constant + other.constant, coefficients)

    def scaled(self, factor: int) -> "_Affine":
        return _Affine(self.constant * factor, {n: c * factor for n, c in self.coefficients.items()})

    def __mul__(self, other: "_Affine") -> "_Affine":
        if not other.coefficients:
            return self.scaled(other.constant)
        _require(not self.coefficients)  # a product of two forall values is not affine
        return other.scaled(self.constant)


class _Parser:
    """Recursive descent over one literal text: an optional "-" and a call of a
    declared variable whose arguments are sums, differences, integer products
    and parentheses of forall names and integers, with Python's precedence."""

    def __init__(self, text: str, forall_names: tp.Container[str]) -> None:
        self.tokens = []
        position = 0
        while position < len(text):
            match = _TOKEN.match(text, position)
            _require(match is not None)
            self.tokens.append(match.groups())
            position = match.end()
        self.position = 0
        self.forall_names = forall_names

    def reference(self) -> tp.Tuple[bool, str, tp.List[_Affine]]:
        negated = self.take_operator("-")
        name = self.take_name()
        _require(self.take_operator("("))
        arguments = []
        if not self.take_operator(")"):
            arguments.append(self.sum())
            while self.take_operator(","):
                arguments.append(self.sum())
            _require(self.take_operator(")"))
        _require(self.position == len(self.tokens))
        return negated, name, arguments

    def sum(self) -> _Affine:
        result = self.product()
        while True:
            if self.take_operator("+"):
                result = result + self.product()
            elif self.take_operator("-"):
                result = result + self.product().scaled(-1)
            else:
                return result

    def product(self) -> _Affine:
        result = self.unary()
        while self.take_operator("*"):
            _require(not self.peek_operator("*"))  # a power
            result = result * self.unary()
        return result

    def unary(self) -> _Affine:
        if self.take_operator("-"):
            return self.unary().scaled(-1)
        if self.take_operator("+"):
            return self.unary()
        return self.atom()

    def atom(self) -> _Affine:
        if self.take_operator("("):
            inner = self.sum()
            _require(self.take_operator(")"))
            return inner
        _require(self.position < len(self.tokens))
        digits, name, _ = self.tokens[self.position]
        if digits is not None:
            # Python refuses leading zeros such as 07.
            _require(digits == "0" * len(digits) or not digits.startswith("0"))
            self.position += 1
            return _Affine(int(digits))
        name = self.take_name()
        _require(name in self.forall_names)  # else it would not be a loop value
        return _Affine(0, {name: 1})

    def take_name(self) -> str:
        _require(self.position < len(self.tokens))
        name = self.tokens[self.position][1]
        _require(_is_plain_name(name))
        self.position += 1
        return name

    def peek_operator(self, operator: str) -> bool:
        return self.position < len(self.tokens) and self.tokens[self.position][2] == operator

    def take_operator(self, operator: str) -> bool:
        if self.peek_operator(operator):
            self.position += 1
            return True
        return False


class _Compiler:
    """Turns one record into the kernel's arguments, or raises _NotNative."""

    def __init__(self, a, pb_prefix: str, tseytin_prefix: str) -> None:
        self.a = a
        self.pb_prefix = pb_prefix
        self.tseytin_prefix = tseytin_prefix
        self.aux_variables: tp.Dict[tp.Tuple[str, int], int] = {}  # in first-appearance order

    def compile(self):
        a = self.a
        _require(type(a.cnf_stor) is ce.wcnf_storage and type(a.eval_state) is dict)
        # "range" in the loop text must be the builtin one.
        _require(a.eval_state.get("__builtins__", builtins.__dict__) is builtins.__dict__)
        _require("range" not in a.eval_state)
        self.compile_foralls()
        self.compile_numbering()
        clauses = a.template_constraint
        _require(type(clauses) in (list, tuple))
        weights = self.compile_weights(len(clauses))
        forms = [(self.compile_clause(clause), weight) for clause, weight in zip(clauses, weights)]
        aux_variables = [(prefix, index, number) for (prefix, index), number in self.aux_variables.items()]
        return forms, self.values, a.num_formula, self.block_size, aux_variables

    def compile_foralls(self) -> None:
        foralls = self.a.foralls
        _require(type(foralls) is dict)
        self.instances = 1
        for name, values in foralls.items():
            _require(_is_plain_name(name) and name != "range")
            _require(type(values) is range or (type(values) is list and all(_is_int(v) for v in values)))
            self.instances *= len(values)
        # Without instances the evaluation costs next to nothing, and only
        # its compilation tells which texts would still fail.
        _require(self.instances > 0)
        self.names = list(foralls)
        self.values = [list(values) for values in foralls.values()]
        self.bounds = {name: (min(v), max(v)) for name, v in zip(self.names, self.values)}
        _require(all(-_LIMIT < low and high < _LIMIT for low, high in self.bounds.values()))

    def compile_numbering(self) -> None:
        a = self.a
        numbers = (a.num_formula, a.init_shift_variable, a.shift_pb_variable, a.shift_bx_variable)
        _require(all(_is_int(n) for n in numbers) and -_INT64 < a.num_formula < _INT64)
        _require(a.init_shift_variable >= 1 and a.shift_pb_variable >= 0 and a.shift_bx_variable >= 0)
        self.block_size = a.shift_pb_variable + a.shift_bx_variable
        _require(a.init_shift_variable + self.instances * self.block_size < _LIMIT)

    def compile_weights(self, count: int) -> tp.List[int]:
        weights = self.a.weights
        if weights is None:
            return [0] * count
        _require(type(weights) in (list, tuple) and len(weights) >= count)
        weights = list(weights[:count])
        _require(all(_is_int(w) and 0 <= w < _INT64 for w in weights))
        return weights

    def compile_clause(self, literals) -> list:
        _require(type(literals) in (list, tuple) and all(type(text) is str for text in literals))
        return [self.compile_literal(text) for text in literals]

    def compile_literal(self, text: str):
        quoted = _QUOTED_NAME.fullmatch(text)
        if quoted is not None and quoted.group(1).isprintable():
            return self.compile_aux_literal(quoted.group(1))
        return self.compile_reference(text)

    def compile_aux_literal(self, value: str):
        a = self.a
        negated, name = ("~" in value, value[1:] if "~" in value else value)
        if self.pb_prefix in name:
            prefix, block, offset = self.pb_prefix, a.shift_pb_variable, 0
        elif self.tseytin_prefix in name:
            prefix, block, offset = self.tseytin_prefix, a.shift_bx_variable, a.shift_pb_variable
        else:
            _refuse()
        suffix = name[name.rfind("_") + 1 :]
        _require(_DIGITS.fullmatch(suffix) is not None)
        index = int(suffix)
        _require(index < block)
        first_number = a.init_shift_variable + offset + index
        self.aux_variables.setdefault((prefix, index), first_number)
        return negated, first_number, self.block_size, [0] * len(self.names)

    def compile_reference(self, text: str):
        negated, name, arguments = _Parser(text, self.bounds).reference()
        _require(name not in self.bounds)  # a forall value hides the variable
        variable = self.a.eval_state.get(name)
        _require(type(variable) is Variable)
        sizes, shifts, first = variable.indexes, variable.shifts, variable.st_shift
        _require(type(sizes) is dict and type(shifts) is list and _is_int(first))
        _require(len(arguments) == len(shifts) == len(sizes))
        number = _Affine(first)
        for argument, size, shift in zip(arguments, sizes.values(), shifts):
            _require(_is_int(size) and _is_int(shift))
            low, high = self.range_of(argument)
            _require(0 <= low and high < size)
            number = number + argument.scaled(shift)
        low, high = self.range_of(number)
        _require(1 <= low and high < _LIMIT)
        coefficients = [number.coefficients.get(n, 0) for n in self.names]
        _require(all(-_INT64 < c < _INT64 for c in coefficients + [number.constant]))
        return negated, number.constant, 0, coefficients

    def range_of(self, affine: _Affine) -> tp.Tuple[int, int]:
        """Least and greatest value over all instances: the foralls vary
        independently, so each term reaches its extremes on its own."""
        low = high = affine.constant
        for name, coefficient in affine.coefficients.items():
            ends = (coefficient * self.bounds[name][0], coefficient * self.bounds[name][1])
            low, high = low + min(ends), high + max(ends)
        return low, high
