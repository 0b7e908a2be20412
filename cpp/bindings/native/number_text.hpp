#pragma once

#include <algorithm>
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

// A finite double as repr() writes it: the shortest digits that read back
// as the same double (std::to_chars finds them, as Python's own routine
// does), in fixed notation for a decimal exponent from -4 to 15, else as
// d.ddde+XX; a whole number ends in ".0". `out` holds at least 32 chars.
inline std::size_t float_repr(double value, char* out) {
    char scientific[32];
    const auto written = std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific);
    std::string_view text(scientific, static_cast<std::size_t>(written.ptr - scientific));
    char* end = out;
    if (text.front() == '-') {
        *end++ = '-';
        text.remove_prefix(1);
    }
    const std::size_t e = text.find('e');
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    char digits[24];
    std::size_t count = 0;
    for (const char c : text.substr(0, e)) {
        if (c != '.') digits[count++] = c;
    }
    const auto put = [&end](std::string_view piece) { end = std::copy(piece.begin(), piece.end(), end); };
    const std::string_view all(digits, count);
    if (exponent < -4 || exponent >= 16) {
        put(all.substr(0, 1));
        if (count > 1) {
            put(".");
            put(all.substr(1));
        }
        put(exponent < 0 ? "e-" : "e+");
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) put("0");
        end = std::to_chars(end, end + 4, magnitude).ptr;
    } else if (exponent < 0) {
        put("0.");
        for (int k = -1; k > exponent; --k) put("0");
        put(all);
    } else if (static_cast<std::size_t>(exponent) + 1 >= count) {
        put(all);
        for (std::size_t k = count; k < static_cast<std::size_t>(exponent) + 1; ++k) put("0");
        put(".0");
    } else {
        put(all.substr(0, static_cast<std::size_t>(exponent) + 1));
        put(".");
        put(all.substr(static_cast<std::size_t>(exponent) + 1));
    }
    return static_cast<std::size_t>(end - out);
}

// The text of a number operand: an int within 64 bits, or a finite float
// as repr() writes it; nullopt, with no error set, for anything else.
class NumberText {
public:
    static std::optional<NumberText> of(PyObject* number) {
        if (const auto value = small_int(number)) return NumberText(*value);
        if (!PyFloat_CheckExact(number) || !std::isfinite(PyFloat_AS_DOUBLE(number))) return std::nullopt;
        NumberText text;
        text.size_ = float_repr(PyFloat_AS_DOUBLE(number), text.buffer_);
        return text;
    }

    std::string_view view() const { return {buffer_, size_}; }

private:
    NumberText() = default;
    explicit NumberText(std::int64_t value) {
        const Digits digits(value);
        size_ = digits.view().copy(buffer_, sizeof buffer_);
    }

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
