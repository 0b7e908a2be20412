#include "kernels/python_names.hpp"

#include <algorithm>
#include <array>

namespace tarvo::kernels {

bool is_plain_name(std::string_view identifier) {
    static constexpr std::array<std::string_view, 36> kReserved = {
        "False", "None",   "True",    "and",      "as",       "assert", "async",  "await",     "break",
        "class", "continue", "def",   "del",      "elif",     "else",   "except", "finally",   "for",
        "from",  "global", "if",      "import",   "in",       "is",     "lambda", "nonlocal",  "not",
        "or",    "pass",   "raise",   "return",   "try",      "while",  "with",   "yield",     "__debug__"};
    return std::find(kReserved.begin(), kReserved.end(), identifier) == kReserved.end();
}

bool is_ascii_identifier(std::string_view text) {
    return !text.empty() && is_ascii_name_start(text.front()) && std::all_of(text.begin(), text.end(), is_ascii_name_char);
}

std::optional<std::int64_t> decimal_int(std::string_view digits) {
    if (digits.empty() || digits.size() > 18 || corvane::fenc::digits_length(digits, 0) != digits.size() ||
        corvane::fenc::has_refused_leading_zero(digits)) {
        return std::nullopt;
    }
    return corvane::fenc::integer_value(digits);
}

std::optional<std::int64_t> read_decimal_int(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    at += corvane::fenc::digits_length(text, at);
    return decimal_int(text.substr(start, at - start));
}

std::optional<std::int64_t> take_decimal_int(corvane::fenc::WrittenTokens& tokens) {
    // The lexer reads digits as decimal_int does; the bound on their count is the kernels' own.
    if (!tokens.at(corvane::fenc::TokenKind::Integer) || tokens.token().text.size() > 18) return std::nullopt;
    const std::int64_t value = tokens.token().value;
    if (!tokens.take(corvane::fenc::TokenKind::Integer)) return std::nullopt;
    return value;
}

}  // namespace tarvo::kernels
