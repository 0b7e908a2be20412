#include "convert.hpp"

namespace corvane::bindings {

namespace {

[[noreturn]] void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw nb::python_error();
}

std::string type_of(nb::handle value) { return nb::type_name(value.type()).c_str(); }

void require_int(nb::handle value, const char* what) {
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr())) {
        raise(PyExc_TypeError, std::string(what) + " must be an int, got " + type_of(value));
    }
}

}  // namespace

std::int64_t to_int64(nb::handle value, const char* what) {
    require_int(value, what);
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0) {
        raise(PyExc_OverflowError, std::string(what) + " " + nb::str(value).c_str() + " does not fit in 64 bits");
    }
    if (result == -1 && PyErr_Occurred()) throw nb::python_error();
    return result;
}

std::int64_t to_positive_int64(nb::handle value, const char* what) {
    require_int(value, what);
    // Sign first: a huge negative weight is a wrong sign, not an overflow.
    if (PyObject_RichCompareBool(value.ptr(), nb::int_(0).ptr(), Py_LE) == 1) {
        raise(PyExc_ValueError, std::string(what) + " must be positive, got " + nb::str(value).c_str());
    }
    return to_int64(value, what);
}

std::vector<std::int64_t> to_int64_list(nb::handle values, const char* what) {
    if (!PyList_Check(values.ptr()) && !PyTuple_Check(values.ptr())) {
        raise(PyExc_TypeError, std::string(what) + " must be a list or tuple of ints, got " + type_of(values));
    }
    const nb::sequence sequence = nb::borrow<nb::sequence>(values);
    std::vector<std::int64_t> result;
    result.reserve(nb::len(sequence));
    for (nb::handle item : sequence) result.push_back(to_int64(item, "literal"));
    return result;
}

std::string to_utf8(nb::handle value, const char* what) {
    if (!PyUnicode_Check(value.ptr())) {
        raise(PyExc_TypeError, std::string(what) + " must be a str, got " + type_of(value));
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (data == nullptr) throw nb::python_error();  // e.g. a lone surrogate: UnicodeEncodeError
    return std::string(data, static_cast<std::size_t>(size));
}

std::vector<std::string> to_string_list(nb::handle values, const char* what) {
    if (!PyList_Check(values.ptr()) && !PyTuple_Check(values.ptr())) {
        raise(PyExc_TypeError, std::string(what) + " must be a list or tuple of str, got " + type_of(values));
    }
    std::vector<std::string> result;
    for (nb::handle item : nb::borrow<nb::sequence>(values)) result.push_back(to_utf8(item, what));
    return result;
}

}  // namespace corvane::bindings
