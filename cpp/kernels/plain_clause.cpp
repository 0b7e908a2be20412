#include "kernels/plain_clause.hpp"

#include <algorithm>
#include <cstdlib>

#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

// Nested or_s calls open two brackets each, a literal three; the host's
// parser refuses 200 open brackets, and long before that the evaluation
// itself may recurse too deep for a deep caller stack.
constexpr int kMaxDepth = 32;

bool take(std::string_view text, std::size_t& at, std::string_view token) {
    if (text.substr(at, token.size()) != token) return false;
    at += token.size();
    return true;
}

// The unsigned decimal int at `at`, as the host reads it.
std::optional<std::int64_t> unsigned_decimal(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && is_ascii_digit(text[at])) ++at;
    return decimal_int(text.substr(start, at - start));
}

}  // namespace

// name(i,j,...): the element's flat number.
std::optional<std::int64_t> PlainClauseReader::reference(std::string_view text, std::size_t& at) const {
    const std::size_t start = at;
    if (at >= text.size() || !is_ascii_name_start(text[at])) return std::nullopt;
    while (at < text.size() && is_ascii_name_char(text[at])) ++at;
    const DeclaredVariable* found = variables_.find(text.substr(start, at - start));
    if (found == nullptr || !take(text, at, "(")) return std::nullopt;
    std::vector<std::int64_t> indexes;
    if (!take(text, at, ")")) {  // else a variable without dimensions
        do {
            const auto index = unsigned_decimal(text, at);
            if (!index) return std::nullopt;
            indexes.push_back(*index);
        } while (take(text, at, ","));
        if (!take(text, at, ")")) return std::nullopt;
    }
    return found->number(indexes);
}

std::optional<std::vector<std::int64_t>> PlainClauseReader::read(std::string_view text) const {
    std::vector<std::int64_t> literals;
    std::size_t at = 0;
    if (const auto bare = reference(text, at); bare && at == text.size()) {
        return *bare > 0 ? std::optional(std::vector<std::int64_t>{*bare}) : std::nullopt;
    }
    at = 0;
    // Iterative, not recursive: depth costs no stack. `open` counts the
    // or_s lists entered and not yet closed; an empty list fails as a
    // literal that is not there.
    int open = 0;
    while (true) {
        if (take(text, at, "bx.or_s([")) {
            if (++open > kMaxDepth) return std::nullopt;
            continue;
        }
        const bool negated = take(text, at, "~(");
        const auto number = reference(text, at);
        // Number 0, the dummy variable's, has no negation in the storage.
        if (!number || *number <= 0 || !take(text, at, ".to_bx()") || (negated && !take(text, at, ")"))) {
            return std::nullopt;
        }
        literals.push_back(negated ? -*number : *number);
        // Close the lists that end here, then a separator or the end of the text.
        while (open > 0 && take(text, at, "])")) --open;
        if (open == 0) break;
        if (!take(text, at, ", ")) return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    std::sort(literals.begin(), literals.end(),
              [](std::int64_t a, std::int64_t b) { return std::llabs(a) < std::llabs(b); });
    // A repeated variable, alone or with its negation, is left to the evaluation,
    // which drops it or finds the clause always true.
    const auto repeated = std::adjacent_find(literals.begin(), literals.end(), [](std::int64_t a, std::int64_t b) {
        return std::llabs(a) == std::llabs(b);
    });
    if (repeated != literals.end()) return std::nullopt;
    return literals;
}

}  // namespace tarvo::kernels
