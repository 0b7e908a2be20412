#include "convert.hpp"

#include <string>

namespace corvane::kelpa_bindings {

std::int64_t to_int64(nb::handle value, const char* what) {
    PyObject* index = PyNumber_Index(value.ptr());
    if (index == nullptr) {
        PyErr_Clear();
        throw nb::type_error((std::string(what) + " must be an int, not " +
                              nb::type_name(value.type()).c_str()).c_str());
    }
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(index, &overflow);
    Py_DECREF(index);
    if (overflow != 0) {
        PyErr_SetString(PyExc_OverflowError,
                        (std::string(what) + " does not fit in a signed 64-bit integer (-2**63 to 2**63 - 1)").c_str());
        throw nb::python_error();
    }
    return result;
}

}  // namespace corvane::kelpa_bindings
