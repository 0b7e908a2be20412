#include "engine/core/wcnf_storage.hpp"

#include <memory>
#include <stdexcept>
#include <string>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>

#include "bindings/file_path.hpp"
#include "convert.hpp"

namespace corvane::bindings {

namespace {

nb::list to_list(std::span<const WcnfStorage::Literal> literals) {
    nb::list result;
    for (auto literal : literals) result.append(literal);
    return result;
}

nb::list clause_list(const WcnfStorage& storage, std::size_t index) {
    nb::list result = nb::steal<nb::list>(PyList_New(static_cast<Py_ssize_t>(storage.clause_size(index))));
    Py_ssize_t position = 0;
    storage.visit_clause(index, [&](WcnfStorage::Literal literal) {
        PyList_SET_ITEM(result.ptr(), position++, nb::int_(literal).release().ptr());
    });
    return result;
}

// A clause position or count: a negative int is a ValueError, not a huge size_t.
std::size_t to_clause_index(nb::handle value, const char* what) {
    const std::int64_t index = to_integral(value, what);
    if (index < 0) {
        throw std::invalid_argument(std::string(what) + " must not be negative, got " + std::to_string(index));
    }
    return static_cast<std::size_t>(index);
}

}  // namespace

void bind_wcnf_storage(nb::module_& m) {
    nb::class_<WcnfStorage>(m, "wcnf_storage",
                            "Hard and weighted soft clauses over signed 64-bit literals, with a DIMACS header.\n\n"
                            "Literals are non-zero ints (bool is refused); soft weights are positive ints below 2**63.")
        .def(nb::init<>())
        .def(
            "add_hard_clause",
            [](WcnfStorage& self, nb::handle literals) { self.add_hard_clause(to_literal_list(literals, "a clause literal")); },
            nb::arg("lits"), "Append a hard clause (a list or tuple of non-zero ints).")
        .def(
            "add_soft_clause",
            [](WcnfStorage& self, nb::handle literals, nb::handle weight) {
                auto clause = to_literal_list(literals, "a clause literal");
                self.add_soft_clause(clause, to_positive_integral(weight, "soft clause weight"));
            },
            nb::arg("lits"), nb::arg("weight"), "Append a soft clause with a positive weight.")
        .def("merge", &WcnfStorage::merge, nb::arg("other"),
             "Append all clauses, weights and prefatory values of `other`, in their order.")
        .def(
            "remove_clauses",
            [](WcnfStorage& self, nb::handle first, nb::handle count) {
                self.remove_clauses(to_clause_index(first, "first clause index"),
                                    to_clause_index(count, "count of clauses to remove"));
            },
            nb::arg("first"), nb::arg("count"),
            "Remove `count` clauses from index `first` on, counted over hard and soft clauses in insertion order.\n\n"
            "The other clauses keep their order; prefatory values and the header stay. A range beyond the stored\n"
            "clauses raises IndexError and a negative argument ValueError, removing nothing.")
        .def_prop_ro("stored_clause_count", &WcnfStorage::size,
                     "The number of clauses stored, hard and soft; clause_count is the header value instead.")
        .def(
            "insert_prefatory_value",
            [](WcnfStorage& self, nb::handle literal) { self.insert_prefatory_value(to_literal(literal, "literal")); },
            nb::arg("literal"), "Record a non-zero signed literal beside the clauses (written as a comment).")
        .def(
            "set_model_name",
            [](WcnfStorage& self, nb::handle name) { self.set_model_name(to_text(name, "the model name")); },
            nb::arg("name"))
        .def(
            "set_variable_count",
            [](WcnfStorage& self, nb::handle n) { self.set_variable_count(to_integral(n, "variable count")); },
            nb::arg("n"))
        .def(
            "set_clause_count",
            [](WcnfStorage& self, nb::handle n) { self.set_clause_count(to_integral(n, "clause count")); },
            nb::arg("n"))
        .def(
            "set_weight_limit",
            [](WcnfStorage& self, nb::handle n) { self.set_weight_limit(to_integral(n, "weight limit")); },
            nb::arg("n"))
        .def_prop_ro("model_name", &WcnfStorage::model_name)
        .def_prop_ro("variable_count", &WcnfStorage::variable_count, "The variable count last set, or None.")
        .def_prop_ro("clause_count", &WcnfStorage::clause_count, "The clause count last set, or None.")
        .def_prop_ro("weight_limit", &WcnfStorage::weight_limit, "The weight limit last set, or None.")
        .def(
            "hard_clauses",
            [](const WcnfStorage& self) {
                nb::list result;
                for (std::size_t i = 0; i < self.size(); ++i) {
                    if (!self.is_soft(i)) result.append(clause_list(self, i));
                }
                return result;
            },
            "The hard clauses in insertion order, each a list of ints.")
        .def(
            "soft_clauses",
            [](const WcnfStorage& self) {
                nb::list result;
                for (std::size_t i = 0; i < self.size(); ++i) {
                    if (self.is_soft(i)) result.append(nb::make_tuple(clause_list(self, i), self.weight(i)));
                }
                return result;
            },
            "The soft clauses in insertion order, each a (literals, weight) tuple.")
        .def("prefatory_values", [](const WcnfStorage& self) { return to_list(self.prefatory_values()); })
        .def("to_dimacs", &WcnfStorage::to_dimacs,
             "DIMACS text: 'p cnf' without soft clauses and weight limit, else 'p wcnf <vars> <clauses> <top>'.")
        .def(
            "write_dimacs",
            [](const WcnfStorage& self, nb::handle path) { self.write_dimacs(to_file_path(path)); },
            nb::arg("path"),
            "Write to_dimacs() to a str, bytes or os.PathLike path (OSError when it cannot be written).");
}

}  // namespace corvane::bindings
