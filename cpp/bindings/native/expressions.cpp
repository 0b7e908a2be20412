#include "bindings/native/expressions.hpp"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>

namespace nb = nanobind;

namespace tarvo::native {

ExpressionRoads& roads() {
    static ExpressionRoads registered;
    return registered;
}

namespace {
PyTypeObject* expression_base_type = nullptr;
}  // namespace

PyTypeObject* expression_base() { return expression_base_type; }

// `type` when it is `base` or a subclass of it: the operators write their
// results into such instances' fields and read their operands' fields.
PyTypeObject* derived_class(nb::handle type, PyTypeObject* base, const char* what) {
    if (!PyType_Check(type.ptr()) || !PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(type.ptr()), base)) {
        const std::string passed = nb::cast<std::string>(nb::repr(type));
        throw nb::type_error(
            (std::string(what) + " must be a subclass of " + base->tp_name + ", got " + passed).c_str());
    }
    return reinterpret_cast<PyTypeObject*>(type.ptr());
}

void check_callable(nb::handle function, const char* what) {
    if (!PyCallable_Check(function.ptr())) {
        const std::string passed = nb::cast<std::string>(nb::repr(function));
        throw nb::type_error((std::string(what) + " must be callable, got " + passed).c_str());
    }
}

namespace {

// A chain as Python sees it: the reference road builds and reads chains through it.
struct ChainRef {
    TextChain::Link link;
};

PyObject* missing_attribute(PyObject* self, const char* name) {
    PyErr_Format(PyExc_AttributeError, "'%s' object has no attribute '%s'", Py_TYPE(self)->tp_name, name);
    return nullptr;
}

}  // namespace

PyObject* expression_text(ExpressionObject* expression) {
    if (expression->text == nullptr) {
        if (!expression->chain) return missing_attribute(reinterpret_cast<PyObject*>(expression), "_expr");
        // Guarded here, since str() and _expr read it outside any operator.
        expression->text = guarded([expression] {
            const std::string text = expression->chain->text();
            return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
        });
    }
    return expression->text;
}

PyObject* joined_text(std::initializer_list<std::string_view> pieces, bool ascii) {
    std::size_t size = 0;
    for (const std::string_view piece : pieces) size += piece.size();
    if (ascii) {
        PyObject* text = PyUnicode_New(static_cast<Py_ssize_t>(size), 127);
        if (text == nullptr) return nullptr;
        char* out = reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(text));
        for (const std::string_view piece : pieces) out = std::copy(piece.begin(), piece.end(), out);
        return text;
    }
    std::string utf8;
    utf8.reserve(size);
    for (const std::string_view piece : pieces) utf8 += piece;
    return PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "strict");
}

PyObject* new_expression(PyTypeObject* type, PyObject* text, PyObject* soft, bool compares, TextChain::Link chain) {
    PyObject* object = type->tp_alloc(type, 0);
    if (object == nullptr) {
        Py_XDECREF(text);
        return nullptr;
    }
    auto* expression = as_expression(object);
    new (&expression->chain) TextChain::Link(std::move(chain));
    expression->text = text;
    expression->soft = Py_XNewRef(soft);
    expression->compares = compares;
    return object;
}

namespace {

PyObject* expression_new(PyTypeObject* type, PyObject*, PyObject*) {
    return new_expression(type, nullptr, nullptr, false, nullptr);
}

int expression_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"expr", "soft", nullptr};
    PyObject* text = nullptr;
    PyObject* soft = Py_True;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO:Expression", const_cast<char**>(keywords), &text, &soft)) {
        return -1;
    }
    auto* expression = as_expression(self);
    Py_XSETREF(expression->text, text != nullptr ? Py_NewRef(text) : PyUnicode_FromStringAndSize("", 0));
    Py_XSETREF(expression->soft, Py_NewRef(soft));
    return 0;
}

