#pragma once

#include <nanobind/nanobind.h>

// Registers read_linear_rows.
void bind_linear_rows(nanobind::module_& m);
