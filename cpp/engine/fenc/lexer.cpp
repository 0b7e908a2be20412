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
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    // About one token per two characters in the operators' texts; a few growths on from there for the rest.
    tokens.reserve(std::min<std::size_t>(text.size() / 2 + 2, 4096));
    std::size_t i = 0;
    auto single = [&](TokenKind kind) {
        tokens.push_back({kind, i, text.substr(i, 1)});
        ++i;
    };
    InterruptionPoll poll;
    while (i < text.size()) {
        poll.step();
        const char c = text[i];
        if (is_space(c)) {
            ++i;
        } else if (is_digit(c)) {
            const std::size_t end = i + digits_length(text, i);
            if (end < text.size() && (identifier_char_length(text, end, true) > 0 || text[end] == '.')) {
                throw TextError(text, end, "only decimal integers are accepted");
            }
            const std::string_view digits = text.substr(i, end - i);
            if (has_refused_leading_zero(digits)) throw TextError(text, i, "an integer must not start with 0");
            const std::optional<std::int64_t> value = integer_value(digits);
            if (!value) throw std::overflow_error("integer " + quoted(digits) + " does not fit into 64 bits");
            tokens.push_back({TokenKind::Integer, i, digits, *value});
            i = end;
        } else if (const std::size_t length = identifier_length(text, i); length > 0) {
            tokens.push_back({TokenKind::Name, i, text.substr(i, length)});
            i += length;
        } else if (c == '\'' || c == '"') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] != c && text[end] != '\\') ++end;
            if (end >= text.size() || text[end] != c) throw TextError(text, i, "unterminated or escaped string");
            tokens.push_back({TokenKind::String, i, text.substr(i + 1, end - i - 1)});
            i = end + 1;
        } else if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
            tokens.push_back({TokenKind::DoubleStar, i, text.substr(i, 2)});
            i += 2;
        } else {
            switch (c) {
                case '(': single(TokenKind::LParen); break;
                case ')': single(TokenKind::RParen); break;
                case '[': single(TokenKind::LBracket); break;
                case ']': single(TokenKind::RBracket); break;
                case '{': single(TokenKind::LBrace); break;
                case '}': single(TokenKind::RBrace); break;
                case ',': single(TokenKind::Comma); break;
                case '.': single(TokenKind::Dot); break;
                case ':': single(TokenKind::Colon); break;
                case '+': single(TokenKind::Plus); break;
                case '-': single(TokenKind::Minus); break;
                case '*': single(TokenKind::Star); break;
                case '~': single(TokenKind::Tilde); break;
                default:
                    throw TextError(text, i, "unexpected character " + quoted(text.substr(i, character_length(text, i))));
            }
        }
    }
    tokens.push_back({TokenKind::End, text.size(), {}});
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
