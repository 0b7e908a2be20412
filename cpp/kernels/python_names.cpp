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
    if (digits.empty() || digits.size() > 18 || !std::all_of(digits.begin(), digits.end(), is_ascii_digit)) {
        return std::nullopt;
    }
    if (digits.front() == '0' && digits.find_first_not_of('0') != std::string_view::npos) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) value = value * 10 + (c - '0');
    return value;
}

}  // namespace tarvo::kernels
