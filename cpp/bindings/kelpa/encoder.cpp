#include <algorithm>
#include <vector>

#include "convert.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa_bindings {

using namespace corvane::kelpa;

namespace {

// Reads the configuration at every encode2, so later changes to it apply.
struct Pb2Cnf {
    const PBConfig* config;
};

// One int object per variable sign, shared by all its occurrences, when the
// variable numbers are dense enough for a table; otherwise one per literal.
class IntCache {
public:
    explicit IntCache(const std::vector<Lit>& literals) {
        Lit max_var = 0;
        for (Lit lit : literals) max_var = std::max(max_var, lit < 0 ? -lit : lit);
        if (static_cast<std::size_t>(max_var) <= 2 * literals.size() + 1024) {
            table_.assign(2 * static_cast<std::size_t>(max_var) + 1, nullptr);
            offset_ = max_var;
        }
    }
    ~IntCache() {
        for (PyObject* value : table_) Py_XDECREF(value);
    }
    IntCache(const IntCache&) = delete;
    IntCache& operator=(const IntCache&) = delete;

    // A new reference.
    PyObject* get(Lit lit) {
        if (table_.empty()) return PyLong_FromLongLong(lit);
        PyObject*& slot = table_[static_cast<std::size_t>(lit + offset_)];
        if (slot == nullptr) slot = PyLong_FromLongLong(lit);
        Py_XINCREF(slot);
        return slot;
    }

private:
    std::vector<PyObject*> table_;
    Lit offset_ = 0;
};

// Lists of ints cannot form reference cycles, so the cyclic collector is
// paused while millions of them are made: it would rescan them again and again.
class CollectorPause {
public:
    CollectorPause() : was_enabled_(PyGC_Disable() != 0) {}
    ~CollectorPause() {
        if (was_enabled_) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    bool was_enabled_;
};

nb::list clauses_to_python(const ClauseBuffer& buffer) {
    const std::vector<Lit>& literals = buffer.literals();
    CollectorPause pause;
    IntCache ints(literals);
    PyObject* outer = PyList_New(static_cast<Py_ssize_t>(buffer.clause_count()));
    if (outer == nullptr) throw nb::python_error();
    nb::list result = nb::steal<nb::list>(outer);
    std::size_t start = 0;
    Py_ssize_t index = 0;
    for (std::size_t end = 0; end < literals.size(); ++end) {
        if (literals[end] != 0) continue;
        PyObject* clause = PyList_New(static_cast<Py_ssize_t>(end - start));
        if (clause == nullptr) throw nb::python_error();
        for (std::size_t i = start; i < end; ++i) {
            PyObject* value = ints.get(literals[i]);
            if (value == nullptr) {
                Py_DECREF(clause);
                throw nb::python_error();
            }
            PyList_SET_ITEM(clause, static_cast<Py_ssize_t>(i - start), value);
        }
        PyList_SET_ITEM(result.ptr(), index++, clause);
        start = end + 1;
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
