#include "bindings/native/clause_forms.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>

#include "bindings/python_values.hpp"
#include "engine/dravo/context.hpp"
#include "engine/dravo/node.hpp"
#include "engine/kelpa/kelpa.hpp"
#include "kernels/clause_form.hpp"
#include "kernels/clause_formula.hpp"
#include "kernels/numbered_template.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

using corvane::bindings::to_integral;

// The texts as the container's lists, one list of str per clause.
nb::list literal_text_lists(const kernels::NumberedTemplate& numbered) {
    const kernels::LiteralTexts texts = numbered.literal_texts();
    std::vector<nb::str> distinct;
    distinct.reserve(texts.texts.size());
    for (const std::string& text : texts.texts) distinct.emplace_back(text.data(), text.size());
    nb::list clauses;
    std::size_t begin = 0;
    for (const std::size_t end : texts.clause_ends) {
        nb::list clause;
        for (std::size_t i = begin; i < end; ++i) clause.append(distinct[texts.literals[i]]);
        clauses.append(clause);
        begin = end;
    }
    return clauses;
}

// The variable that the Manager pairs with a number, or nullptr.
std::shared_ptr<const corvane::dravo::Variable> paired_variable(const nb::dict& pb2bx, std::int64_t number) {
    nb::int_ key(number);
    PyObject* found = PyDict_GetItemWithError(pb2bx.ptr(), key.ptr());
    if (found == nullptr) {
        if (PyErr_Occurred()) throw nb::python_error();
        return nullptr;
    }
    return nb::cast<std::shared_ptr<const corvane::dravo::Variable>>(nb::handle(found));
}

// The encoder's database as the clause form that the reference road makes of
// it (clause_formula, then the transformation), or None where that road
// takes another turn. The template's next_index is the aux counter as
// clause_formula would leave it; the pairing table is only read, since no
// formula over its variables is made.
std::optional<kernels::NumberedTemplate> numbered_template(nb::handle clauses, const nb::dict& pb2bx,
                                                           nb::handle aux_index, const std::string& prefix) {
    std::vector<std::int64_t> listed;
    std::span<const std::int64_t> database;
    if (nb::isinstance<corvane::kelpa::ClauseBuffer>(clauses)) {
        database = nb::cast<const corvane::kelpa::ClauseBuffer&>(clauses).literals();
    } else {
        for (nb::handle clause : clauses) {
            for (nb::handle literal : clause) {
                listed.push_back(to_integral(literal, "a clause literal"));
                if (listed.back() == 0) return std::nullopt;  // 0 ends a clause in the database's form
            }
            listed.push_back(0);
        }
        database = listed;
    }
    // The dictionary keeps each variable alive for the call.
    const kernels::PairedVariable paired = [&pb2bx](std::int64_t number) -> std::optional<kernels::PairedName> {
        const auto variable = paired_variable(pb2bx, number);
        if (variable == nullptr) return std::nullopt;
        return kernels::PairedName{variable.get(), variable->name()};
    };
    return kernels::numbered_template(database, paired, prefix, to_integral(aux_index, "aux_index"));
}

// (formula, next aux index): the encoder's clauses (lists of ints, or its
// database) as one formula over the paired variables; new numbers are paired
// and named as Manager.get_pb_var pairs and names them, from aux_index on,
// into the tables pb2bx and name2pb and the context.
nb::tuple clause_formula(nb::handle clauses, const nb::dict& pb2bx, const nb::dict& name2pb,
                         corvane::dravo::Context& context, nb::handle aux_index, const std::string& prefix) {
    std::vector<std::int64_t> literals;
    std::vector<std::size_t> clause_ends;
    if (nb::isinstance<corvane::kelpa::ClauseBuffer>(clauses)) {
        // The encoder's database itself: its literals with a 0 after every clause.
        for (const std::int64_t literal : nb::cast<const corvane::kelpa::ClauseBuffer&>(clauses).literals()) {
            if (literal == 0) {
                clause_ends.push_back(literals.size());
            } else {
                literals.push_back(literal);
            }
        }
    } else {
        for (nb::handle clause : clauses) {
            for (nb::handle literal : clause) literals.push_back(to_integral(literal, "a clause literal"));
            clause_ends.push_back(literals.size());
        }
    }
    const auto paired = [&pb2bx](std::int64_t number) { return paired_variable(pb2bx, number); };
    kernels::ClauseFormulaBuilder builder(paired, context, prefix, to_integral(aux_index, "aux_index"));
    const corvane::dravo::Expr formula = builder.build(literals, clause_ends);
    for (const auto& [number, variable] : builder.new_pairs()) {
        name2pb[nb::str(variable->name().c_str())] = nb::int_(number);
        pb2bx[nb::int_(number)] = nb::cast(variable);
    }
    return nb::make_tuple(nb::cast(formula), builder.next_index());
}

}  // namespace

void bind_clause_forms(nb::module_& m) {
    m.def("clause_formula", &clause_formula, nb::arg("clauses"), nb::arg("pb2bx"), nb::arg("name2pb"),
          nb::arg("context"), nb::arg("aux_index"), nb::arg("prefix"),
          "(and_s of one or_s per clause (lists of ints, or a kelpa VectorClauseDatabase), the next aux index): "
          "literal n stands for the variable pb2bx pairs with n and -n for its negation; a number not yet "
          "paired is paired with a new variable of the context named prefix + '_' + aux index, from aux_index "
          "on in order of first appearance, and entered in pb2bx and name2pb, as Manager.get_pb_var does.");
    m.def(
        "transformed_clause_form",
        [](const corvane::dravo::Node& formula) -> std::optional<corvane::dravo::Expr> {
            return kernels::transformed_clause_form(formula.shared_from_this());
        },
        nb::arg("formula"),
        "What formula.tseytin() gives for a formula already in clause form (an And of Or nodes of literals "
        "over distinct variables and of literals, or one such Or or literal), found without transforming; "
        "None for any other formula.");
    nb::class_<kernels::NumberedTemplate>(
        m, "NumberedTemplate",
        "A template formula in clause form as numbered literals, as numbered_template makes it; the container "
        "and the expansion take it where they take a clause-form formula.")
        .def("literal_texts", &literal_text_lists,
             "The literal texts that the container writes for the equivalent formula, one list per clause.")
        .def_ro("next_aux_index", &kernels::NumberedTemplate::next_index,
                "The aux index after those of its aux variables, as clause_formula answers it.");
    m.def("numbered_template", &numbered_template, nb::arg("clauses"), nb::arg("pb2bx"), nb::arg("aux_index"),
          nb::arg("prefix"),
          "What transformed_clause_form of the formula of clause_formula(clauses, pb2bx, ..., aux_index, prefix) "
          "gives, as a NumberedTemplate, pb2bx only read; None when that formula is constant or not in clause "
          "form, some name would not read back through its literal text, or a listed clause holds 0.");
    m.def(
        "clause_count",
        [](const corvane::dravo::Node& formula) {
            return formula.kind() == corvane::dravo::Kind::And ? formula.args().size() : std::size_t{1};
        },
        nb::arg("formula"), "The number of clauses of a clause-form formula: the operands of an And, else 1.");
    m.def(
        "clause_count", [](const kernels::NumberedTemplate& numbered) { return numbered.clause_count(); },
        nb::arg("formula"));
}
