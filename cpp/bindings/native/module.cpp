#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include "engine/core/wcnf_storage.hpp"
#include "kernels/aux_map_names.hpp"
#include "kernels/template_expansion.hpp"

namespace nb = nanobind;

namespace {

using Coefficients = std::vector<std::int64_t>;
using LiteralForm = std::tuple<bool, std::int64_t, std::int64_t, Coefficients>;
using ClauseForm = std::tuple<std::vector<LiteralForm>, std::int64_t>;
using AuxForm = std::tuple<std::string, std::int64_t, std::int64_t>;

std::vector<tarvo::kernels::TemplateClause> to_clauses(const std::vector<ClauseForm>& forms) {
    std::vector<tarvo::kernels::TemplateClause> clauses;
    clauses.reserve(forms.size());
    for (const auto& [literal_forms, weight] : forms) {
        auto& clause = clauses.emplace_back();
        clause.weight = weight;
        for (const auto& [negated, base, per_instance, coefficients] : literal_forms) {
            clause.literals.push_back({negated, base, per_instance, coefficients});
        }
    }
    return clauses;
}

std::vector<tarvo::kernels::AuxVariable> to_aux_variables(const std::vector<AuxForm>& forms) {
    std::vector<tarvo::kernels::AuxVariable> variables;
    variables.reserve(forms.size());
    for (const auto& [prefix, aux_index, first_number] : forms) variables.push_back({prefix, aux_index, first_number});
    return variables;
}

void set_item(nb::dict& mapping, std::string_view name, std::int64_t number) {
    nb::str key(name.data(), name.size());
    nb::int_ value(number);
    if (PyDict_SetItem(mapping.ptr(), key.ptr(), value.ptr()) != 0) throw nb::python_error();
}

nb::dict expand_template(corvane::WcnfStorage& storage, const std::vector<ClauseForm>& clause_forms,
                         const std::vector<Coefficients>& forall_values, std::int64_t num_formula,
                         std::int64_t block_size, const std::vector<AuxForm>& aux_forms) {
    const auto clauses = to_clauses(clause_forms);
    const std::int64_t instances = tarvo::kernels::expand_template(clauses, forall_values, storage);
    tarvo::kernels::AuxMapNames names(num_formula, block_size, to_aux_variables(aux_forms));
    nb::dict mapping;
    for (std::int64_t n = 0; n < instances; ++n) {
        for (std::size_t entry = 0; entry < names.size(); ++entry) {
            set_item(mapping, names.name(n, entry), names.number(n, entry));
        }
    }
    return mapping;
}

}  // namespace

NB_MODULE(_native, m) {
    m.doc() = "Native kernels of tarvo_encoder.";
    // The clause storage type is registered there; it must be known before
    // a function of this module receives one.
    nb::module_::import_("velmont.corvane_engine._core");
    m.def("expand_template", &expand_template, nb::arg("storage"), nb::arg("clauses"), nb::arg("forall_values"),
          nb::arg("num_formula"), nb::arg("block_size"), nb::arg("aux_variables"),
          "Append every instance's clauses of a compiled template to `storage` and return its aux map names.\n\n"
          "clauses: [([(negated, base, per_instance, [coefficient per forall]), ...], weight), ...]\n"
          "forall_values: one list of ints per forall, outermost first\n"
          "aux_variables: [(prefix, aux_index, number in instance 0), ...] in first-appearance order");
}
