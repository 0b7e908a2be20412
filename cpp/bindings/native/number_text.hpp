#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <Python.h>

// Numbers as the expression operators write them into text: an int's
// digits and a float's repr, exactly as Python writes them.
namespace tarvo::native {

// The value of an int that fits 64 bits; nullopt for anything else (bool included).
inline std::optional<std::int64_t> small_int(PyObject* object) {
    if (!PyLong_CheckExact(object)) return std::nullopt;
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow != 0 || (value == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return std::nullopt;
    }
    return value;
}

// An int's decimal digits, as Python writes them.
class Digits {
public:
    explicit Digits(std::int64_t value) : end_(std::to_chars(buffer_, buffer_ + sizeof buffer_, value).ptr) {}
    std::string_view view() const { return {buffer_, static_cast<std::size_t>(end_ - buffer_)}; }

private:
    char buffer_[24];
    char* end_;
};

// The text of a number operand: an int within 64 bits, or a finite float
// written as repr() writes it (Python's own routine: shortest round-trip
// digits, 1e-05, 100.0); nullopt, with no error set, for anything else.
class NumberText {
public:
    static std::optional<NumberText> of(PyObject* number) {
        if (const auto value = small_int(number)) return NumberText(*value);
        if (!PyFloat_CheckExact(number) || !std::isfinite(PyFloat_AS_DOUBLE(number))) return std::nullopt;
        char* written = PyOS_double_to_string(PyFloat_AS_DOUBLE(number), 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
        if (written == nullptr) {
            PyErr_Clear();
            return std::nullopt;
        }
        NumberText text(written);
        PyMem_Free(written);
        return text;
    }

    std::string_view view() const { return {buffer_, size_}; }

private:
    explicit NumberText(std::int64_t value) {
        const Digits digits(value);
        size_ = digits.view().copy(buffer_, sizeof buffer_);
    }
    explicit NumberText(const char* written) : size_(std::string_view(written).copy(buffer_, sizeof buffer_)) {}

    // repr of a double is at most 24 characters (-2.2250738585072014e-308).
    char buffer_[32];
    std::size_t size_ = 0;
};

// The subscript text of an int or a tuple of ints: their digits joined by
// commas; nullopt for any other subscript.
inline std::optional<std::string> int_subscript(PyObject* items) {
    if (const auto value = small_int(items)) return std::string(Digits(*value).view());
    if (!PyTuple_CheckExact(items)) return std::nullopt;
    std::string text;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items); ++i) {
        const auto value = small_int(PyTuple_GET_ITEM(items, i));
        if (!value) return std::nullopt;
        if (i != 0) text += ',';
        text += Digits(*value).view();
    }
    return text;
}

}  // namespace tarvo::native
