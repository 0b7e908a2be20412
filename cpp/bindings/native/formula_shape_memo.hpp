#pragma once

#include <nanobind/nanobind.h>

// Registers FormulaShapeMemo.
void bind_formula_shape_memo(nanobind::module_& m);
