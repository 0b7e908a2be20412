#include "engine/fenc/lexer.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/core/interruption.hpp"
#include "engine/fenc/identifier_chars.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool Lexer::fail(Fault fault, std::size_t at) {
    fault_ = fault;
    fault_at_ = at;
    return false;
}

bool Lexer::read_rest(Token& token) {
    const std::size_t i = at_;
    const auto take = [&](TokenKind kind, std::size_t length) {
        token = {kind, i, text_.substr(i, length)};
        at_ = i + length;
        return true;
    };
    const char c = text_[i];
    if (is_digit(c)) {
        const std::size_t end = i + digits_length(text_, i);
        if (end < text_.size() && (identifier_char_length(text_, end, true) > 0 || text_[end] == '.')) {
            return fail(Fault::NotDecimal, end);
        }
        const std::string_view digits = text_.substr(i, end - i);
        if (has_refused_leading_zero(digits)) return fail(Fault::LeadingZero, i);
        const std::optional<std::int64_t> value = integer_value(digits);
        if (!value) return fail(Fault::Overflow, i);
        take(TokenKind::Integer, digits.size());
        token.value = *value;
        return true;
    }
    if (const std::size_t length = identifier_length(text_, i); length > 0) return take(TokenKind::Name, length);
    if (c == '\'' || c == '"') {
        std::size_t end = i + 1;
        while (end < text_.size() && text_[end] != c && text_[end] != '\\') ++end;
        if (end >= text_.size() || text_[end] != c) return fail(Fault::UnterminatedString, i);
        token = {TokenKind::String, i, text_.substr(i + 1, end - i - 1)};
        at_ = end + 1;
        return true;
    }
    if (c == '*' && at('*', i + 1)) return take(TokenKind::DoubleStar, 2);
    if (const TokenKind kind = single_char_kind(c); kind != TokenKind::End) return take(kind, 1);
    return fail(Fault::UnexpectedCharacter, i);
}

void Lexer::raise_fault() const {
    switch (fault_) {
        case Fault::NotDecimal: throw TextError(text_, fault_at_, "only decimal integers are accepted");
        case Fault::LeadingZero: throw TextError(text_, fault_at_, "an integer must not start with 0");
        case Fault::Overflow:
            throw std::overflow_error("integer " + quoted(text_.substr(fault_at_, digits_length(text_, fault_at_))) +
                                      " does not fit into 64 bits");
        case Fault::UnterminatedString: throw TextError(text_, fault_at_, "unterminated or escaped string");
        case Fault::UnexpectedCharacter: break;
    }
    throw TextError(text_, fault_at_,
                    "unexpected character " + quoted(text_.substr(fault_at_, character_length(text_, fault_at_))));
}

std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    // About one token per two characters in the operators' texts; a few growths on from there for the rest.
    tokens.reserve(std::min<std::size_t>(text.size() / 2 + 2, 4096));
    Lexer lexer(text);
    InterruptionPoll poll;
    Token token{TokenKind::End, 0, {}};
    do {
        poll.step();
        if (!lexer.next(token)) lexer.raise_fault();
        tokens.push_back(token);
    } while (token.kind != TokenKind::End);
    return tokens;
}

std::size_t digits_length(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && is_digit(text[end])) ++end;
    return end - at;
}

bool has_refused_leading_zero(std::string_view digits) {
    return digits.size() > 1 && digits[0] == '0' && digits.find_first_not_of('0') != std::string_view::npos;
}

std::optional<std::int64_t> integer_value(std::string_view digits) {
    std::int64_t value = 0;
    for (char c : digits) {
        const int digit = c - '0';
        if (value > (INT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::string_view token_spelling(TokenKind kind) {
    switch (kind) {
        case TokenKind::Integer: return "an integer";
        case TokenKind::Name: return "a name";
        case TokenKind::String: return "a string";
        case TokenKind::LParen: return "'('";
        case TokenKind::RParen: return "')'";
        case TokenKind::LBracket: return "'['";
        case TokenKind::RBracket: return "']'";
        case TokenKind::LBrace: return "'{'";
        case TokenKind::RBrace: return "'}'";
        case TokenKind::Comma: return "','";
        case TokenKind::Dot: return "'.'";
        case TokenKind::Colon: return "':'";
        case TokenKind::Plus: return "'+'";
        case TokenKind::Minus: return "'-'";
        case TokenKind::Star: return "'*'";
        case TokenKind::DoubleStar: return "'**'";
        case TokenKind::Tilde: return "'~'";
        case TokenKind::End: return "the end of the text";
    }
    return "?";
}

}  // namespace corvane::fenc
