#pragma once

#include <string>

#include <nanobind/nanobind.h>

namespace corvane::bindings {

// A file path as open() takes it (str, bytes or os.PathLike), as the bytes
// the OS gets: TypeError for other objects, ValueError for an embedded NUL,
// which would otherwise cut the name short.
inline std::string to_file_path(nanobind::handle path) {
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &encoded)) throw nanobind::python_error();
    std::string bytes(PyBytes_AS_STRING(encoded), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
    Py_DECREF(encoded);
    return bytes;
}

}  // namespace corvane::bindings
