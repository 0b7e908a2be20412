#pragma once

#include <nanobind/nanobind.h>

// Registers support_names: what the model reads of a template formula's
// support.
void bind_support_names(nanobind::module_& m);
