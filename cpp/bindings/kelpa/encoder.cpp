#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa_bindings {

using namespace corvane::kelpa;

namespace {

// Reads the configuration at every encode2, so later changes to it apply.
struct Pb2Cnf {
    const PBConfig* config;
};

nb::list clauses_to_python(const ClauseBuffer& buffer) {
    nb::list result;
    std::vector<Lit> clause;
    for (Lit lit : buffer.literals()) {
        if (lit != 0) {
            clause.push_back(lit);
            continue;
        }
        PyObject* py_clause = PyList_New(static_cast<Py_ssize_t>(clause.size()));
        if (py_clause == nullptr) throw nb::python_error();
        for (std::size_t i = 0; i < clause.size(); ++i) {
            PyList_SET_ITEM(py_clause, static_cast<Py_ssize_t>(i), PyLong_FromLongLong(clause[i]));
        }
        result.append(nb::steal(py_clause));
        clause.clear();
    }
    return result;
}

}  // namespace

void bind_encoder(nb::module_& m) {
    nb::class_<ClauseBuffer>(m, "VectorClauseDatabase", "Clauses in the order encode2 appends them.")
        .def("__init__", [](ClauseBuffer* self, const PBConfig&) { new (self) ClauseBuffer(); }, nb::arg("config"),
             "The config is accepted for interface compatibility; the database keeps every clause.")
        .def("get_clauses", &clauses_to_python, "A new list of clauses, each a list of nonzero signed ints.");

    nb::class_<Pb2Cnf>(m, "pb2cnf", "The encoder; it reads the given PBConfig at every encode2.")
        .def("__init__", [](Pb2Cnf* self, const PBConfig& config) { new (self) Pb2Cnf{&config}; },
             nb::arg("config"), nb::keep_alive<1, 2>())
        .def(
            "encode2",
            [](const Pb2Cnf& self, const PBConstraint& constraint, ClauseBuffer& database, AuxVarManager& aux) {
                encode(constraint, *self.config, aux, database);
            },
            nb::arg("constraint"), nb::arg("database"), nb::arg("aux_var_manager"),
            "Appends the CNF of the constraint to the database, auxiliary numbers drawn from aux_var_manager.");
}

}  // namespace corvane::kelpa_bindings
