#include <system_error>

#include "convert.hpp"

NB_MODULE(_core, m) {
    m.doc() = "Clause storage, variable mapping and witness interpreter of the engine.";
    nanobind::register_exception_translator([](const std::exception_ptr& error, void*) {
        try {
            std::rethrow_exception(error);
        } catch (const std::system_error& e) {
            PyErr_SetString(PyExc_OSError, e.what());
        }
    });
    corvane::bindings::bind_wcnf_storage(m);
    corvane::bindings::bind_var_mapping(m);
    corvane::bindings::bind_witness_interpreter(m);
}
