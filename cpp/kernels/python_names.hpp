#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/fenc/lexer.hpp"

// What the kernels' readers take from Python's own reading of a text: ASCII
// names, decimal ints and strings quoted without escapes. Anything else is
// left to the evaluation.
namespace tarvo::kernels {

inline bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_ascii_name_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
inline bool is_ascii_name_char(char c) { return is_ascii_name_start(c) || is_ascii_digit(c); }
// A character that Python's repr writes as itself between single quotes.
inline bool is_plain_quoted_char(char c) { return c >= ' ' && c < 0x7f && c != '\'' && c != '\\'; }

// Whether an ASCII identifier is a name that Python's evaluation binds and
// looks up as written: not a keyword, not __debug__ (a constant). Non-ASCII
// names are normalised by Python's parser and are not taken here.
bool is_plain_name(std::string_view identifier);

// Whether `text` is an ASCII identifier: a letter or "_", then letters, digits and "_".
bool is_ascii_identifier(std::string_view text);

// The value of decimal digits that Python reads as an int, by the rules of
// the expression language's lexer: no leading zero unless every digit is
// one. nullopt for any other text, and beyond 18 digits, where the kernels'
// 64-bit arithmetic would not follow.
std::optional<std::int64_t> decimal_int(std::string_view digits);

// decimal_int of the run of digits at text[at], `at` moved past them.
std::optional<std::int64_t> read_decimal_int(std::string_view text, std::size_t& at);

// The integer token at hand, taken as WrittenTokens takes a token, as
// decimal_int reads it.
std::optional<std::int64_t> take_decimal_int(corvane::fenc::WrittenTokens& tokens);

}  // namespace tarvo::kernels
