#pragma once

#include <nanobind/nanobind.h>

// Registers clause_formula, numbered_template and NumberedTemplate,
// transformed_clause_form and clause_count: the encoder's clauses and
// formulas in clause form, over the variables that a Manager pairs.
void bind_clause_forms(nanobind::module_& m);