// _expr and _soft take any object, the expression itself included: the
// collector must see them to free such a cycle.
int expression_traverse(PyObject* self, visitproc visit, void* arg) {
    auto* expression = as_expression(self);
    Py_VISIT(expression->text);
    Py_VISIT(expression->soft);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int expression_clear(PyObject* self) {
    auto* expression = as_expression(self);
    Py_CLEAR(expression->text);
    Py_CLEAR(expression->soft);
    return 0;
}

void expression_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    auto* expression = as_expression(self);
    Py_CLEAR(expression->text);
    Py_CLEAR(expression->soft);
    expression->chain.~shared_ptr();
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* expression_str(PyObject* self) { return Py_XNewRef(expression_text(as_expression(self))); }

PyObject* get_text(PyObject* self, void*) { return expression_str(self); }

int set_text(PyObject* self, PyObject* value, void*) {
    Py_XSETREF(as_expression(self)->text, Py_XNewRef(value));
    return 0;
}

PyObject* get_soft(PyObject* self, void*) {
    PyObject* soft = as_expression(self)->soft;
    return soft != nullptr ? Py_NewRef(soft) : missing_attribute(self, "_soft");
}

int set_soft(PyObject* self, PyObject* value, void*) {
    Py_XSETREF(as_expression(self)->soft, Py_XNewRef(value));
    return 0;
}

PyObject* get_compares(PyObject* self, void*) { return PyBool_FromLong(as_expression(self)->compares); }

int set_compares(PyObject* self, PyObject* value, void*) {
    const int truth = value != nullptr ? PyObject_IsTrue(value) : 0;
    if (truth < 0) return -1;
    as_expression(self)->compares = truth != 0;
    return 0;
}

PyObject* get_chain(PyObject* self, void*) {
    return guarded([self]() -> PyObject* {
        const TextChain::Link& chain = as_expression(self)->chain;
        return chain ? nb::cast(ChainRef{chain}).release().ptr() : Py_NewRef(Py_None);
    });
}

int set_chain(PyObject* self, PyObject* value, void*) {
    if (value == nullptr || value == Py_None) {
        as_expression(self)->chain.reset();
        return 0;
    }
    if (!nb::isinstance<ChainRef>(value)) {
        PyErr_SetString(PyExc_TypeError, "_chain must be a Chain or None");
        return -1;
    }
    as_expression(self)->chain = nb::inst_ptr<ChainRef>(value)->link;
    return 0;
}

// The same class, text, flags and chain; copy.copy and copy.deepcopy add the instance's attributes.
PyObject* duplicate(PyObject* self, PyObject*) {
    auto* expression = as_expression(self);
    return new_expression(Py_TYPE(self), Py_XNewRef(expression->text), expression->soft, expression->compares,
                          expression->chain);
}

PyGetSetDef expression_fields[] = {
    {"_expr", get_text, set_text, "The expression's text, written from its chain when first read.", nullptr},
    {"_soft", get_soft, set_soft, "True for a pseudo-Boolean term, False for a Boolean formula.", nullptr},
    {"soft", get_soft, nullptr, "True for a pseudo-Boolean term, False for a Boolean formula.", nullptr},
    {"_compares", get_compares, set_compares, "True when the whole text is one comparison.", nullptr},
    {"_chain", get_chain, set_chain, "The chain that this result of +, -, &, | or ^ ends, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef expression_methods[] = {
    {"_duplicate", duplicate, METH_NOARGS, "A new instance of the class with the same text, flags and chain."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot expression_slots[] = {
    {Py_tp_doc, const_cast<char*>("Expression text plus the soft flag: True for a pseudo-Boolean term, False "
                                  "for a Boolean formula. Operators only join texts.")},
    {Py_tp_new, reinterpret_cast<void*>(expression_new)},
    {Py_tp_init, reinterpret_cast<void*>(expression_init)},
    {Py_tp_dealloc, reinterpret_cast<void*>(expression_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(expression_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(expression_clear)},
    {Py_tp_str, reinterpret_cast<void*>(expression_str)},
    {Py_tp_getset, expression_fields},
    {Py_tp_methods, expression_methods},
    {Py_tp_richcompare, reinterpret_cast<void*>(expression_compare)},
    {Py_nb_add, reinterpret_cast<void*>(expression_add)},
    {Py_nb_subtract, reinterpret_cast<void*>(expression_subtract)},
    {Py_nb_multiply, reinterpret_cast<void*>(expression_multiply)},
    {Py_nb_and, reinterpret_cast<void*>(expression_and)},
    {Py_nb_or, reinterpret_cast<void*>(expression_or)},
    {Py_nb_xor, reinterpret_cast<void*>(expression_xor)},
    {Py_nb_invert, reinterpret_cast<void*>(expression_invert)},
    {0, nullptr},
};

PyType_Spec expression_spec = {
    "tarvo_encoder._native.ExpressionBase", sizeof(ExpressionObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, expression_slots,
};

PyObject* variable_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* object = type->tp_alloc(type, 0);
    if (object != nullptr) reinterpret_cast<VariableObject*>(object)->name = nullptr;
    return object;
}

// name takes any object, the variable itself included.
int variable_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(reinterpret_cast<VariableObject*>(self)->name);
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int variable_clear(PyObject* self) {
    Py_CLEAR(reinterpret_cast<VariableObject*>(self)->name);
    return 0;
}

void variable_dealloc(PyObject* self) {
    PyObject_GC_UnTrack(self);
    Py_CLEAR(reinterpret_cast<VariableObject*>(self)->name);
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* get_name(PyObject* self, void*) {
    PyObject* name = reinterpret_cast<VariableObject*>(self)->name;
    return name != nullptr ? Py_NewRef(name) : missing_attribute(self, "name");
}

int set_name(PyObject* self, PyObject* value, void*) {
    Py_XSETREF(reinterpret_cast<VariableObject*>(self)->name, Py_XNewRef(value));
    return 0;
}

PyGetSetDef variable_fields[] = {
    {"name", get_name, set_name, "The variable's name, the start of its element references' texts.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot variable_slots[] = {
    {Py_tp_doc, const_cast<char*>("The name of a model variable and its subscript, which writes element references.")},
    {Py_tp_new, reinterpret_cast<void*>(variable_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(variable_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(variable_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(variable_clear)},
    {Py_tp_getset, variable_fields},
    {Py_mp_subscript, reinterpret_cast<void*>(variable_subscript)},
    {0, nullptr},
};

PyType_Spec variable_spec = {
    "tarvo_encoder._native.VariableBase", sizeof(VariableObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, variable_slots,
};

PyTypeObject* add_type(nb::module_& m, const char* name, PyType_Spec& type_layout) {
    PyObject* type = PyType_FromSpec(&type_layout);
    if (type == nullptr) throw nb::python_error();
    m.attr(name) = nb::steal(type);
    return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace
}  // namespace tarvo::native

void bind_expressions(nb::module_& m) {
    using namespace tarvo::native;
    namespace kernels = tarvo::kernels;
    expression_base_type = add_type(m, "ExpressionBase", expression_spec);
    add_type(m, "VariableBase", variable_spec);
    m.attr("SUM_TERMS_LIMIT") = kernels::sum_terms_limit;
    m.attr("NESTING_LIMIT") = kernels::nesting_limit;
    m.def("nesting", [](std::string_view text) { return kernels::bracket_nesting(text); }, nb::arg("text"),
          "The deepest level of parentheses, brackets and braces in the text.");
    nb::class_<ChainRef>(m, "Chain",
                         "One operand of a chain of one operator and the chain before it; see text_chain.hpp.")
        .def(
            "__init__",
            [](ChainRef* self, nb::handle previous, std::string_view op, std::string_view operand, bool negated,
               std::int64_t size) {
                if (op.size() != 1 || !TextChain::is_operator(op[0])) {
                    throw nb::value_error("operator must be +, &, | or ^");
                }
                if (size < 0 || size > TextChain::max_size) {
                    throw nb::value_error(("size must be a count from 0 to " + std::to_string(TextChain::max_size) +
                                           ", got " + std::to_string(size))
                                              .c_str());
                }
                // Checked here: nb::cast of another object would end in a bare std::bad_cast.
                if (!previous.is_none() && !nb::isinstance<ChainRef>(previous)) {
                    throw nb::type_error("previous must be a Chain or None");
                }
                TextChain::Link before;
                if (!previous.is_none()) before = nb::cast<const ChainRef&>(previous).link;
                // A chain's text has one operator: another one starts a chain of its own.
                if (before && before->op() != op[0]) {
                    throw nb::value_error((std::string("previous is a chain of ") + before->op() + ", not of " +
                                           op[0])
                                              .c_str());
                }
                new (self) ChainRef{std::make_shared<const TextChain>(std::move(before), op[0], operand,
                                                                      std::string_view(), negated, size)};
            },
            nb::arg("previous").none(), nb::arg("operator"), nb::arg("operand"), nb::arg("negated"), nb::arg("size"))
        .def_prop_ro("operator", [](const ChainRef& chain) { return std::string(1, chain.link->op()); })
        .def("terms", [](const ChainRef& chain) { return chain.link->terms(); },
             "Top-level terms that this sum adds to a sum it is an operand of.")
        .def("nesting", [](const ChainRef& chain) { return chain.link->nesting(); },
             "The deepest nesting in this Boolean chain's text.")
        .def("text", [](const ChainRef& chain) { return chain.link->text(); });
    m.def(
        "register_expression_roads",
        [](nb::handle expression, nb::handle element, nb::tuple known, nb::handle boolean_step, nb::handle sum_step,
           nb::handle comparison, nb::handle not_equal, nb::handle multiply, nb::handle negation) {
            // Everything is checked before anything is registered.
            PyTypeObject* expression_type = derived_class(expression, expression_base(), "expression");
            PyTypeObject* element_type = derived_class(element, expression_type, "element");
            std::vector<PyTypeObject*> known_types;
            for (nb::handle type : known) known_types.push_back(derived_class(type, expression_base(), "a known class"));
            const std::pair<nb::handle, const char*> functions[] = {
                {boolean_step, "boolean_step"}, {sum_step, "sum_step"}, {comparison, "comparison"},
                {not_equal, "not_equal"}, {multiply, "multiply"}, {negation, "negation"}};
            for (const auto& [function, name] : functions) check_callable(function, name);

            ExpressionRoads& registered = roads();
            registered.expression = kept(expression_type);
            registered.element = kept(element_type);
            for (PyTypeObject* type : known_types) registered.known.push_back(kept(type));
            registered.boolean_step = kept(boolean_step.ptr());
            registered.sum_step = kept(sum_step.ptr());
            registered.comparison = kept(comparison.ptr());
            registered.not_equal = kept(not_equal.ptr());
            registered.multiply = kept(multiply.ptr());
            registered.negation = kept(negation.ptr());
        },
        nb::arg("expression"), nb::arg("element"), nb::arg("known"), nb::arg("boolean_step"), nb::arg("sum_step"),
        nb::arg("comparison"), nb::arg("not_equal"), nb::arg("multiply"), nb::arg("negation"),
        "Set, once, the classes that the operators make and know and the reference functions they call.");
    m.def(
        "joined_operands",
        [](std::string_view opening, nb::handle expressions, bool terms) -> nb::object {
            PyObject* text = guarded([&] { return joined_operands(opening, expressions.ptr(), terms); });
            if (text == nullptr && PyErr_Occurred()) throw nb::python_error();
            return text != nullptr ? nb::steal(text) : nb::none();
        },
        nb::arg("opening"), nb::arg("expressions"), nb::arg("terms"),
        "opening + ', '.join(operand texts) + '])' for a nonempty list or tuple of expressions of the known "
        "classes (terms for sure when `terms`), as SumIt, AndIt, OrIt and XorIt write it; None for any other "
        "sequence, which the reference road checks and writes.");
    m.def(
        "register_subscript_road",
        [](nb::handle subscript) {
            check_callable(subscript, "subscript");
            roads().subscript = kept(subscript.ptr());
        },
        nb::arg("subscript"), "Set, once, the reference function of a variable's subscript.");
    m.def(
        "set_expression_fast_road", [](bool fast) { roads().fast = fast; }, nb::arg("fast"),
        "With False, every operator and subscript takes the reference road (for tests comparing the roads).");
    m.def("expression_fast_road", []() { return roads().fast; });
}
