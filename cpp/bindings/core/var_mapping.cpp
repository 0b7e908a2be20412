#include "engine/core/var_mapping.hpp"

#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>

#include "convert.hpp"

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
                std::vector<VarMapping::Entry> entries;
                entries.reserve(nb::len(mapping));
                for (auto [name, number] : nb::borrow<nb::dict>(mapping)) {
                    entries.emplace_back(to_text(name, "a variable name"), to_literal(number, "variable number"));
                }
                self.set_var_map(std::move(entries));
            },
            nb::arg("var_map"), "Replace the mapping with a dict from names to variable numbers.")
        .def("build_inverse_map", &VarMapping::build_inverse_map,
             "Build the number-to-name look-up (ValueError when two names share a number).")
        .def(
            "number_of",
            [](const VarMapping& self, nb::handle name) {
                const std::string text = to_text(name, "a variable name");
                const auto number = self.find_number(text);
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
                const auto* name = self.find_name(to_literal(number, "variable number"));
                if (name == nullptr) throw nb::key_error(nb::str(number).c_str());
                return *name;
            },
            nb::arg("number"), "The name of a variable number (after build_inverse_map()).")
        .def("__len__", &VarMapping::size);
}

}  // namespace corvane::bindings
