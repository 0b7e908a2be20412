#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nanobind/nanobind.h>

namespace corvane::bindings {

namespace nb = nanobind;

// Python int -> int64. bool is refused (TypeError) although it is an int
// subclass: True in a clause is far more likely a bug than variable 1.
// Beyond 64 bits -> OverflowError; the value is never wrapped.
std::int64_t to_int64(nb::handle value, const char* what);

// Python int -> positive int64: bool/non-int -> TypeError, 0 or negative ->
// ValueError, beyond signed 64 bits -> OverflowError.
std::int64_t to_positive_int64(nb::handle value, const char* what);

// A list or tuple of ints, each checked by to_int64.
std::vector<std::int64_t> to_int64_list(nb::handle values, const char* what);

// A str as UTF-8, embedded NUL characters kept: TypeError for other objects,
// UnicodeEncodeError for a str that has no UTF-8 form (a lone surrogate).
std::string to_utf8(nb::handle value, const char* what);

// A list or tuple of str, each converted by to_utf8.
std::vector<std::string> to_string_list(nb::handle values, const char* what);

void bind_wcnf_storage(nb::module_& m);
void bind_var_mapping(nb::module_& m);
void bind_witness_interpreter(nb::module_& m);

}  // namespace corvane::bindings
