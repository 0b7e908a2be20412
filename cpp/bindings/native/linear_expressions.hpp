#pragma once

#include <nanobind/nanobind.h>

// Registers LinearExpressionBase, LinearVariableBase and the functions that set up their roads.
void bind_linear_expressions(nanobind::module_& m);
