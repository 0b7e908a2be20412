#pragma once

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nanobind/nanobind.h>

#include "kernels/text_chain.hpp"

// The pseudo-Boolean model's expressions: the base class of the Python
// classes (Expression and its subclasses, VariableProxy, ...) holding the
// text, the flags and the chain, and the base class of Variable, whose
// subscript makes element references.
namespace tarvo::native {

using tarvo::kernels::TextChain;

struct ExpressionObject {
    PyObject_HEAD
    // What _expr reads: a str as the operators write it, whatever was
    // assigned to _expr otherwise; nullptr until a chain writes it.
    PyObject* text;
    // What _soft reads; nullptr until set, as an attribute never assigned.
    PyObject* soft;
    bool compares;
    TextChain::Link chain;
};

// The Python side of the operators, registered once when the classes are
// defined: the classes the operators know, and the reference functions they
// call for everything they cannot finish themselves (or for everything, when
// the fast road is switched off).
struct ExpressionRoads {
    PyTypeObject* expression = nullptr;  // the class of an operator's result
    PyTypeObject* element = nullptr;     // the class of a subscript's result
    // The classes whose text and soft flag are the base's fields as they
    // are (no override of __str__ or soft): the operands the fast road takes.
    std::vector<PyTypeObject*> known;
    PyObject* boolean_step = nullptr;  // (operator, left, right)
    PyObject* sum_step = nullptr;      // (left, right, negated)
    PyObject* comparison = nullptr;    // (term, comparator, bound)
    PyObject* not_equal = nullptr;     // (term, bound)
    PyObject* multiply = nullptr;      // (expression, factor)
    PyObject* negation = nullptr;      // (expression)
    PyObject* subscript = nullptr;     // (variable, items)
    bool fast = true;
};

ExpressionRoads& roads();

// `type` when it is `base` or a subclass of it, else TypeError naming `what`:
// the operators write their results into such instances' fields and read
// their operands' fields.
PyTypeObject* derived_class(nanobind::handle type, PyTypeObject* base, const char* what);
// TypeError naming `what` for a road that is not callable.
void check_callable(nanobind::handle function, const char* what);

// Registered for good: a new reference that is never released.
template <typename Object>
Object* kept(Object* object) {
    Py_INCREF(reinterpret_cast<PyObject*>(object));
    return object;
}

// The native base class of every expression class, ExpressionBase.
PyTypeObject* expression_base();

// Runs a slot's body; a C++ exception leaves it as the Python error it stands for.
template <typename Body>
auto guarded(Body body) -> decltype(body()) {
    try {
        return body();
    } catch (nanobind::python_error& error) {
        error.restore();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    }
    return {};
}

// Calls a reference function; `result` is what the fast road made of the
// operation, nullptr when it left it (with an error set when it failed).
template <typename... Arguments>
PyObject* or_reference(PyObject* result, PyObject* function, Arguments... arguments) {
    if (result != nullptr || PyErr_Occurred()) return result;
    if (function == nullptr) {
        PyErr_SetString(PyExc_RuntimeError, "the expression classes are not registered");
        return nullptr;
    }
    return PyObject_CallFunctionObjArgs(function, arguments..., nullptr);
}

inline ExpressionObject* as_expression(PyObject* object) { return reinterpret_cast<ExpressionObject*>(object); }

// The expression's text, written from its chain and kept when first read;
// nullptr with AttributeError set when it has neither.
PyObject* expression_text(ExpressionObject* expression);

// A new str of the UTF-8 pieces joined; `ascii` when the caller knows that
// every piece is ASCII (the common case, copied as it is).
PyObject* joined_text(std::initializer_list<std::string_view> pieces, bool ascii);

// An operand's text in a Boolean or pseudo-Boolean position: an element
// reference becomes its engine variable or its term (`suffix`), everything
// else already is one.
struct OperandText {
    std::string_view text;
    std::string_view suffix;
    bool ascii;
};

// `opening`, the texts of the items of a nonempty list or tuple joined by
// ", ", then "])"; nullptr, with no error set, for any other sequence and
// when `text_of` leaves an item (nullopt). The size is read anew for each
// item: writing an item's text may allocate, and a collection that this
// starts may run code that changes the list.
template <typename TextOf>
PyObject* joined_items(std::string_view opening, PyObject* expressions, TextOf text_of) {
    if (!PyList_CheckExact(expressions) && !PyTuple_CheckExact(expressions)) return nullptr;
    if (PySequence_Fast_GET_SIZE(expressions) == 0) return nullptr;
    std::string text(opening);
    bool ascii = std::all_of(opening.begin(), opening.end(), [](char c) { return (c & 0x80) == 0; });
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(expressions); ++i) {
        const nanobind::object item = nanobind::borrow(PySequence_Fast_GET_ITEM(expressions, i));
        const std::optional<OperandText> operand = text_of(item.ptr());
        if (!operand) return nullptr;
        if (i != 0) text += ", ";
        text += operand->text;
        text += operand->suffix;
        ascii = ascii && operand->ascii;
    }
    text += "])";
    return joined_text({text}, ascii);
}

// A new instance of `type` (the base or a subclass of it); takes `text`,
// which may be nullptr for a chained result.
PyObject* new_expression(PyTypeObject* type, PyObject* text, PyObject* soft, bool compares, TextChain::Link chain);

// The operator slots of the expression base and the subscript of the variable base.
PyObject* expression_add(PyObject* left, PyObject* right);
PyObject* expression_subtract(PyObject* left, PyObject* right);
PyObject* expression_multiply(PyObject* left, PyObject* right);
PyObject* expression_and(PyObject* left, PyObject* right);
PyObject* expression_or(PyObject* left, PyObject* right);
PyObject* expression_xor(PyObject* left, PyObject* right);
PyObject* expression_invert(PyObject* self);
PyObject* expression_compare(PyObject* self, PyObject* other, int op);
PyObject* variable_subscript(PyObject* self, PyObject* items);

// `opening`, the texts of the expressions (terms or Boolean operands) joined
// by ", ", then "])"; nullptr, with no error set, for anything but a
// nonempty list or tuple of expressions of the known classes (all terms
// for sure when `terms`): the reference road checks and writes those.
PyObject* joined_operands(std::string_view opening, PyObject* expressions, bool terms);

struct VariableObject {
    PyObject_HEAD
    PyObject* name;  // nullptr until set
};

}  // namespace tarvo::native

// Registers ExpressionBase, VariableBase, Chain and the functions that set up the roads.
void bind_expressions(nanobind::module_& m);
