#include "bindings/native/expansion.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "bindings/native/mapping_parts.hpp"
#include "bindings/python_values.hpp"
#include "bindings/signal_check.hpp"
#include "engine/core/wcnf_storage.hpp"
#include "engine/dravo/node.hpp"
#include "kernels/aux_map_names.hpp"
#include "kernels/numbered_template.hpp"
#include "kernels/template_compiler.hpp"
#include "kernels/template_expansion.hpp"
#include "kernels/template_texts.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

// Numbers come in by the integral rule of the bindings' conversion (int,
// bool or numpy integer), records and lists as lists or tuples.
using corvane::bindings::to_flag;
using corvane::bindings::to_integral;
using corvane::bindings::to_integral_list;
using corvane::bindings::to_record;
using corvane::bindings::to_sequence;
using corvane::bindings::to_text;

using Coefficients = std::vector<std::int64_t>;

// [([(negated, base, per_instance, [coefficient per forall]), ...], weight), ...]
std::vector<kernels::TemplateClause> to_clauses(nb::handle forms) {
    std::vector<kernels::TemplateClause> clauses;
    for (nb::handle form : to_sequence(forms, "clauses", "clause records")) {
        const auto clause_form = to_record(form, 2, "a clause record");
        auto& clause = clauses.emplace_back();
        for (nb::handle literal : to_sequence(clause_form[0], "a clause's literals", "literal records")) {
            const auto fields = to_record(literal, 4, "a literal record");
            clause.literals.push_back({to_flag(fields[0], "negated"), to_integral(fields[1], "a literal base"),
                                       to_integral(fields[2], "a literal step per instance"),
                                       to_integral_list(fields[3], "a literal coefficient")});
        }
        clause.weight = to_integral(clause_form[1], "a clause weight");
    }
    return clauses;
}

// [(prefix, aux_index, number in instance 0), ...]
std::vector<kernels::AuxVariable> to_aux_variables(nb::handle forms) {
    std::vector<kernels::AuxVariable> variables;
    for (nb::handle form : to_sequence(forms, "aux_variables", "aux records")) {
        const auto fields = to_record(form, 3, "an aux record");
        variables.push_back({to_text(fields[0], "an aux prefix"), to_integral(fields[1], "an aux index"),
                             to_integral(fields[2], "an aux number")});
    }
    return variables;
}

// One list of ints per forall.
std::vector<Coefficients> to_forall_values(nb::handle values) {
    std::vector<Coefficients> result;
    for (nb::handle forall : to_sequence(values, "forall_values", "lists")) {
        result.push_back(to_integral_list(forall, "a forall value"));
    }
    return result;
}

// Expands the clauses into `storage` and returns the aux map names of every
// instance as their block. Every check comes first, so a failed call leaves
// `storage` as it was.
kernels::AuxMapNames expand_into(corvane::WcnfStorage& storage, const std::vector<kernels::TemplateClause>& clauses,
                                 const std::vector<Coefficients>& forall_values, std::int64_t num_formula,
                                 std::int64_t block_size, std::vector<kernels::AuxVariable> aux_variables) {
    const std::int64_t instances = kernels::count_instances(forall_values);
    kernels::AuxMapNames names(num_formula, block_size, std::move(aux_variables), instances);
    // The GIL is held throughout: the handlers run in the loop, and what they raise ends it.
    kernels::expand_template(clauses, forall_values, storage, corvane::bindings::check_signals);
    return names;
}

// The aux map names as a dict; an interrupt while it is written removes the
// clauses that the expansion stored from `first` on.
nb::dict aux_dict_of_expansion(kernels::AuxMapNames& names, corvane::WcnfStorage& storage, std::size_t first) {
    try {
        return aux_map_dict(names);
    } catch (...) {
        storage.remove_clauses(first, storage.size() - first);
        throw;
    }
}

nb::dict expand_template(corvane::WcnfStorage& storage, nb::handle clause_forms, nb::handle forall_values,
                         nb::handle num_formula, nb::handle block_size, nb::handle aux_forms) {
    auto clauses = to_clauses(clause_forms);
    const auto values = to_forall_values(forall_values);
    const std::int64_t formula = to_integral(num_formula, "num_formula");
    const std::int64_t block = to_integral(block_size, "block_size");
    const std::size_t first = storage.size();
    kernels::AuxMapNames names = expand_into(storage, clauses, values, formula, block, to_aux_variables(aux_forms));
    return aux_dict_of_expansion(names, storage, first);
}

// The literal texts of a template given as a clause-form formula, as a
// numbered template or as lists of texts, one list per clause.
std::optional<kernels::LiteralTexts> literal_texts(nb::handle template_clauses) {
    if (nb::isinstance<corvane::dravo::Node>(template_clauses)) {
        return kernels::literal_texts_of(nb::cast<corvane::dravo::Expr>(template_clauses));
    }
    if (nb::isinstance<kernels::NumberedTemplate>(template_clauses)) {
        return nb::cast<const kernels::NumberedTemplate&>(template_clauses).literal_texts();
    }
    kernels::LiteralTextsBuilder texts;
    for (nb::handle clause : template_clauses) {
        if (!nb::isinstance<nb::list>(clause) && !nb::isinstance<nb::tuple>(clause)) return std::nullopt;
        for (nb::handle text : clause) {
            if (!PyUnicode_CheckExact(text.ptr())) return std::nullopt;
            texts.add(to_text(text, "a literal text"));
        }
        texts.end_clause();
    }
    return texts.take();
}

