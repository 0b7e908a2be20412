#pragma once

#include <nanobind/nanobind.h>

// Registers SmallComparisonReader.
void bind_small_comparison(nanobind::module_& m);
