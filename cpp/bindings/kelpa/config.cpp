#include <string>

#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa_bindings {

using namespace corvane::kelpa;

void bind_config(nb::module_& m) {
    nb::class_<PBConfig>(m, "PBConfig", "Settings of pb2cnf.")
        .def(nb::init<>())
        .def_rw("pb_encoder", &PBConfig::pb_encoder, "PB_Encoder_type; BEST by default.")
        .def_prop_rw(
            "max_clauses_per_constraint", [](const PBConfig& c) { return c.max_clauses_per_constraint; },
            [](PBConfig& c, nb::handle value) {
                const std::int64_t limit = to_integral(value, "max_clauses_per_constraint");
                if (limit < 0) {
                    throw nb::value_error(
                        ("max_clauses_per_constraint must not be negative, got " + std::to_string(limit)).c_str());
                }
                c.max_clauses_per_constraint = limit;
            },
            "encode2 raises ValueError for a constraint needing more clauses than this (default 1000000).");

    nb::class_<AuxVarManager>(m, "AuxVarManager", "Hands out variable numbers first, first + 1, ..., none twice.")
        .def("__init__",
             [](AuxVarManager* self, nb::handle first) { new (self) AuxVarManager(to_literal(first, "first")); },
             nb::arg("first"))
        .def("get_variable", &AuxVarManager::get_variable);
}

}  // namespace corvane::kelpa_bindings
