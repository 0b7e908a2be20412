// The operators of the expression base. Each finishes here the cases that it
// is sure to write as the reference road writes them (operands of the known
// classes, ints within 64 bits, whose digits std::to_chars writes as Python
// does) and hands every other case, refusals included, to the reference
// function, which writes it or raises its logged error.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "bindings/native/expressions.hpp"
#include "bindings/native/number_text.hpp"
#include "bindings/python_values.hpp"

namespace tarvo::native {
namespace {

using corvane::bindings::utf8_text_or_none;

bool is_known(PyObject* object) {
    const ExpressionRoads& registered = roads();
    if (!registered.fast) return false;
    PyTypeObject* type = Py_TYPE(object);
    for (PyTypeObject* known : registered.known) {
        if (type == known) return true;
    }
    return false;
}

bool is_expression(PyObject* object) {
    return roads().expression != nullptr && PyObject_TypeCheck(object, roads().expression);
}

// A known operand that is a pseudo-Boolean term for sure: its soft flag is True itself.
bool is_term(PyObject* object) { return is_known(object) && as_expression(object)->soft == Py_True; }

// nullopt, with no error set, when the text is not a str with a UTF-8
// form: the reference road writes (or refuses) that one. The view lives as
// long as the operand.
std::optional<OperandText> operand_text(PyObject* object, std::string_view suffix) {
    PyObject* text = expression_text(as_expression(object));
    if (text == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    const auto utf8 = utf8_text_or_none(text);
    if (!utf8) return std::nullopt;
    return OperandText{*utf8, Py_TYPE(object) == roads().element ? suffix : std::string_view(),
                       PyUnicode_IS_ASCII(text) != 0};
}

std::optional<OperandText> boolean_text(PyObject* object) { return operand_text(object, ".to_bx()"); }
std::optional<OperandText> term_text(PyObject* object) { return operand_text(object, ".to_pb()"); }

// The pieces are the operand's text and ASCII literals.
PyObject* new_result(const OperandText& operand, std::initializer_list<std::string_view> pieces, PyObject* soft,
                     bool compares = false) {
    PyObject* written = joined_text(pieces, operand.ascii);
    if (written == nullptr) return nullptr;
    return new_expression(roads().expression, written, soft, compares, nullptr);
}

PyObject* new_chained(PyObject* soft, TextChain::Link chain) {
    return new_expression(roads().expression, nullptr, soft, false, std::move(chain));
}

std::int64_t sum_terms(const ExpressionObject* expression) {
    return expression->chain && expression->chain->is_sum() ? expression->chain->terms() : 1;
}

std::int64_t operand_nesting(const ExpressionObject* expression, const OperandText& operand) {
    const TextChain::Link& chain = expression->chain;
    if (chain && !chain->is_sum()) return chain->nesting();
    return tarvo::kernels::operand_nesting_bound(operand.text, operand.suffix);
}

TextChain::Link new_link(TextChain::Link previous, char op, const OperandText& operand, bool negated,
                         std::int64_t size) {
    return std::make_shared<const TextChain>(std::move(previous), op, operand.text, operand.suffix, negated, size);
}

// left + right or left - right: one more link when left is a sum chain.
PyObject* fast_sum(PyObject* left, PyObject* right, bool negated) {
    if (!is_term(left) || !is_term(right)) return nullptr;
    TextChain::Link chain = as_expression(left)->chain;
    if (!chain || !chain->is_sum()) {
        const auto text = term_text(left);
        if (!text) return nullptr;
        chain = new_link(nullptr, '+', *text, false, sum_terms(as_expression(left)));
    }
    const auto text = term_text(right);
    if (!text) return nullptr;
    // A subtracted operand stands in parentheses: one term at the top level.
    const std::int64_t terms = negated ? 1 : sum_terms(as_expression(right));
    return new_chained(Py_True, new_link(std::move(chain), '+', *text, negated, terms));
}

// left & right (| or ^): one more link when left is a chain of the same operator.
PyObject* fast_boolean(char op, PyObject* left, PyObject* right) {
    if (!is_known(left) || !is_known(right)) return nullptr;
    TextChain::Link chain = as_expression(left)->chain;
    if (!chain || chain->op() != op) {
        const auto text = boolean_text(left);
        if (!text) return nullptr;
        chain = new_link(nullptr, op, *text, false, operand_nesting(as_expression(left), *text));
    }
    const auto text = boolean_text(right);
    if (!text) return nullptr;
    const std::int64_t nesting = operand_nesting(as_expression(right), *text);
    return new_chained(Py_False, new_link(std::move(chain), op, *text, false, nesting));
}

// The factor always goes first: the PB term tree multiplies only from the left.
PyObject* fast_multiply(PyObject* expression, PyObject* factor) {
    if (!is_term(expression)) return nullptr;
    const auto value = small_int(factor);
    if (!value) return nullptr;
    const auto text = term_text(expression);
    if (!text) return nullptr;
    const Digits digits(*value);
    return new_result(*text, {digits.view(), " * (", text->text, text->suffix, ")"}, Py_True);
}

PyObject* fast_comparison(PyObject* term, std::string_view comparator, PyObject* bound) {
    if (!is_term(term)) return nullptr;
    const auto value = small_int(bound);
    if (!value) return nullptr;
    const auto text = term_text(term);
    if (!text) return nullptr;
    const Digits digits(*value);
    return new_result(*text, {"FormulaPB(", text->text, text->suffix, ", pb.Comparator_type.", comparator, ", ",
                       digits.view(), ").to_bx(manager)"},
                      Py_False, true);
}

PyObject* fast_negation(PyObject* expression) {
    if (!is_known(expression)) return nullptr;
    const auto text = boolean_text(expression);
    if (!text) return nullptr;
    return new_result(*text, {"~(", text->text, text->suffix, ")"}, Py_False);
}

// The reference functions' str arguments, made once (and kept for good);
// nullptr, with the error set, only when memory ran out the first time.
PyObject* interned(const char* text) { return PyUnicode_InternFromString(text); }

PyObject* boolean_operator(char op, PyObject* symbol, PyObject* left, PyObject* right) {
    // No reflected operator: a left operand that is no expression is not ours.
    if (!is_expression(left)) Py_RETURN_NOTIMPLEMENTED;
    if (symbol == nullptr) return PyErr_NoMemory();
    return guarded([&] {
        return or_reference(fast_boolean(op, left, right), roads().boolean_step, symbol, left, right);
    });
}

PyObject* sum_operator(PyObject* left, PyObject* right, bool negated) {
    if (!is_expression(left)) Py_RETURN_NOTIMPLEMENTED;
    return guarded([&] {
        PyObject* flag = negated ? Py_True : Py_False;
        return or_reference(fast_sum(left, right, negated), roads().sum_step, left, right, flag);
    });
}

PyObject* comparison(PyObject* term, const char* comparator, PyObject* name, PyObject* bound) {
    if (name == nullptr) return PyErr_NoMemory();
    return guarded([&] {
        return or_reference(fast_comparison(term, comparator, bound), roads().comparison, term, name, bound);
    });
}

}  // namespace

PyObject* expression_add(PyObject* left, PyObject* right) { return sum_operator(left, right, false); }
PyObject* expression_subtract(PyObject* left, PyObject* right) { return sum_operator(left, right, true); }
PyObject* expression_and(PyObject* left, PyObject* right) {
    static PyObject* const symbol = interned("&");
    return boolean_operator('&', symbol, left, right);
}

PyObject* expression_or(PyObject* left, PyObject* right) {
    static PyObject* const symbol = interned("|");
    return boolean_operator('|', symbol, left, right);
}

PyObject* expression_xor(PyObject* left, PyObject* right) {
    static PyObject* const symbol = interned("^");
    return boolean_operator('^', symbol, left, right);
}

namespace {

// "__mul__", made once; nullptr, with the error set, only when memory ran out the first time.
PyObject* multiply_name() {
    static PyObject* const name = interned("__mul__");
    return name;
}

// True when the expression's class is a Python subclass with a __mul__ of its own.
bool defines_own_multiply(PyObject* expression) {
    PyTypeObject* type = Py_TYPE(expression);
    // A class that defines neither __mul__ nor __rmul__ inherits the slot.
    if (type->tp_as_number->nb_multiply == expression_multiply) return false;
    PyObject* name = multiply_name();
    static PyObject* const base_method =
        name != nullptr ? PyObject_GetAttr(reinterpret_cast<PyObject*>(expression_base()), name) : nullptr;
    PyObject* method = name != nullptr ? PyObject_GetAttr(reinterpret_cast<PyObject*>(type), name) : nullptr;
    const bool own = method != nullptr && base_method != nullptr && method != base_method;
    Py_XDECREF(method);
    PyErr_Clear();
    return own;
}

}  // namespace

PyObject* expression_multiply(PyObject* left, PyObject* right) {
    // int * e is e * int: the factor is whichever operand is no expression.
    PyObject* expression = is_expression(left) ? left : right;
    PyObject* factor = expression == left ? right : left;
    if (!is_expression(expression)) Py_RETURN_NOTIMPLEMENTED;
    // factor * e is e.__mul__(factor), as the host would call a subclass's
    // own __mul__ for e * factor.
    if (expression == right && defines_own_multiply(expression)) {
        return PyObject_CallMethodOneArg(expression, multiply_name(), factor);
    }
    return guarded([&] {
        return or_reference(fast_multiply(expression, factor), roads().multiply, expression, factor);
    });
}

PyObject* expression_invert(PyObject* self) {
    return guarded([&] { return or_reference(fast_negation(self), roads().negation, self); });
}

PyObject* expression_compare(PyObject* self, PyObject* other, int op) {
    switch (op) {
        case Py_LE: {
            static PyObject* const name = interned("LEQ");
            return comparison(self, "LEQ", name, other);
        }
        case Py_GE: {
            static PyObject* const name = interned("GEQ");
            return comparison(self, "GEQ", name, other);
        }
        case Py_EQ: {
            static PyObject* const name = interned("BOTH");
            return comparison(self, "BOTH", name, other);
        }
        case Py_NE: return or_reference(nullptr, roads().not_equal, self, other);
        default: Py_RETURN_NOTIMPLEMENTED;
    }
}

PyObject* joined_operands(std::string_view opening, PyObject* expressions, bool terms) {
    return joined_items(opening, expressions, [terms](PyObject* item) -> std::optional<OperandText> {
        if (!(terms ? is_term(item) : is_known(item))) return std::nullopt;
        return terms ? term_text(item) : boolean_text(item);
    });
}

namespace {

PyObject* fast_subscript(PyObject* self, PyObject* items) {
    if (!roads().fast || roads().element == nullptr) return nullptr;
    PyObject* name = reinterpret_cast<VariableObject*>(self)->name;
    if (name == nullptr) return nullptr;
    const auto utf8 = utf8_text_or_none(name);
    if (!utf8) return nullptr;
    const auto subscript = int_subscript(items);
    if (!subscript) return nullptr;
    PyObject* written = joined_text({*utf8, "(", *subscript, ")"}, PyUnicode_IS_ASCII(name) != 0);
    if (written == nullptr) return nullptr;
    return new_expression(roads().element, written, Py_True, false, nullptr);
}

}  // namespace

PyObject* variable_subscript(PyObject* self, PyObject* items) {
    return guarded([&] { return or_reference(fast_subscript(self, items), roads().subscript, self, items); });
}

}  // namespace tarvo::native
