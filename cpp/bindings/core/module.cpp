#include <nanobind/nanobind.h>

namespace nb = nanobind;

NB_MODULE(_core, m) {
    m.doc() = "Clause storage, variable mapping and witness interpreter of the engine.";
}
