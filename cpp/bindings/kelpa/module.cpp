#include "bindings/signal_check.hpp"
#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

NB_MODULE(kelpa, m) {
    m.doc() =
        "Pseudo-Boolean constraints to CNF.\n\n"
        "pb2cnf(config).encode2(constraint, database, aux_var_manager) appends to the\n"
        "database clauses that are satisfiable together with an assignment of the\n"
        "constraint's variables exactly when the assignment satisfies the constraint.\n"
        "Built encoders: ADDER (binary adder network of exact full adders: once the\n"
        "inputs are assigned, unit propagation refutes any violation) and BEST (the\n"
        "same choice). Constraints whose weights are all equal go to the smallest\n"
        "arc-consistent cardinality encoding (single clause, pairwise at-most-one,\n"
        "sequential counter or totalizer). The other PB_Encoder_type members raise\n"
        "NotImplementedError.\n\n"
        "PBConfig.max_clauses_per_constraint caps the cardinality encodings: one\n"
        "that needs more clauses gives way to the adder, which is never capped.";
    nanobind::register_exception_translator([](const std::exception_ptr& error, void*) {
        try {
            std::rethrow_exception(error);
        } catch (const corvane::kelpa::NotImplementedEncoder& e) {
            PyErr_SetString(PyExc_NotImplementedError, e.what());
        }
    });
    corvane::bindings::install_signal_check();
    corvane::kelpa_bindings::bind_enums(m);
    corvane::kelpa_bindings::bind_config(m);
    corvane::kelpa_bindings::bind_constraint(m);
    corvane::kelpa_bindings::bind_encoder(m);
}
