#include "bindings/native/mapping_parts.hpp"

#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/shared_ptr.h>

#include "bindings/python_values.hpp"
#include "bindings/signal_check.hpp"
#include "engine/core/var_mapping.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;
using corvane::bindings::text_view;
using corvane::bindings::to_integral;
using corvane::bindings::to_integral_list;
using corvane::bindings::to_literal;

nb::dict aux_map_dict(kernels::AuxMapNames& names) {
    nb::dict mapping;
    std::uint64_t since_check = 0;
    for (std::int64_t n = 0; n < names.instances(); ++n) {
        for (std::size_t entry = 0; entry < names.size(); ++entry) {
            const std::string_view name = names.name(n, entry);
            nb::str key(name.data(), name.size());
            nb::int_ value(names.number(n, entry));
            if (PyDict_SetItem(mapping.ptr(), key.ptr(), value.ptr()) != 0) throw nb::python_error();
        }
        since_check += names.size() + 1;
        if (since_check >= (1u << 14)) {
            since_check = 0;
            corvane::bindings::check_signals();
        }
    }
    return mapping;
}

namespace {

// The entries of the partial mappings in order: a dict from names to numbers,
// an AuxMapBlock, or the element names of a declared variable as a tuple
// (name, [size per dimension], first number). Raises ValueError when two
// parts would map one name, which only their merge as dicts can settle.
corvane::MappingEntries entries_of(nb::handle parts) {
    corvane::MappingEntries entries;
    std::vector<corvane::MappingEntries::AuxVariable> variables;
    std::uint64_t steps = 0;
    const auto step = [&] {
        if (++steps % (1u << 14) == 0) corvane::bindings::check_signals();
    };
    for (nb::handle part : corvane::bindings::to_sequence(parts, "parts", "partial mappings")) {
        step();
        if (PyDict_CheckExact(part.ptr())) {
            for (auto [name, number] : nb::borrow<nb::dict>(part)) {
                step();
                entries.add_name(text_view(name, "a variable name"), to_literal(number, "variable number"));
            }
        } else if (nb::isinstance<kernels::AuxMapNames>(part)) {
            const auto& block = nb::cast<const kernels::AuxMapNames&>(part);
            variables.clear();
            for (const kernels::AuxVariable& v : block.variables()) {
                variables.push_back({v.prefix, v.aux_index, v.first_number});
            }
            entries.add_aux_block(block.num_formula(), 0, block.instances(), block.block_size(), variables);
        } else if (PyTuple_Check(part.ptr()) && PyTuple_GET_SIZE(part.ptr()) == 3) {
            const auto sizes = to_integral_list(part[1], "a size");
            entries.add_elements(text_view(part[0], "a variable name"), sizes, to_integral(part[2], "a first number"));
        } else {
            throw nb::type_error("a partial mapping is a dict, an AuxMapBlock or an element names tuple");
        }
    }
    return entries;
}

}  // namespace

void bind_mapping_parts(nb::module_& m) {
    nb::class_<kernels::AuxMapNames>(m, "AuxMapBlock",
                                     "The aux map names of one expanded formula, kept as their block: every "
                                     "instance's aux variables named <prefix>[<formula>,<n>,<aux index>].")
        .def("as_dict", &aux_map_dict, "The names and numbers as the dict that expand_texts returns.")
        .def("__len__", [](const kernels::AuxMapNames& names) {
            return static_cast<std::size_t>(names.instances()) * names.size();
        });
    m.def(
        "mapping_of",
        [](nb::handle parts) {
            auto mapping = std::make_shared<corvane::VarMapping>();
            mapping->set_entries(entries_of(parts));
            return mapping;
        },
        nb::arg("parts"),
        "The engine var_mapping of the partial mappings (dicts, AuxMapBlocks and (name, sizes, first) element "
        "tuples) in order, its inverse not built; ValueError when two parts would map one name.");
    m.def(
        "largest_mapped_number", [](nb::handle parts) { return entries_of(parts).largest_number(); },
        nb::arg("parts"), "The largest number of the partial mappings, None without any; as mapping_of refuses.");
}
