#include "bindings/native/flat_sum.hpp"

#include <optional>
#include <string>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include "bindings/python_values.hpp"
#include "kernels/flat_sum_text.hpp"

namespace nb = nanobind;
namespace kernels = tarvo::kernels;

namespace {

nb::object owned(PyObject* result) {
    if (result == nullptr) throw nb::python_error();
    return nb::steal(result);
}

// Each member's value, made as the evaluation of the text makes it, in the
// same order: name(indexes...), its to_pb(), then coefficient * that.
nb::list members(const kernels::FlatSumText& read, const nb::dict& namespace_) {
    std::vector<nb::object> callables;
    for (const std::string& name : read.names) {
        PyObject* callable = PyDict_GetItemWithError(namespace_.ptr(), nb::str(name.data(), name.size()).ptr());
        if (callable == nullptr) {
            if (PyErr_Occurred()) throw nb::python_error();
            throw nb::key_error(name.c_str());
        }
        callables.push_back(nb::borrow(callable));
    }
    const nb::str to_pb("to_pb");
    nb::list values;
    std::vector<nb::object> arguments;
    std::vector<PyObject*> argument_pointers;
    for (const kernels::FlatSumMember& member : read.members) {
        arguments.clear();
        argument_pointers.clear();
        for (std::size_t k = 0; k < member.index_count; ++k) {
            arguments.push_back(nb::int_(read.indexes[member.first_index + k]));
            argument_pointers.push_back(arguments.back().ptr());
        }
        nb::object reference = owned(PyObject_Vectorcall(callables[member.name].ptr(), argument_pointers.data(),
                                                         argument_pointers.size(), nullptr));
        PyObject* self = reference.ptr();
        nb::object term = owned(PyObject_VectorcallMethod(to_pb.ptr(), &self, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
        if (member.scaled) term = owned(PyNumber_Multiply(nb::int_(member.coefficient).ptr(), term.ptr()));
        values.append(term);
    }
    return values;
}

}  // namespace

void bind_flat_sum(nb::module_& m) {
    nb::class_<kernels::FlatSumText>(
        m, "FlatSum", "A flat sum compared with a bound or weighted as an objective, as read_flat_sum reads it.")
        .def_ro("objective", &kernels::FlatSumText::objective, "True for a weighted objective (to_maxsat).")
        .def_ro("names", &kernels::FlatSumText::names, "The variable names the members call, each once.")
        .def_ro("comparator", &kernels::FlatSumText::comparator)
        .def_ro("bound", &kernels::FlatSumText::bound)
        .def_ro("weight", &kernels::FlatSumText::weight)
        .def_ro("minimization", &kernels::FlatSumText::minimization, "Its text: True, False, None or an int.")
        .def("members", &members, nb::arg("namespace"),
             "The members' values, each made as the evaluation of its text makes it (the call of its variable "
             "name in `namespace`, to_pb(), the coefficient's product), in text order; KeyError for a name "
             "that `namespace` lacks.");
    m.def(
        "read_flat_sum",
        [](nb::handle text) -> std::optional<kernels::FlatSumText> {
            const auto utf8 = corvane::bindings::utf8_text_or_none(text);
            return utf8 ? kernels::read_flat_sum_text(*utf8) : std::nullopt;
        },
        nb::arg("text"),
          "The text FormulaPB(Sum(*[m, ...]), pb.Comparator_type.C, bound).to_bx(manager) or "
          "FormulaPB(weight * (Sum(*[m, ...])), None, None).to_maxsat(manager, minimization), every member "
          "name(int, ...).to_pb() or int * (name(int, ...).to_pb()), read as a FlatSum; None for any other text, "
          "and for a text without a UTF-8 form or not a str.");
}
