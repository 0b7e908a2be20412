#include "bindings/native/small_comparison.hpp"

#include <utility>

#include <nanobind/stl/pair.h>

#include "bindings/python_values.hpp"
#include "kernels/small_comparison.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

void bind_small_comparison(nb::module_& m) {
    nb::class_<kernels::SmallComparisonReader>(
        m, "SmallComparisonReader",
        "Reads the expression text of a constraint that is one comparison of a sum of int multiples of declared "
        "elements with an int bound, and encodes it without evaluating it.")
        .def(nb::init<kernels::DeclaredVariables>(), nb::arg("variables"))
        .def_ro_static("MAX_SHAPES_KEPT", &kernels::SmallComparisonReader::kMaxShapesKept,
                       "How many shapes (weights, comparator, bound, encoder settings) the reader keeps the "
                       "encoding of.")
        .def(
            "encoded",
            [](kernels::SmallComparisonReader& reader, nb::handle text, const corvane::kelpa::PBConfig& config,
               const corvane::kelpa::AuxVarManager& numbers) -> nb::object {
                const auto utf8 = corvane::bindings::utf8_text_or_none(text);
                if (!utf8) return nb::none();
                corvane::WcnfStorage storage;
                auto form = reader.encode(*utf8, config, numbers, storage);
                if (!form) return nb::none();
                return nb::make_tuple(std::move(*form), std::move(storage));
            },
            nb::arg("text"), nb::arg("config"), nb::arg("numbers"),
            "(the NumberedTemplate that the evaluation road makes of the comparison, a new clause storage holding "
            "its clauses over the declared elements, each sorted by absolute value), the members numbered from "
            "the kelpa AuxVarManager `numbers` (left as it is) and encoded with the PBConfig `config`; None when "
            "the evaluation road may store anything else for the text: aux variables, a constant, a repeated "
            "element, anything it does not read.");
}
