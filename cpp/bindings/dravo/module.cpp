#include <nanobind/nanobind.h>
#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include <functional>
#include <string>

#include "bindings/python_values.hpp"
#include "engine/dravo/dravo.hpp"

namespace nb = nanobind;
using namespace corvane::dravo;
using corvane::bindings::to_text;

namespace {

std::string type_name_of(nb::handle h) { return nb::cast<std::string>(nb::type_name(h.type())); }

// An expression made by the engine: an instance that Python made with
// __new__ holds none.
bool is_expression(nb::handle h) { return nb::isinstance<Node>(h) && nb::inst_ready(h); }

std::string describe(nb::handle h) {
    return nb::isinstance<Node>(h) ? "an empty " + type_name_of(h) + " made with __new__" : type_name_of(h);
}

Expr to_expr(nb::handle h, const char* where) {
    if (!is_expression(h))
        throw nb::type_error((std::string(where) + " expects dravo expressions, got " + describe(h)).c_str());
    return nb::cast<Expr>(h);
}

// A list (any iterable) of expressions; a single expression, a string or an
// element of another type is refused.
std::vector<Expr> to_exprs(nb::handle items, const char* where) {
    const std::string refusal = std::string(where) + " expects a list of dravo expressions, got ";
    if (nb::isinstance<Node>(items) || nb::isinstance<nb::str>(items) || nb::isinstance<nb::bytes>(items) ||
        !nb::hasattr(items, "__iter__"))
        throw nb::type_error((refusal + type_name_of(items)).c_str());
    std::vector<Expr> exprs;
    for (nb::handle item : items) {
        if (!is_expression(item))
            throw nb::type_error((refusal + "an element that is " + describe(item)).c_str());
        exprs.push_back(nb::cast<Expr>(item));
    }
    return exprs;
}

using ListBuilder = Expr (*)(std::span<const Expr>);

void def_list_function(nb::module_& m, const char* name, ListBuilder build, const char* doc) {
    m.def(
        name, [name, build](nb::handle args) { return build(to_exprs(args, name)); }, nb::arg("args"), doc);
}

}  // namespace

NB_MODULE(dravo, m) {
    m.doc() =
        "Boolean expressions: immutable formula nodes owned by the engine, a Context of named "
        "variables, simplifying constructors and the Tseytin transformation to CNF.\n\n"
        "Expressions compare and hash by node identity: two handles are equal when they refer to "
        "the same node (a Context returns the same Variable for the same name).";

    nb::class_<Node>(m, "BaseExpr", "Base of every Boolean expression.")
        .def("get_args", &Node::args, "The operands, in their fixed order (empty for variables and constants).")
        .def("support", [](const Node& n) { return support(n.shared_from_this()); },
             "The variables of the formula, each once, in order of first appearance.")
        .def("tseytin",
             [](const Node& n, Context& context, nb::handle prefix) {
                 return tseytin(n.shared_from_this(), context, to_text(prefix, "the prefix"));
             },
             nb::arg("context"), nb::arg("prefix"),
             "An equisatisfiable formula in flat CNF: an And of clauses (each an Or of literals or a "
             "single literal), a single Or, a single literal, Zero or One. New variables are created in "
             "`context` as prefix + '_' + k, k = 0, 1, ... per call; shared subformulas get one new "
             "variable, a formula already in CNF none. Polarity-aware (Plaisted-Greenbaum) clauses.")
        .def("__invert__", [](const Node& n) { return negate(n.shared_from_this()); })
        .def("__str__", [](const Node& n) { return to_string(n.shared_from_this()); })
        .def("__repr__", [](const Node& n) { return to_string(n.shared_from_this()); })
        // Anything else, None included, is for Python to compare (by identity in the end).
        .def(
            "__eq__",
            [](nb::handle a, nb::handle b) -> nb::object {
                if (!is_expression(a) || !is_expression(b)) return nb::borrow(Py_NotImplemented);
                return nb::bool_(&nb::cast<const Node&>(a) == &nb::cast<const Node&>(b));
            },
            nb::arg("other").none())
        .def(
            "__ne__",
            [](nb::handle a, nb::handle b) -> nb::object {
                if (!is_expression(a) || !is_expression(b)) return nb::borrow(Py_NotImplemented);
                return nb::bool_(&nb::cast<const Node&>(a) != &nb::cast<const Node&>(b));
            },
            nb::arg("other").none())
        .def("__hash__", [](const Node& n) { return std::hash<const Node*>{}(&n); });

    nb::class_<Zero, Node>(m, "Zero", "The constant false.");
    nb::class_<One, Node>(m, "One", "The constant true.");
    nb::class_<Variable, Node>(m, "Variable", "A named variable; prints as its name.");
    nb::class_<Not, Node>(m, "Not", "Negation; a negated variable prints as '~' + name.");
    nb::class_<And, Node>(m, "And", "Conjunction of its operands.");
    nb::class_<Or, Node>(m, "Or", "Disjunction of its operands.");
    nb::class_<Xor, Node>(m, "Xor", "Parity: true when an odd number of operands are true.");
    nb::class_<Eq, Node>(m, "Eq", "Equivalence: true when all operands have the same value.");
    nb::class_<Impl, Node>(m, "Impl", "Implication: premise implies conclusion.");
    nb::class_<Ite, Node>(m, "Ite", "If-then-else: cond ? then : else.");

    nb::class_<Context>(m, "Context", "A namespace of variables: one Variable per name.")
        .def(nb::init<>())
        .def(
            "get_var", [](Context& self, nb::handle name) { return self.get_var(to_text(name, "a variable name")); },
            nb::arg("name"),
             "The variable of that name, created on first use. A name that is empty or contains '~' "
             "raises ValueError.");

    def_list_function(m, "and_s", &and_s,
                      "Simplified conjunction of a list of expressions: constants fold, nested "
                      "conjunctions flatten, duplicates drop; a & ~a gives Zero; [] gives One.");
    def_list_function(m, "or_s", &or_s,
                      "Simplified disjunction of a list of expressions: constants fold, nested "
                      "disjunctions flatten, duplicates drop; a | ~a gives One; [] gives Zero.");
    def_list_function(m, "xor_s", &xor_s,
                      "Simplified exclusive or of a list of expressions, read as parity: true when an odd "
                      "number of them are true. Pairs cancel, constants fold; [] gives Zero.");
    def_list_function(m, "eq_s", &eq_s,
                      "Simplified equivalence of a list of expressions: true when all of them have the "
                      "same value. [] and a single expression give One.");
    m.def("and_", [](nb::handle args) { return and_(to_exprs(args, "and_")); }, nb::arg("args"),
          "Plain conjunction: an And holding every listed expression as its own operand, in list "
          "order, duplicates kept, for any length. Never simplifies.");
    m.def("impl_s",
          [](nb::handle a, nb::handle b) { return impl_s(to_expr(a, "impl_s"), to_expr(b, "impl_s")); },
          nb::arg("a"), nb::arg("b"), "Simplified implication: a implies b.");
    m.def("ite_s",
          [](nb::handle c, nb::handle t, nb::handle e) {
              return ite_s(to_expr(c, "ite_s"), to_expr(t, "ite_s"), to_expr(e, "ite_s"));
          },
          nb::arg("c"), nb::arg("t"), nb::arg("e"), "Simplified if-then-else: if c then t else e.");
    m.def("one", &one, "The constant true.");
    m.def("zero", &zero, "The constant false.");
}
