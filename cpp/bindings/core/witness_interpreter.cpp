#include "engine/core/witness_interpreter.hpp"

#include <nanobind/stl/shared_ptr.h>

#include "convert.hpp"

namespace corvane::bindings {

void bind_witness_interpreter(nb::module_& m) {
    nb::class_<WitnessInterpreter>(m, "witness_interpreter", "Reads a solver model back into variable names.")
        .def(nb::init<>())
        .def(
            "set_var_mapping",
            [](WitnessInterpreter& self, std::shared_ptr<VarMapping> mapping) {
                self.set_var_mapping(std::move(mapping));
            },
            nb::arg("mapping"))
        .def(
            "set_auxiliary_vars",
            [](WitnessInterpreter& self, nb::handle prefixes) {
                self.set_auxiliary_vars(to_text_list(prefixes, "auxiliary prefixes"));
            },
            nb::arg("prefixes"), "Name prefixes of auxiliary variables.")
        .def("build_mapping_tables", &WitnessInterpreter::build_mapping_tables, nb::arg("hide_auxiliary"),
             "Snapshot the mapping; with hide_auxiliary, names starting with an auxiliary prefix are left out.\n"
             "True when the tables hold at least one name.")
        .def(
            "interpret",
            [](const WitnessInterpreter& self, nb::handle model) {
                nb::dict result;
                for (const auto& [name, value] : self.interpret(to_literal_list(model, "a model literal"))) {
                    result[nb::str(name.data(), name.size())] = value;
                }
                return result;
            },
            nb::arg("model"),
            "A dict name -> bool from a solver model (signed ints). Missing variables are False; 0 is skipped.");
}

}  // namespace corvane::bindings
