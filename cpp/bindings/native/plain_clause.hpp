#pragma once

#include <nanobind/nanobind.h>

// Registers PlainClauseReader: clauses and Boolean formulas of declared
// elements read from their expression text without evaluating it.
void bind_plain_clause(nanobind::module_& m);
