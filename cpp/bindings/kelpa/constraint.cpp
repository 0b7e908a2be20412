#include <string>

#include <nanobind/stl/string.h>

#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa_bindings {

using namespace corvane::kelpa;

void bind_constraint(nb::module_& m) {
    nb::class_<WeightedLit>(m, "WeightedLit", "A literal (nonzero signed variable number) with an int weight.")
        .def("__init__",
             [](WeightedLit* self, nb::handle lit, nb::handle weight) {
                 const Lit l = to_literal(lit, "WeightedLit lit");
                 if (l == 0) throw nb::value_error("WeightedLit lit must be a nonzero variable number");
                 new (self) WeightedLit{l, to_integral(weight, "WeightedLit weight")};
             },
             nb::arg("lit"), nb::arg("weight"))
        .def_prop_ro("lit", [](const WeightedLit& w) { return w.lit; })
        .def_prop_ro("weight", [](const WeightedLit& w) { return w.weight; })
        .def("__repr__", [](const WeightedLit& w) {
            return "WeightedLit(" + std::to_string(w.lit) + ", " + std::to_string(w.weight) + ")";
        });

    nb::class_<PBConstraint>(m, "PBConstraint", "sum(weighted_lits) <= (LEQ), >= (GEQ) or == (BOTH) bound.")
        .def("__init__",
             [](PBConstraint* self, nb::handle weighted_lits, Comparator comparator, nb::handle bound) {
                 std::vector<WeightedLit> terms;
                 for (nb::handle item : weighted_lits) {
                     // An instance that Python made with __new__ holds no literal.
                     if (!nb::isinstance<WeightedLit>(item) || !nb::inst_ready(item)) {
                         throw nb::type_error(("PBConstraint: weighted_lits must hold WeightedLit objects, not " +
                                               std::string(nb::isinstance<WeightedLit>(item) ? "an empty one made with __new__"
                                                                                             : nb::type_name(item.type()).c_str()))
                                                  .c_str());
                     }
                     terms.push_back(nb::cast<const WeightedLit&>(item));
                 }
                 new (self) PBConstraint{std::move(terms), comparator, to_integral(bound, "PBConstraint bound")};
             },
             nb::arg("weighted_lits"), nb::arg("comparator"), nb::arg("bound"));
}

}  // namespace corvane::kelpa_bindings
