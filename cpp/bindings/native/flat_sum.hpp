#pragma once

#include <nanobind/nanobind.h>

// Registers read_flat_sum and its result type FlatSum.
void bind_flat_sum(nanobind::module_& m);
