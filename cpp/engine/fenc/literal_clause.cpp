#include "engine/fenc/literal_clause.hpp"

#include <algorithm>
#include <optional>

#include "engine/fenc/identifier_chars.hpp"
#include "engine/fenc/lexer.hpp"

namespace corvane::fenc {
namespace {

constexpr std::string_view kOpenOr = "bx.or_s([";
constexpr std::string_view kCloseOr = "])";
constexpr std::string_view kNextItem = ", ";
constexpr std::string_view kOpenNot = "~(";
constexpr std::string_view kToBx = ".to_bx()";

}  // namespace

// The text from a position on; names and integers are read as the lexer reads them.
class LiteralClauseReader::Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool at_end() const { return pos_ == text_.size(); }
    bool at(std::string_view word) const { return text_.substr(pos_).starts_with(word); }
    bool skip(std::string_view word) {
        if (!at(word)) return false;
        pos_ += word.size();
        return true;
    }
    std::string_view name() {
        const std::size_t length = identifier_length(text_, pos_);
        pos_ += length;
        return text_.substr(pos_ - length, length);
    }
    std::optional<std::int64_t> integer() {
        const std::string_view digits = text_.substr(pos_, digits_length(text_, pos_));
        pos_ += digits.size();
        if (digits.empty() || has_refused_leading_zero(digits)) return std::nullopt;
        return integer_value(digits);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool LiteralClauseReader::read(std::string_view text, const Declarations& declarations) {
    literals_.clear();
    if (declarations.size() != declarations_seen_) {  // declarations are only ever added
        declarations_seen_ = declarations.size();
        bx_declared_ = declarations.find("bx").has_value();
    }
    Cursor cursor(text);
    return read_clause(cursor, declarations) && !repeats_a_variable();
}

bool LiteralClauseReader::read_clause(Cursor& cursor, const Declarations& declarations) {
    if (!cursor.at(kOpenOr)) return read_literal(cursor, declarations, true) && cursor.at_end();
    if (bx_declared_) return false;
    std::size_t depth = 0;  // or_s open around the cursor
    while (true) {
        while (cursor.skip(kOpenOr)) ++depth;
        if (!read_literal(cursor, declarations, false)) return false;
        while (depth > 0 && cursor.skip(kCloseOr)) --depth;
        if (depth == 0) return cursor.at_end();
        if (!cursor.skip(kNextItem)) return false;
    }
}

bool LiteralClauseReader::read_literal(Cursor& cursor, const Declarations& declarations, bool lone) {
    poll_.step();
    const bool negated = cursor.skip(kOpenNot);
    const std::string_view name = cursor.name();
    // The compiler takes these two for the words of a loop, declared or not.
    if (name == "for" || name == "in") return false;
    // A clause's literals mostly name one variable: the last one found is tried first.
    if (last_found_ >= declarations.size() || declarations.at(last_found_).name != name) {
        const std::optional<std::uint32_t> found = declarations.find(name);
        if (!found) return false;
        last_found_ = *found;
    }
    if (!cursor.skip("(")) return false;
    const Declaration& d = declarations.at(last_found_);
    std::int64_t number = d.first;
    for (std::size_t k = 0; k < d.sizes.size(); ++k) {
        if (k > 0 && !cursor.skip(",")) return false;
        const std::optional<std::int64_t> index = cursor.integer();
        if (!index || *index >= d.sizes[k]) return false;
        number += *index * d.strides[k];
    }
    if (!cursor.skip(")")) return false;
    // A whole text that is an element reference is its literal; elsewhere it is no Boolean formula.
    if (!cursor.skip(kToBx) && !(lone && !negated && cursor.at_end())) return false;
    if (negated && !cursor.skip(")")) return false;
    literals_.push_back(negated ? -number : number);
    return true;
}

bool LiteralClauseReader::repeats_a_variable() {
    const auto variable = [](std::int64_t literal) { return literal > 0 ? literal : -literal; };
    // By pairs up to here; beyond, by sorting, so a long clause costs n log n.
    constexpr std::size_t kPairwise = 16;
    if (literals_.size() <= kPairwise) {
        for (std::size_t i = 1; i < literals_.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (variable(literals_[i]) == variable(literals_[j])) return true;
            }
        }
        return false;
    }
    variables_.resize(literals_.size());
    std::transform(literals_.begin(), literals_.end(), variables_.begin(), variable);
    std::sort(variables_.begin(), variables_.end());
    return std::adjacent_find(variables_.begin(), variables_.end()) != variables_.end();
}

}  // namespace corvane::fenc
