// Conversions at the boundary of the kelpa module.
#pragma once

#include <cstdint>

#include <nanobind/nanobind.h>

namespace corvane::kelpa_bindings {

namespace nb = nanobind;

// Any int-like value (bool included: True is 1) to int64; TypeError for
// non-integers, OverflowError naming `what` beyond 64 bits.
std::int64_t to_int64(nb::handle value, const char* what);

void bind_enums(nb::module_& m);
void bind_config(nb::module_& m);
void bind_constraint(nb::module_& m);
void bind_encoder(nb::module_& m);

}  // namespace corvane::kelpa_bindings
