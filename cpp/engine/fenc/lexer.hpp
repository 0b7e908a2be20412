#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane::fenc {

enum class TokenKind : std::uint8_t {
    Integer,
    Name,
    String,  // quoted text; `text` holds the contents without the quotes
    LParen,
    RParen,
    LBracket,
    RBracket,
    LBrace,
    RBrace,
    Comma,
    Dot,
    Colon,
    Plus,
    Minus,
    Star,
    DoubleStar,
    Tilde,
    End,
};

struct Token {
    TokenKind kind;
    std::size_t position;     // offset of the token in the text
    std::string_view text;    // view into the tokenized text
    std::int64_t value = 0;   // Integer only
};

// Splits text into tokens, ending with one End token. Throws TextError at the
// first character that starts no token, and std::overflow_error for an
// integer beyond 64 bits.
std::vector<Token> tokenize(std::string_view text);

std::string_view token_spelling(TokenKind kind);

// How tokenize reads an integer, for the readers of a text's commonest
// forms that take it without tokenizing (names: identifier_length in
// identifier_chars.hpp).

// Byte length of the run of decimal digits at text[at].
std::size_t digits_length(std::string_view text, std::size_t at);
// Whether Python refuses these digits for their leading zero: 07 (an octal
// number elsewhere) is refused, 0 and 00 are read.
bool has_refused_leading_zero(std::string_view digits);
// The value of decimal digits; nullopt beyond 64 bits.
std::optional<std::int64_t> integer_value(std::string_view digits);

}  // namespace corvane::fenc
