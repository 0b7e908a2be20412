#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

NB_MODULE(kelpa, m) {
    m.doc() =
        "Pseudo-Boolean constraints to CNF.\n\n"
        "pb2cnf(config).encode2(constraint, database, aux_var_manager) appends to the\n"
        "database clauses that are satisfiable together with an assignment of the\n"
        "constraint's variables exactly when the assignment satisfies the constraint.\n"
        "Built encoders: ADDER (binary adder network) and BEST (the same choice);\n"
        "constraints whose weights are all equal go to a cardinality encoding\n"
        "(single clause, pairwise at-most-one or sequential counter) when that is\n"
        "smaller. The other PB_Encoder_type members raise NotImplementedError.\n\n"
        "PBConfig.max_clauses_per_constraint is a hard limit: encode2 raises\n"
        "ValueError for a constraint whose CNF needs more clauses, and leaves the\n"
        "database and the AuxVarManager as they were.";
    nanobind::register_exception_translator([](const std::exception_ptr& error, void*) {
        try {
            std::rethrow_exception(error);
        } catch (const corvane::kelpa::NotImplementedEncoder& e) {
            PyErr_SetString(PyExc_NotImplementedError, e.what());
        } catch (const corvane::kelpa::ClauseLimitExceeded& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
    corvane::kelpa_bindings::bind_enums(m);
    corvane::kelpa_bindings::bind_config(m);
    corvane::kelpa_bindings::bind_constraint(m);
    corvane::kelpa_bindings::bind_encoder(m);
}
