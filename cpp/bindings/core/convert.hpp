#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nanobind/nanobind.h>

#include "bindings/python_values.hpp"

namespace corvane::bindings {

namespace nb = nanobind;

void bind_wcnf_storage(nb::module_& m);
void bind_var_mapping(nb::module_& m);
void bind_witness_interpreter(nb::module_& m);

}  // namespace corvane::bindings
