#pragma once

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

inline ExpressionObject* as_expression(PyObject* object) { return reinterpret_cast<ExpressionObject*>(object); }

// The expression's text, written from its chain and kept when first read;
// nullptr with AttributeError set when it has neither.
PyObject* expression_text(ExpressionObject* expression);

// A new str of the UTF-8 pieces joined; `ascii` when the caller knows that
// every piece is ASCII (the common case, copied as it is).
PyObject* joined_text(std::initializer_list<std::string_view> pieces, bool ascii);

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
