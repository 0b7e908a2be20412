#pragma once

#include <nanobind/nanobind.h>

// Registers expand_template, expand_texts and DeclaredVariables: a template's
// instances over its foralls, expanded into a clause storage.
void bind_expansion(nanobind::module_& m);