// [(name, first number, [size per dimension], [stride per dimension]), ...]
kernels::DeclaredVariables declared_variables(nb::handle variable_forms) {
    kernels::DeclaredVariables variables;
    for (nb::handle form : to_sequence(variable_forms, "variables", "variable records")) {
        const auto fields = to_record(form, 4, "a variable record");
        variables.by_name.try_emplace(to_text(fields[0], "a variable name"),
                                      kernels::DeclaredVariable{to_integral(fields[1], "a first number"),
                                                                to_integral_list(fields[2], "a size"),
                                                                to_integral_list(fields[3], "a stride")});
    }
    return variables;
}

std::optional<nb::object> expand_texts(corvane::WcnfStorage& storage, nb::handle template_clauses,
                                     nb::handle weight_list, const std::vector<std::string>& forall_names,
                                     nb::handle forall_value_lists, const kernels::DeclaredVariables& variables,
                                     nb::handle formula_number, nb::handle first_aux, nb::handle pb_aux_count,
                                     nb::handle bx_aux_count, const std::string& pb_prefix,
                                     const std::string& bx_prefix, bool aux_block) {
    const Coefficients weights = to_integral_list(weight_list, "a weight");
    const auto forall_values = to_forall_values(forall_value_lists);
    const std::int64_t num_formula = to_integral(formula_number, "num_formula");
    const std::int64_t init_shift = to_integral(first_aux, "init_shift");
    const std::int64_t pb_count = to_integral(pb_aux_count, "pb_count");
    const std::int64_t bx_count = to_integral(bx_aux_count, "bx_count");
    if (forall_names.size() != forall_values.size()) throw nb::value_error("one name per forall is needed");
    std::vector<kernels::Forall> foralls;
    for (std::size_t d = 0; d < forall_names.size(); ++d) {
        const auto& values = forall_values[d];
        if (values.empty()) return std::nullopt;  // no instance: the evaluation costs next to nothing
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        foralls.push_back({forall_names[d], *low, *high});
    }
    const kernels::AuxNumbering numbering{init_shift, pb_count, bx_count, pb_prefix, bx_prefix};
    std::optional<kernels::CompiledTemplate> compiled;
    if (foralls.empty() && nb::isinstance<kernels::NumberedTemplate>(template_clauses)) {
        // One instance: each name is compiled once, without writing and reading every signed text.
        compiled = kernels::compile_instance(nb::cast<const kernels::NumberedTemplate&>(template_clauses), weights,
                                             variables, numbering);
    } else {
        const auto texts = literal_texts(template_clauses);
        if (!texts) return std::nullopt;
        compiled = kernels::compile_template(*texts, weights, foralls, variables, numbering);
    }
    if (!compiled) return std::nullopt;
    const std::size_t first = storage.size();
    kernels::AuxMapNames names = expand_into(storage, compiled->clauses, forall_values, num_formula,
                                             pb_count + bx_count, std::move(compiled->aux_variables));
    if (aux_block) return nb::cast(std::move(names));
    return aux_dict_of_expansion(names, storage, first);
}

}  // namespace

void bind_expansion(nb::module_& m) {
    m.def("expand_template", &expand_template, nb::arg("storage"), nb::arg("clauses"), nb::arg("forall_values"),
          nb::arg("num_formula"), nb::arg("block_size"), nb::arg("aux_variables"),
          "Append every instance's clauses of a compiled template to `storage` and return its aux map names.\n\n"
          "clauses: [([(negated, base, per_instance, [coefficient per forall]), ...], weight), ...]\n"
          "forall_values: one list of ints per forall, outermost first\n"
          "aux_variables: [(prefix, aux_index, number in instance 0), ...] in first-appearance order\n\n"
          "Numbers that leave 1 ... 2**63 - 1 in some instance raise OverflowError, a negative weight, block size "
          "or aux index ValueError, before anything is stored. Signal handlers run now and then; when one raises, "
          "the clauses stored by the call are removed and its exception propagates.");
    m.def("expand_texts", &expand_texts, nb::arg("storage"), nb::arg("template"), nb::arg("weights"),
          nb::arg("forall_names"), nb::arg("forall_values"), nb::arg("variables"), nb::arg("num_formula"),
          nb::arg("init_shift"), nb::arg("pb_count"), nb::arg("bx_count"), nb::arg("pb_prefix"),
          nb::arg("bx_prefix"), nb::arg("aux_block") = false,
          "Compile the literal texts of a template and expand it as expand_template does; None, with nothing "
          "stored, when some text is not sure to mean what the evaluation of the expansion text makes of it.\n"
          "With aux_block, the aux map names come as an AuxMapBlock instead of a dict.\n\n"
          "template: a clause-form dravo formula, or one list of literal texts per clause\n"
          "weights: one per clause (0: hard)\n"
          "variables: the DeclaredVariables that the template's references call");
    nb::class_<kernels::DeclaredVariables>(m, "DeclaredVariables",
                                           "The declared variables by name, as the expansion calls them.")
        .def("__init__",
             [](kernels::DeclaredVariables* self, nb::handle variable_forms) {
                 new (self) kernels::DeclaredVariables(declared_variables(variable_forms));
             },
             nb::arg("variables"),
             "variables: [(name, first number, [size per dimension], [stride per dimension]), ...]; the first "
             "of two entries with one name counts");
}
