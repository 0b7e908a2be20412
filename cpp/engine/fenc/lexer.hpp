#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace corvane::fenc
