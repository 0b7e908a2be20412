#include "bindings/native/small_comparison.hpp"

#include <string>
#include <utility>

#include <nanobind/stl/string.h>

#include "bindings/python_values.hpp"
#include "kernels/small_comparison.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

// (form, storage holding instance 0 or None, aux count), or None; see the
// method's docstring.
nb::object encoded(kernels::SmallComparisonReader& reader, nb::handle text, const corvane::kelpa::PBConfig& config,
                   const corvane::kelpa::AuxVarManager& numbers, nb::handle aux_index) {
    const auto utf8 = corvane::bindings::utf8_text_or_none(text);
    if (!utf8) return nb::none();
    const std::int64_t first_aux = corvane::bindings::to_integral(aux_index, "aux_index");
    corvane::WcnfStorage storage;
    auto encoding = reader.encode(*utf8, config, numbers, first_aux, storage);
    if (!encoding) return nb::none();
    nb::object expanded = encoding->expanded ? nb::cast(std::move(storage)) : nb::none();
    return nb::make_tuple(std::move(encoding->form), expanded, encoding->aux_count);
}

// [(element, reference, weight), ...] or None; see the method's docstring.
nb::object soft_terms(const kernels::SmallComparisonReader& reader, nb::handle text) {
    const auto utf8 = corvane::bindings::utf8_text_or_none(text);
    const auto terms = utf8 ? reader.soft_terms(*utf8) : std::nullopt;
    if (!terms) return nb::none();
    nb::list listed;
    for (const kernels::SoftTerm& term : *terms) listed.append(nb::make_tuple(term.element, term.reference, term.weight));
    return listed;
}

}  // namespace

void bind_small_comparison(nb::module_& m) {
    nb::class_<kernels::SmallComparisonReader>(
        m, "SmallComparisonReader",
        "Reads the expression text of a constraint that is one comparison of a sum of int multiples of declared "
        "elements with an int bound, and encodes it without evaluating it.")
        .def(nb::init<kernels::DeclaredVariables, std::string>(), nb::arg("variables"), nb::arg("aux_prefix"))
        .def_ro_static("MAX_SHAPES_KEPT", &kernels::SmallComparisonReader::kMaxShapesKept,
                       "How many shapes (weights, comparator, bound, encoder settings) the reader keeps the "
                       "encoding of.")
        .def("encoded", &encoded, nb::arg("text"), nb::arg("pb_config"), nb::arg("pb_var_manager"),
             nb::arg("aux_index"),
             "(the NumberedTemplate that the evaluation road makes of the comparison, a new clause storage holding "
             "its clauses over the declared elements (each sorted by absolute value) or None when it has aux "
             "variables, how many aux variables it has), the members numbered from pb_var_manager and encoded "
             "with pb_config, its aux variables named aux_prefix + '_' + index from aux_index on; both are left "
             "as they are. None when the evaluation road may record anything else for the "
             "text: a constant, a repeated element, anything it does not read.")
        .def("soft_terms", &soft_terms, nb::arg("text"),
             "[(element number, reference text, coefficient times weight), ...] in text order for the text "
             "FormulaPB(<weight> * (<sum>), None, None).to_maxsat(manager, <minimization>) of a soft constraint "
             "that is a sum of int multiples of distinct declared elements, of which the evaluation road makes one "
             "soft clause per term; None for any other text.");
}
