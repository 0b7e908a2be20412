// Ctrl-C during a long engine call: when the engine polls, the interpreter's
// signal handlers run, and what they raise ends the call.
#pragma once

#include <nanobind/nanobind.h>

#include "engine/core/interruption.hpp"

namespace corvane::bindings {

inline void check_signals() {
    if (PyErr_CheckSignals() != 0) throw nanobind::python_error();
}

// Each extension module holds its own copy of the engine's check: install it
// once per module, at load.
inline void install_signal_check() { corvane::set_interruption_check(&check_signals); }

}  // namespace corvane::bindings
