// The kelpa module's parts, and the boundary conversions they share with
// every binding module.
#pragma once

#include <cstdint>

#include <nanobind/nanobind.h>

#include "bindings/python_values.hpp"

namespace corvane::kelpa_bindings {

namespace nb = nanobind;

using corvane::bindings::to_integral;
using corvane::bindings::to_literal;

void bind_enums(nb::module_& m);
void bind_config(nb::module_& m);
void bind_constraint(nb::module_& m);
void bind_encoder(nb::module_& m);

}  // namespace corvane::kelpa_bindings
