// The text linear model's expressions: the base of LinearExpression (its
// formula text and its two borders) and of LinearVariable, whose subscript
// writes element references. The operators write here the cases that they
// are sure to write as the reference functions write them (operands of the
// known classes without borders, ints within 64 bits, finite floats, whose
// texts number_text.hpp writes as Python does) and hand every other case,
// refusals included, to the reference function.
#include "bindings/native/linear_expressions.hpp"

#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "bindings/native/expressions.hpp"
#include "bindings/native/number_text.hpp"
#include "bindings/python_values.hpp"

namespace nb = nanobind;

namespace tarvo::native {
namespace {

using corvane::bindings::utf8_text_or_none;

struct LinearObject {
    PyObject_HEAD
    PyObject* text;  // what _expression reads; nullptr until set
    PyObject* lo;
    PyObject* hi;
};

struct LinearVariableObject {
    PyObject_HEAD
    PyObject* name;  // what _name reads; nullptr until set
};

struct LinearRoads {
    PyTypeObject* base = nullptr;        // LinearExpressionBase
    PyTypeObject* expression = nullptr;  // the class of an operator's result
    PyTypeObject* element = nullptr;     // the class of a subscript's result
    std::vector<PyTypeObject*> known;    // the classes whose fields are the base's as they are
    PyObject* add = nullptr;             // (expression, other): expression + other, other + expression
    PyObject* subtract = nullptr;        // (expression, other): expression - other
    PyObject* reflected_subtract = nullptr;  // (expression, other): other - expression
    PyObject* multiply = nullptr;        // (expression, other): expression * other, other * expression
    PyObject* signed_copy = nullptr;     // (expression, sign): +(E) or -(E)
    PyObject* bordered = nullptr;        // (expression, lo, hi): the copy a comparison makes
    PyObject* subscript = nullptr;       // (variable, items)
    bool fast = true;
};

LinearRoads& linear_roads() {
    static LinearRoads registered;
    return registered;
}

LinearObject* as_linear(PyObject* object) { return reinterpret_cast<LinearObject*>(object); }

bool is_linear(PyObject* object) {
    return linear_roads().base != nullptr && PyObject_TypeCheck(object, linear_roads().base);
}

// The text of an operand the fast road takes: a known class, no border, a
// str text with a UTF-8 form.
std::optional<OperandText> free_operand(PyObject* object) {
    const LinearRoads& registered = linear_roads();
    if (!registered.fast) return std::nullopt;
    bool known = false;
    for (PyTypeObject* type : registered.known) known = known || Py_TYPE(object) == type;
    if (!known) return std::nullopt;
    const LinearObject* expression = as_linear(object);
    if (expression->lo != Py_None || expression->hi != Py_None || expression->text == nullptr) return std::nullopt;
    const auto utf8 = utf8_text_or_none(expression->text);
    if (!utf8) return std::nullopt;
    return OperandText{*utf8, {}, PyUnicode_IS_ASCII(expression->text) != 0};
}

PyObject* new_linear(PyTypeObject* type, PyObject* text, PyObject* lo, PyObject* hi) {
    if (text == nullptr) return nullptr;
    PyObject* object = type->tp_alloc(type, 0);
    if (object == nullptr) {
        Py_DECREF(text);
        return nullptr;
    }
    LinearObject* expression = as_linear(object);
    expression->text = text;
    expression->lo = Py_NewRef(lo);
    expression->hi = Py_NewRef(hi);
    return object;
}

PyObject* new_result(std::initializer_list<std::string_view> pieces, bool ascii) {
    return new_linear(linear_roads().expression, joined_text(pieces, ascii), Py_None, Py_None);
}

// The pieces of a result of `expression` and `other`: (E, N) for a number, (E, F) for an expression.
template <typename WithNumber, typename WithExpression>
PyObject* fast_binary(PyObject* expression, PyObject* other, WithNumber with_number, WithExpression with_expression) {
    const auto left = free_operand(expression);
    if (!left) return nullptr;
    if (const auto number = NumberText::of(other)) return with_number(left->text, number->view(), left->ascii);
    if (!is_linear(other)) return nullptr;
    const auto right = free_operand(other);
    if (!right) return nullptr;
    return with_expression(left->text, right->text, left->ascii && right->ascii);
}

PyObject* fast_add(PyObject* expression, PyObject* other) {
    const auto joined = [](std::string_view e, std::string_view f, bool ascii) {
        return new_result({e, " + ", f}, ascii);
    };
    return fast_binary(expression, other, joined, joined);
}

PyObject* fast_subtract(PyObject* expression, PyObject* other) {
    return fast_binary(
        expression, other,
        [](std::string_view e, std::string_view n, bool ascii) { return new_result({e, " - ", n}, ascii); },
        [](std::string_view e, std::string_view f, bool ascii) { return new_result({e, " - (", f, ")"}, ascii); });
}

PyObject* fast_reflected_subtract(PyObject* expression, PyObject* other) {
    const auto e = free_operand(expression);
    const auto number = NumberText::of(other);
    if (!e || !number) return nullptr;
    return new_result({"-(", e->text, ") + ", number->view()}, e->ascii);
}

// The number always goes first.
PyObject* fast_multiply(PyObject* expression, PyObject* other) {
    return fast_binary(
        expression, other,
        [](std::string_view e, std::string_view n, bool ascii) { return new_result({n, " * (", e, ")"}, ascii); },
        [](std::string_view e, std::string_view f, bool ascii) {
            return new_result({"(", e, ") * (", f, ")"}, ascii);
        });
}

// a + b reaches the slot for expression + other and for number + expression alike.
PyObject* linear_add(PyObject* left, PyObject* right) {
    PyObject* expression = is_linear(left) ? left : right;
    PyObject* other = expression == left ? right : left;
    return guarded([&] { return or_reference(fast_add(expression, other), linear_roads().add, expression, other); });
}

PyObject* linear_subtract(PyObject* left, PyObject* right) {
    return guarded([&] {
        if (is_linear(left)) return or_reference(fast_subtract(left, right), linear_roads().subtract, left, right);
        return or_reference(fast_reflected_subtract(right, left), linear_roads().reflected_subtract, right, left);
    });
}

PyObject* linear_multiply(PyObject* left, PyObject* right) {
    PyObject* expression = is_linear(left) ? left : right;
    PyObject* other = expression == left ? right : left;
    return guarded([&] {
        return or_reference(fast_multiply(expression, other), linear_roads().multiply, expression, other);
    });
}

PyObject* signed_copy(PyObject* self, const char* sign) {
    return guarded([&]() -> PyObject* {
        // No border test: a bordered expression can be negated.
        const LinearObject* expression = as_linear(self);
        PyObject* result = nullptr;
        if (linear_roads().fast && expression->text != nullptr) {
            const auto e = utf8_text_or_none(expression->text);
            if (e) result = new_result({sign, "(", *e, ")"}, PyUnicode_IS_ASCII(expression->text) != 0);
        }
        if (result != nullptr || PyErr_Occurred()) return result;
        const nb::str sign_text(sign);
        return or_reference(nullptr, linear_roads().signed_copy, self, sign_text.ptr());
    });
}

PyObject* linear_negative(PyObject* self) { return signed_copy(self, "-"); }
PyObject* linear_positive(PyObject* self) { return signed_copy(self, "+"); }

// e <= n, e >= n, e == n: a copy with the same text and the border set.
PyObject* linear_compare(PyObject* self, PyObject* other, int op) {
    if (op != Py_LE && op != Py_GE && op != Py_EQ) {
        // != is the negation of ==, whose result has no truth value; < and > are not defined.
        if (op == Py_NE) {
            PyObject* equal = linear_compare(self, other, Py_EQ);
            if (equal == nullptr) return nullptr;
            const int truth = PyObject_IsTrue(equal);
            Py_DECREF(equal);
            return truth < 0 ? nullptr : PyBool_FromLong(!truth);
        }
        Py_RETURN_NOTIMPLEMENTED;
    }
    PyObject* lo = op == Py_LE ? Py_None : other;
    PyObject* hi = op == Py_GE ? Py_None : other;
    return guarded([&]() -> PyObject* {
        PyObject* result = nullptr;
        if (free_operand(self)) {
            result = new_linear(linear_roads().expression, Py_NewRef(as_linear(self)->text), lo, hi);
        }
        return or_reference(result, linear_roads().bordered, self, lo, hi);
    });
}

PyObject* missing(PyObject* self, const char* name) {
    PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%s'", Py_TYPE(self)->tp_name, name);
    return nullptr;
}

PyObject* linear_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* object = type->tp_alloc(type, 0);
    if (object != nullptr) {
        as_linear(object)->lo = Py_NewRef(Py_None);
        as_linear(object)->hi = Py_NewRef(Py_None);
    }
    return object;
}

// The fields take any object, the expression itself included: the collector
// must see them to free such a cycle.
int linear_traverse(PyObject* self, visitproc visit, void* arg) {
    LinearObject* expression = as_linear(self);
    Py_VISIT(expression->text);
    Py_VISIT(expression->lo);
    Py_VISIT(expression->hi);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int linear_clear(PyObject* self) {
    LinearObject* expression = as_linear(self);
    Py_CLEAR(expression->text);
    Py_CLEAR(expression->lo);
    Py_CLEAR(expression->hi);
    return 0;
}

void linear_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    linear_clear(self);
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* linear_str(PyObject* self) {
    PyObject* text = as_linear(self)->text;
    return text != nullptr ? Py_NewRef(text) : missing(self, "_expression");
}

// Getters and setters of the three fields, at their offsets.
template <std::size_t Offset>
PyObject* get_field(PyObject* self, void* name) {
    PyObject* value = *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset);
    return value != nullptr ? Py_NewRef(value) : missing(self, static_cast<const char*>(name));
}

template <std::size_t Offset>
int set_field(PyObject* self, PyObject* value, void*) {
    Py_XSETREF(*reinterpret_cast<PyObject**>(reinterpret_cast<char*>(self) + Offset), Py_XNewRef(value));
    return 0;
}

PyGetSetDef linear_fields[] = {
    {"_expression", get_field<offsetof(LinearObject, text)>, set_field<offsetof(LinearObject, text)>,
     "The formula text.", const_cast<char*>("_expression")},
    {"_lo", get_field<offsetof(LinearObject, lo)>, set_field<offsetof(LinearObject, lo)>,
     "The lower border, or None.", const_cast<char*>("_lo")},
    {"_hi", get_field<offsetof(LinearObject, hi)>, set_field<offsetof(LinearObject, hi)>,
     "The upper border, or None.", const_cast<char*>("_hi")},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot linear_slots[] = {
    {Py_tp_doc, const_cast<char*>("Formula text and two borders; the operators only write texts.")},
    {Py_tp_new, reinterpret_cast<void*>(linear_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(linear_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(linear_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(linear_clear)},
    {Py_tp_str, reinterpret_cast<void*>(linear_str)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_getset, linear_fields},
    {Py_tp_richcompare, reinterpret_cast<void*>(linear_compare)},
    {Py_nb_add, reinterpret_cast<void*>(linear_add)},
    {Py_nb_subtract, reinterpret_cast<void*>(linear_subtract)},
    {Py_nb_multiply, reinterpret_cast<void*>(linear_multiply)},
    {Py_nb_negative, reinterpret_cast<void*>(linear_negative)},
    {Py_nb_positive, reinterpret_cast<void*>(linear_positive)},
    {0, nullptr},
};

PyType_Spec linear_spec = {
    "tarvo_encoder._native.LinearExpressionBase", sizeof(LinearObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, linear_slots,
};

// x[2, 3]: the element reference x(2,3) of ints; anything else is the reference function's.
PyObject* fast_subscript(PyObject* self, PyObject* items) {
    const LinearRoads& registered = linear_roads();
    PyObject* name = reinterpret_cast<LinearVariableObject*>(self)->name;
    if (!registered.fast || registered.element == nullptr || name == nullptr) return nullptr;
    const auto utf8 = utf8_text_or_none(name);
    const auto subscript = int_subscript(items);
    if (!utf8 || !subscript) return nullptr;
    return new_linear(registered.element, joined_text({*utf8, "(", *subscript, ")"}, PyUnicode_IS_ASCII(name) != 0),
                      Py_None, Py_None);
}

PyObject* variable_subscript(PyObject* self, PyObject* items) {
    return guarded([&] { return or_reference(fast_subscript(self, items), linear_roads().subscript, self, items); });
}

PyObject* variable_new(PyTypeObject* type, PyObject*, PyObject*) { return type->tp_alloc(type, 0); }

int variable_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<LinearVariableObject*>(self)->name);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int variable_clear(PyObject* self) {
    Py_CLEAR(reinterpret_cast<LinearVariableObject*>(self)->name);
    return 0;
}

void variable_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    variable_clear(self);
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyGetSetDef variable_fields[] = {
    {"_name", get_field<offsetof(LinearVariableObject, name)>, set_field<offsetof(LinearVariableObject, name)>,
     "The variable's name, the start of its element references' texts.", const_cast<char*>("_name")},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot variable_slots[] = {
    {Py_tp_doc, const_cast<char*>("The name of a linear variable and its subscript, which writes element references.")},
    {Py_tp_new, reinterpret_cast<void*>(variable_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(variable_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(variable_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(variable_clear)},
    {Py_tp_getset, variable_fields},
    {Py_mp_subscript, reinterpret_cast<void*>(variable_subscript)},
    {0, nullptr},
};

PyType_Spec variable_spec = {
    "tarvo_encoder._native.LinearVariableBase", sizeof(LinearVariableObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, variable_slots,
};

PyObject* joined_linear_texts(PyObject* expressions) {
    return joined_items("CompiledSum([", expressions, free_operand);
}

}  // namespace

}  // namespace tarvo::native

void bind_linear_expressions(nb::module_& m) {
    using namespace tarvo::native;
    PyObject* base = PyType_FromSpec(&linear_spec);
    if (base == nullptr) throw nb::python_error();
    m.attr("LinearExpressionBase") = nb::steal(base);
    linear_roads().base = reinterpret_cast<PyTypeObject*>(base);
    PyObject* variable = PyType_FromSpec(&variable_spec);
    if (variable == nullptr) throw nb::python_error();
    m.attr("LinearVariableBase") = nb::steal(variable);
    m.def(
        "register_linear_roads",
        [](nb::handle expression, nb::handle element, nb::tuple known, nb::handle add, nb::handle subtract,
           nb::handle reflected_subtract, nb::handle multiply, nb::handle signed_copy_, nb::handle bordered) {
            // Everything is checked before anything is registered.
            PyTypeObject* linear_base = linear_roads().base;
            PyTypeObject* expression_type = derived_class(expression, linear_base, "expression");
            PyTypeObject* element_type = derived_class(element, expression_type, "element");
            std::vector<PyTypeObject*> known_types;
            for (nb::handle type : known) known_types.push_back(derived_class(type, linear_base, "a known class"));
            const std::pair<nb::handle, const char*> functions[] = {
                {add, "add"}, {subtract, "subtract"}, {reflected_subtract, "reflected_subtract"},
                {multiply, "multiply"}, {signed_copy_, "signed_copy"}, {bordered, "bordered"}};
            for (const auto& [function, name] : functions) check_callable(function, name);

            LinearRoads& registered = linear_roads();
            registered.expression = kept(expression_type);
            registered.element = kept(element_type);
            for (PyTypeObject* type : known_types) registered.known.push_back(kept(type));
            registered.add = kept(add.ptr());
            registered.subtract = kept(subtract.ptr());
            registered.reflected_subtract = kept(reflected_subtract.ptr());
            registered.multiply = kept(multiply.ptr());
            registered.signed_copy = kept(signed_copy_.ptr());
            registered.bordered = kept(bordered.ptr());
        },
        nb::arg("expression"), nb::arg("element"), nb::arg("known"), nb::arg("add"), nb::arg("subtract"),
        nb::arg("reflected_subtract"), nb::arg("multiply"), nb::arg("signed_copy"), nb::arg("bordered"),
        "Set, once, the classes that the linear operators make and know and the reference functions they call.");
    m.def(
        "register_linear_subscript",
        [](nb::handle subscript) {
            check_callable(subscript, "subscript");
            linear_roads().subscript = kept(subscript.ptr());
        },
        nb::arg("subscript"), "Set, once, the reference function of a linear variable's subscript.");
    m.def(
        "joined_linear_texts",
        [](nb::handle expressions) -> nb::object {
            PyObject* text = guarded([&] { return joined_linear_texts(expressions.ptr()); });
            if (text == nullptr && PyErr_Occurred()) throw nb::python_error();
            return text != nullptr ? nb::steal(text) : nb::none();
        },
        nb::arg("expressions"),
        "'CompiledSum([' + ', '.join(texts) + '])' for a nonempty list or tuple of linear expressions of the "
        "known classes without borders, as SumIt writes it; None for any other sequence, which the reference "
        "road checks and writes.");
    m.def(
        "set_linear_fast_road", [](bool fast) { linear_roads().fast = fast; }, nb::arg("fast"),
        "With False, every linear operator and subscript takes the reference road (for tests comparing the roads).");
}
