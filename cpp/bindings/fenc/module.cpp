#include <nanobind/nanobind.h>
#include <nanobind/stl/shared_ptr.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "bindings/file_path.hpp"
#include "bindings/python_values.hpp"
#include "bindings/signal_check.hpp"
#include "engine/core/interruption.hpp"
#include "engine/fenc/formula_encoder.hpp"

namespace nb = nanobind;
using corvane::fenc::FormulaEncoder;
using namespace corvane::bindings;

namespace {

// The encoder as Python holds it, taking one call at a time: the
// interruption check runs Python code (signal handlers, finalizers) that
// could call the same encoder while a call is inside its buffers.
struct PyEncoder : FormulaEncoder {
    using FormulaEncoder::FormulaEncoder;
    bool busy = false;
};

template <typename Call>
auto exclusive(PyEncoder& self, Call&& call) {
    if (self.busy) {
        throw std::logic_error("the formula encoder is inside another of its calls (from a signal handler or finalizer)");
    }
    self.busy = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{self.busy};
    return call();
}

}  // namespace

NB_MODULE(_fenc, m) {
    m.doc() = "Native formula encoder: compiles expression text into weighted CNF.";
    // The storage and mapping types returned here are registered by _core.
    nb::module_::import_("velmont.corvane_engine._core");
    corvane::bindings::install_signal_check();

    nb::register_exception_translator([](const std::exception_ptr& p, void*) {
        try {
            std::rethrow_exception(p);
        } catch (const corvane::fenc::FileWriteError& e) {
            PyErr_SetString(PyExc_OSError, e.what());
        }
    });

    nb::class_<PyEncoder>(m, "FormulaEncoder",
                          "Encodes a model given as declarations and expression texts into weighted CNF.\n\n"
                          "Long calls check for signals now and then: Ctrl-C stops them, leaving the encoder as it "
                          "was before the call.")
        .def(
            "__init__",
            [](PyEncoder* self, nb::handle name, bool clause_form_shortcuts) {
                new (self) PyEncoder(to_text(name, "the model name"), clause_form_shortcuts);
            },
            nb::arg("model_name"), nb::arg("clause_form_shortcuts") = true,
            "clause_form_shortcuts=False encodes every formula the general way (the reference the shortcuts "
            "are tested against); the CNF is the same.")
        .def(
            "create_variables",
            [](PyEncoder& self, nb::handle name, nb::handle sizes) {
                std::string text = to_text(name, "a variable name");
                auto list = to_integral_list(sizes, "a size");
                exclusive(self, [&] { self.create_variables(std::move(text), std::move(list)); });
            },
            nb::arg("name"), nb::arg("sizes"),
            "Declares a variable; its elements take the next numbers, row-major.")
        .def(
            "add_constraint",
            [](PyEncoder& self, nb::handle text, nb::handle foralls) {
                // Views: the arguments outlive the call.
                const std::string_view constraint = text_view(text, "the constraint text");
                const std::string_view foralls_text = text_view(foralls, "the foralls text");
                exclusive(self, [&] { self.add_constraint(constraint, foralls_text); });
            },
            nb::arg("text"), nb::arg("foralls_text"), "Adds a hard constraint for every combination of the foralls.")
        .def(
            "add_soft_constraint",
            [](PyEncoder& self, nb::handle text, nb::handle foralls, nb::handle weight, nb::handle minimization) {
                std::string constraint = to_text(text, "the constraint text");
                const std::string foralls_text = to_text(foralls, "the foralls text");
                const std::int64_t w = to_integral(weight, "the weight");
                const int truth = PyObject_IsTrue(minimization.ptr());
                if (truth < 0) throw nb::python_error();
                exclusive(self, [&] { self.add_soft_constraint(std::move(constraint), foralls_text, w, truth == 1); });
            },
            // The flag is read by its truth value, None (false) included, as container mode reads it.
            nb::arg("text"), nb::arg("foralls_text"), nb::arg("weight"), nb::arg("minimization").none(),
            "Adds a weighted soft sum for every combination of the foralls.")
        .def(
            "add_target",
            [](PyEncoder& self, nb::handle text) {
                std::string target = to_text(text, "the target text");
                exclusive(self, [&] { self.add_target(std::move(target)); });
            },
            nb::arg("text"), "Sets the sum to minimise.")
        .def(
            "generate_cnf", [](PyEncoder& self) { exclusive(self, [&] { self.generate_cnf(); }); },
            "Builds the clause storage and variable mapping.")
        .def("get_cnf_storage", &FormulaEncoder::cnf_storage, "The storage of the last generate_cnf, or None.")
        .def("get_var_mapping", &FormulaEncoder::var_mapping, "The mapping of the last generate_cnf, or None.")
        .def(
            "set_witness",
            [](PyEncoder& self, nb::handle model) {
                auto literals = to_literal_list(model, "a witness literal");
                exclusive(self, [&] { self.set_witness(std::move(literals)); });
            },
            nb::arg("model"), "Makes the next generate_cnf require a target value below this model's.")
        .def(
            "set_another_witness",
            [](PyEncoder& self, nb::handle model) {
                auto literals = to_literal_list(model, "a witness literal");
                exclusive(self, [&] { self.set_another_witness(std::move(literals)); });
            },
            nb::arg("model"), "Records a second model.")
        .def("check_another_witness", &FormulaEncoder::check_another_witness,
             "Whether the second model is set and differs from the first on the declared elements.")
        .def(
            "reset", [](PyEncoder& self) { exclusive(self, [&] { self.reset(); }); },
            "Forgets the witnesses and the target bound.")
        .def(
            "save_metrics_json",
            [](const PyEncoder& self, nb::handle path) {
                self.save_metrics_json(to_file_path(path));
                return true;
            },
            nb::arg("path"), "Writes the model's counts and times as JSON to a str, bytes or os.PathLike path; True once written.")
        .def(
            "save_metrics_csv",
            [](const PyEncoder& self, nb::handle path) {
                self.save_metrics_csv(to_file_path(path));
                return true;
            },
            nb::arg("path"), "Writes the model's counts and times as CSV to a str, bytes or os.PathLike path; True once written.");
}
