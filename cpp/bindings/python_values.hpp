#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nanobind/nanobind.h>

// Python values at the engine's boundary: one conversion per kind of value,
// the same in every binding module.
//
//   literal   a literal or a variable number: an int, never a bool (True in
//             a clause is far more likely a bug than variable 1); numpy
//             integers and other objects are refused with TypeError.
//   integral  a weight, bound, count, size or limit: any integral number,
//             i.e. what operator.index() takes: int, bool, numpy integers.
//             An exception that the value's own __index__ raises propagates
//             as itself; an object without __index__ gives TypeError.
//   flag      True or False; any other object, 0 and 1 included, gives
//             TypeError.
//   text      a str, as UTF-8 with embedded NUL characters kept: TypeError
//             for other objects, UnicodeEncodeError for a str without a
//             UTF-8 form (a lone surrogate).
//
// Lists of values are lists or tuples, and so are records (a fixed number
// of fields, such as (name, first number, sizes, strides)).
//
// A number beyond signed 64 bits raises OverflowError naming it; no value
// is ever wrapped.
namespace corvane::bindings {

namespace nb = nanobind;

namespace detail {

[[noreturn]] inline void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw nb::python_error();
}

// The type's own name, module included where it has one: numpy.int64, numpy.bool.
inline std::string type_of(nb::handle value) { return Py_TYPE(value.ptr())->tp_name; }

// An int's digits for a message, or its size where the host refuses to write
// that many digits.
inline std::string int_for_message(nb::handle value) {
    PyObject* digits = PyObject_Str(value.ptr());
    if (digits != nullptr) return nb::steal<nb::str>(digits).c_str();
    PyErr_Clear();
    return "(an integer of " + std::string(nb::str(value.attr("bit_length")()).c_str()) + " bits)";
}

// An int object (exact or subclass) as int64.
inline std::int64_t int_value(nb::handle value, const char* what) {
#if PY_VERSION_HEX >= 0x030C0000
    // Most ints are compact (a single digit): read without the general conversion.
    auto* number = reinterpret_cast<PyLongObject*>(value.ptr());
    if (PyUnstable_Long_IsCompact(number)) return PyUnstable_Long_CompactValue(number);
#endif
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0) {
        raise(PyExc_OverflowError, std::string(what) + " " + int_for_message(value) + " does not fit in 64 bits");
    }
    if (result == -1 && PyErr_Occurred()) throw nb::python_error();
    return result;
}

inline void require_sequence(nb::handle values, const char* what, const char* items) {
    if (!PyList_Check(values.ptr()) && !PyTuple_Check(values.ptr())) {
        raise(PyExc_TypeError, std::string(what) + " must be a list or tuple of " + items + ", got " + type_of(values));
    }
}

}  // namespace detail

inline std::int64_t to_literal(nb::handle value, const char* what) {
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr())) {
        detail::raise(PyExc_TypeError, std::string(what) + " must be an int, got " + detail::type_of(value));
    }
    return detail::int_value(value, what);
}

namespace detail {

// The int that the value's __index__ gives.
inline nb::object index_of(nb::handle value, const char* what) {
    if (!PyIndex_Check(value.ptr())) {
        raise(PyExc_TypeError, std::string(what) + " must be an integral number, got " + type_of(value));
    }
    nb::object index = nb::steal(PyNumber_Index(value.ptr()));
    if (!index.is_valid()) throw nb::python_error();
    return index;
}

}  // namespace detail

inline std::int64_t to_integral(nb::handle value, const char* what) {
    // An int is its own index: the common case needs no __index__ call.
    if (PyLong_CheckExact(value.ptr())) return detail::int_value(value, what);
    return detail::int_value(detail::index_of(value, what), what);
}

// An integral number above 0. The sign is checked first: a huge negative
// weight is a wrong sign (ValueError), not an overflow.
inline std::int64_t to_positive_integral(nb::handle value, const char* what) {
    const nb::object index = detail::index_of(value, what);
    if (PyObject_RichCompareBool(index.ptr(), nb::int_(0).ptr(), Py_LE) == 1) {
        detail::raise(PyExc_ValueError, std::string(what) + " must be positive, got " + nb::str(index).c_str());
    }
    return detail::int_value(index, what);
}

namespace detail {

template <typename Convert>
std::vector<std::int64_t> number_list(nb::handle values, const char* what, const char* items, Convert convert) {
    require_sequence(values, what, items);
    PyObject* sequence = values.ptr();
    std::vector<std::int64_t> result;
    result.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(sequence)));
    // By position, without an iterator. An int runs no Python code while it
    // is read; any other item is held, and the size read anew for the next,
    // since the item's __index__ may change the list.
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence); ++i) {
        PyObject* item = PySequence_Fast_GET_ITEM(sequence, i);
        result.push_back(PyLong_CheckExact(item) ? int_value(item, what) : convert(nb::borrow(item), what));
    }
    return result;
}

}  // namespace detail

inline bool to_flag(nb::handle value, const char* what) {
    if (value.ptr() != Py_True && value.ptr() != Py_False) {
        detail::raise(PyExc_TypeError, std::string(what) + " must be True or False, got " + detail::type_of(value));
    }
    return value.ptr() == Py_True;
}

// A list or tuple, to be walked item by item.
inline nb::sequence to_sequence(nb::handle values, const char* what, const char* items) {
    detail::require_sequence(values, what, items);
    return nb::borrow<nb::sequence>(values);
}

// A record: a list or tuple of exactly `fields` items, by position.
inline std::vector<nb::object> to_record(nb::handle value, std::size_t fields, const char* what) {
    std::vector<nb::object> record;
    for (nb::handle item : to_sequence(value, what, "fields")) record.push_back(nb::borrow(item));
    if (record.size() != fields) {
        detail::raise(PyExc_ValueError, std::string(what) + " must have " + std::to_string(fields) + " fields, got "
                                            + std::to_string(record.size()));
    }
    return record;
}

inline std::vector<std::int64_t> to_literal_list(nb::handle values, const char* what) {
    return detail::number_list(values, what, "ints", to_literal);
}

inline std::vector<std::int64_t> to_integral_list(nb::handle values, const char* what) {
    return detail::number_list(values, what, "integral numbers", to_integral);
}

// The UTF-8 bytes of a str, viewed for as long as the str lives.
inline std::string_view text_view(nb::handle value, const char* what) {
    if (!PyUnicode_Check(value.ptr())) {
        detail::raise(PyExc_TypeError, std::string(what) + " must be a str, got " + detail::type_of(value));
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (data == nullptr) throw nb::python_error();
    return std::string_view(data, static_cast<std::size_t>(size));
}

inline std::string to_text(nb::handle value, const char* what) { return std::string(text_view(value, what)); }

// The UTF-8 bytes of an exact str, viewed for as long as the str lives; nullopt
// for anything else and for a str without a UTF-8 form (a lone surrogate),
// which a reader leaves to the evaluation, to refuse with its own error.
inline std::optional<std::string_view> utf8_text_or_none(nb::handle value) {
    if (!PyUnicode_CheckExact(value.ptr())) return std::nullopt;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (data == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

inline std::vector<std::string> to_text_list(nb::handle values, const char* what) {
    detail::require_sequence(values, what, "str");
    std::vector<std::string> result;
    for (nb::handle item : nb::borrow<nb::sequence>(values)) result.push_back(to_text(item, what));
    return result;
}

}  // namespace corvane::bindings
