#include "bindings/native/plain_clause.hpp"

#include <optional>
#include <string>
#include <utility>

#include <nanobind/stl/string.h>

#include "bindings/python_values.hpp"
#include "engine/core/wcnf_storage.hpp"
#include "kernels/numbered_template.hpp"
#include "kernels/plain_clause.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

void bind_plain_clause(nb::module_& m) {
    nb::class_<kernels::PlainClauseReader>(
        m, "PlainClauseReader",
        "Reads the expression text of one clause over declared elements (nested bx.or_s lists of "
        "x(1).to_bx() and ~(x(1).to_bx()), or a bare x(1)), or of a Boolean formula over them, without "
        "evaluating it.")
        .def(nb::init<kernels::DeclaredVariables, std::string>(), nb::arg("variables"), nb::arg("aux_prefix"))
        .def(
            "clause_storage",
            [](const kernels::PlainClauseReader& reader, nb::handle text) -> nb::object {
                const auto utf8 = corvane::bindings::utf8_text_or_none(text);
                const auto literals = utf8 ? reader.read(*utf8) : std::nullopt;
                if (!literals) return nb::none();
                corvane::WcnfStorage storage;
                storage.add_hard_clause(*literals);
                return nb::cast(std::move(storage));
            },
            nb::arg("text"),
            "A new clause storage holding the clause as a hard clause, its literals sorted by absolute value; "
            "None when the text is not sure to mean that clause when evaluated.")
        .def(
            "formula_storage",
            [](kernels::PlainClauseReader& reader, nb::handle text) -> nb::object {
                const auto utf8 = corvane::bindings::utf8_text_or_none(text);
                auto read = utf8 ? reader.formula(*utf8) : std::nullopt;
                if (!read) return nb::none();
                nb::object storage = read->storage ? nb::cast(std::move(*read->storage)) : nb::none();
                return nb::make_tuple(nb::cast(std::move(read->clause_form)), storage, read->aux_count);
            },
            nb::arg("text"),
            "(clause form, storage or None, aux count) for the expression text of a Boolean formula over declared "
            "elements (nested bx.and_s, or_s, xor_s and eq_s lists, bx.impl_s, bx.ite_s, ~( ), bx.one(), "
            "bx.zero() and x(1).to_bx() literals): the clause form the evaluation road records (a "
            "NumberedTemplate over the elements and the aux variables, named aux_prefix + '_' + k), a new clause "
            "storage holding instance 0 of a form without aux variables as the container's expansion stores it "
            "(None for a form with aux variables), and the number of aux variables. None when that form is a "
            "constant, and when the text is not sure to mean that formula when evaluated.");
}
