#include "kernels/python_names.hpp"

#include <algorithm>
#include <array>

namespace tarvo::kernels {

namespace {

bool is_name_start(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool is_name_char(char c) { return is_name_start(c) || (c >= '0' && c <= '9'); }

}  // namespace

bool is_plain_name(std::string_view identifier) {
    static constexpr std::array<std::string_view, 36> kReserved = {
        "False", "None",   "True",    "and",      "as",       "assert", "async",  "await",     "break",
        "class", "continue", "def",   "del",      "elif",     "else",   "except", "finally",   "for",
        "from",  "global", "if",      "import",   "in",       "is",     "lambda", "nonlocal",  "not",
        "or",    "pass",   "raise",   "return",   "try",      "while",  "with",   "yield",     "__debug__"};
    return std::find(kReserved.begin(), kReserved.end(), identifier) == kReserved.end();
}

bool is_ascii_identifier(std::string_view text) {
    return !text.empty() && is_name_start(text.front()) && std::all_of(text.begin(), text.end(), is_name_char);
}

}  // namespace tarvo::kernels
