#include "engine/fenc/literal_clause.hpp"

#include <algorithm>
#include <optional>

#include "engine/fenc/written_words.hpp"

namespace corvane::fenc {
namespace {

bool take_open_or(WrittenTokens& tokens) { return take_bx_list_call(tokens, Name::BxOr); }
bool take_to_bx(WrittenTokens& tokens) { return take_method_call(tokens, Name::RefToBx); }
bool at_name(const WrittenTokens& tokens, std::string_view name) {
    return tokens.at(TokenKind::Name) && tokens.token().text == name;
}

}  // namespace

bool LiteralClauseReader::read(std::string_view text, const Declarations& declarations) {
    literals_.clear();
    if (declarations.size() != declarations_seen_) {  // declarations are only ever added
        declarations_seen_ = declarations.size();
        bx_declared_ = declarations.find("bx").has_value();
    }
    WrittenTokens tokens(text);
    return read_clause(tokens, declarations) && !repeats_a_variable();
}

// Each word is known by its first token, so that no read goes back: where
// that token starts no word, the text is none of these clauses.
bool LiteralClauseReader::read_clause(WrittenTokens& tokens, const Declarations& declarations) {
    const std::string_view bx = word_of(Name::BxModule).spelling;
    // A variable named bx hides the module: the text is then read as a literal.
    if (bx_declared_ || !at_name(tokens, bx)) {
        return read_literal(tokens, declarations, true) && tokens.take(TokenKind::End);
    }
    std::size_t depth = 0;  // or_s open around the tokens at hand
    while (true) {
        for (; at_name(tokens, bx); ++depth) {
            if (!take_open_or(tokens)) return false;
        }
        if (!read_literal(tokens, declarations, false)) return false;
        for (; depth > 0 && tokens.at(TokenKind::RBracket); --depth) {
            if (!take_list_call_end(tokens)) return false;
        }
        if (depth == 0) return tokens.take(TokenKind::End);
        if (!take_separator(tokens)) return false;
    }
}

bool LiteralClauseReader::read_literal(WrittenTokens& tokens, const Declarations& declarations, bool lone) {
    poll_.step();
    const bool negated = tokens.at(TokenKind::Tilde);
    if ((negated && !take_negation(tokens)) || !tokens.at(TokenKind::Name)) return false;
    const std::string_view name = tokens.token().text;
    // The compiler takes these two for the words of a loop, declared or not.
    if (name == "for" || name == "in") return false;
    // A clause's literals mostly name one variable: the last one found is tried first.
    if (last_found_ >= declarations.size() || declarations.at(last_found_).name != name) {
        const std::optional<std::uint32_t> found = declarations.find(name);
        if (!found) return false;
        last_found_ = *found;
    }
    if (!tokens.take(TokenKind::Name) || !tokens.take(TokenKind::LParen)) return false;
    const Declaration& d = declarations.at(last_found_);
    std::int64_t number = d.first;
    for (std::size_t k = 0; k < d.sizes.size(); ++k) {
        if (k > 0 && !tokens.take(TokenKind::Comma)) return false;
        if (!tokens.at(TokenKind::Integer)) return false;
        const std::int64_t index = tokens.token().value;
        if (!tokens.take(TokenKind::Integer) || index >= d.sizes[k]) return false;
        number += index * d.strides[k];
    }
    if (!tokens.take(TokenKind::RParen)) return false;
    // A whole text that is an element reference is its literal; elsewhere it is no Boolean formula.
    if (tokens.at(TokenKind::Dot) ? !take_to_bx(tokens) : !(lone && !negated && tokens.take(TokenKind::End))) {
        return false;
    }
    if (negated && !tokens.take(TokenKind::RParen)) return false;
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
