#pragma once

#include <nanobind/nanobind.h>

#include "kernels/aux_map_names.hpp"

// The aux map names of every instance as a dict in instance order; signal
// handlers run now and then, and what they raise ends the call.
nanobind::dict aux_map_dict(tarvo::kernels::AuxMapNames& names);

// Registers AuxMapBlock, and mapping_of and largest_mapped_number, which read
// the container's partial mappings without making a dict of every name.
void bind_mapping_parts(nanobind::module_& m);
