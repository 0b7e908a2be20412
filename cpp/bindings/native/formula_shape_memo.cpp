#include "bindings/native/formula_shape_memo.hpp"

#include <string>
#include <utility>
#include <vector>

#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include "bindings/python_values.hpp"
#include "kernels/formula_shape_memo.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

// (clause form, pb shift, bx shift) or None; see the method's docstring.
nb::object recall(const kernels::FormulaShapeMemo& memo, nb::handle text) {
    const auto utf8 = corvane::bindings::utf8_text_or_none(text);
    auto recalled = utf8 ? memo.recall(*utf8) : std::nullopt;
    if (!recalled) return nb::none();
    return nb::make_tuple(std::move(recalled->clause_form), recalled->pb_shift, recalled->bx_shift);
}

bool wants(const kernels::FormulaShapeMemo& memo, nb::handle text) {
    const auto utf8 = corvane::bindings::utf8_text_or_none(text);
    return utf8 && memo.wants(*utf8);
}

bool remember(kernels::FormulaShapeMemo& memo, nb::handle text,
              const std::vector<std::vector<std::string>>& clauses, std::int64_t pb_shift, std::int64_t bx_shift) {
    const auto utf8 = corvane::bindings::utf8_text_or_none(text);
    return utf8 && memo.remember(*utf8, clauses, pb_shift, bx_shift);
}

}  // namespace

void bind_formula_shape_memo(nb::module_& m) {
    nb::class_<kernels::FormulaShapeMemo>(
        m, "FormulaShapeMemo",
        "The clause forms that the evaluation road recorded for hard constraints without foralls, kept by the "
        "shape of their text (the text with its element references told apart but not named).")
        .def(nb::init<kernels::DeclaredVariables>(), nb::arg("variables"))
        .def("recall", &recall, nb::arg("text"),
             "(the NumberedTemplate kept for the text's shape over the text's elements and the kept aux names, "
             "the pb shift, the bx shift) as the evaluation road recorded them for a text of that shape; None "
             "for a shape not kept.")
        .def("wants", &wants, nb::arg("text"),
             "Whether remember would keep a clause form for the text: it has a shape, not kept yet.")
        .def("remember", &remember, nb::arg("text"), nb::arg("clauses"), nb::arg("pb_shift"), nb::arg("bx_shift"),
             "Keeps for the text's shape the clause form that the evaluation road recorded for the text: "
             "[[variable name, '~' before a negated one, ...] per clause], and its shifts. False, keeping "
             "nothing, when the text has no shape or a clause names an element that the text does not.");
}
