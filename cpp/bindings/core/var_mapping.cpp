#include "engine/core/var_mapping.hpp"

#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>

#include "convert.hpp"
#include "engine/core/interruption.hpp"

namespace corvane::bindings {

void bind_var_mapping(nb::module_& m) {
    nb::class_<VarMapping>(m, "var_mapping", "Variable names to non-negative variable numbers and back.")
        .def(nb::init<>())
        .def(
            "set_var_map",
            [](VarMapping& self, nb::handle mapping) {
                if (!PyDict_Check(mapping.ptr())) {
                    throw nb::type_error("set_var_map expects a dict from str to int");
                }
                // Every key and value is converted before any is checked, and the
                // names go straight into the mapping's arena.
                for (auto [name, number] : nb::borrow<nb::dict>(mapping)) {
                    text_view(name, "a variable name");
                    to_literal(number, "variable number");
                }
                MappingEntries entries;
                InterruptionPoll poll;
                for (auto [name, number] : nb::borrow<nb::dict>(mapping)) {
                    poll.step();
                    entries.add_name(text_view(name, "a variable name"), to_literal(number, "variable number"));
                }
                self.set_entries(std::move(entries));
            },
            nb::arg("var_map"), "Replace the mapping with a dict from names to variable numbers.")
        .def("build_inverse_map", &VarMapping::build_inverse_map,
             "Build the number-to-name look-up (ValueError when two names share a number).")
        .def(
            "number_of",
            [](const VarMapping& self, nb::handle name) {
                const auto number = self.find_number(text_view(name, "a variable name"));
                if (!number) {
                    PyErr_SetObject(PyExc_KeyError, name.ptr());
                    throw nb::python_error();
                }
                return *number;
            },
            nb::arg("name"))
        .def(
            "name_of",
            [](const VarMapping& self, nb::handle number) {
                const auto name = self.find_name(to_literal(number, "variable number"));
                if (!name) throw nb::key_error(nb::str(number).c_str());
                return *name;
            },
            nb::arg("number"), "The name of a variable number (after build_inverse_map()).")
        .def("__len__", &VarMapping::size);
}

}  // namespace corvane::bindings
