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

// Reads a text's tokens one at a time, without allocating: the one
// definition of each token, which tokenize() and the readers of a text's
// commonest forms share. Blanks (space, tab, newline, carriage return)
// between tokens are skipped; a reader that wants the text exactly as
// written compares a token's position with end() before it.
class Lexer {
public:
    // Reads from text[at] on.
    explicit Lexer(std::string_view text, std::size_t at = 0) : text_(text), at_(at) {}

    // Reads the next token into `token`: End at the end of the text, and on
    // from there. False at a character that starts no token, or an integer
    // beyond 64 bits; raise_fault() then raises what tokenize raises for it.
    // Inline for the tokens of ASCII texts, the operators' own; the rest is
    // read by read_rest().
    bool next(Token& token) {
        while (at_ < text_.size() && is_blank(text_[at_])) ++at_;
        const std::size_t i = at_;
        if (i == text_.size()) {
            token = {TokenKind::End, i, {}};
            return true;
        }
        const char c = text_[i];
        if (const TokenKind kind = single_char_kind(c); kind != TokenKind::End && !(c == '*' && at('*', i + 1))) {
            token = {kind, i, std::string_view(text_.data() + i, 1)};
            at_ = i + 1;
            return true;
        }
        if (is_ascii_name_char(c) && !is_digit(c)) {
            std::size_t end = i + 1;
            while (end < text_.size() && is_ascii_name_char(text_[end])) ++end;
            if (end < text_.size() && static_cast<unsigned char>(text_[end]) >= 0x80) return read_rest(token);
            token = {TokenKind::Name, i, std::string_view(text_.data() + i, end - i)};
            at_ = end;
            return true;
        }
        if (is_digit(c)) {
            // Up to 18 digits, no leading zero and no name or '.' after them: the value fits.
            std::size_t end = i + 1;
            while (end < text_.size() && is_digit(text_[end])) ++end;
            if (end - i > 18 || (c == '0' && end - i > 1) ||
                (end < text_.size() && (is_ascii_name_char(text_[end]) || text_[end] == '.' ||
                                        static_cast<unsigned char>(text_[end]) >= 0x80))) {
                return read_rest(token);
            }
            std::int64_t value = 0;
            for (std::size_t k = i; k < end; ++k) value = value * 10 + (text_[k] - '0');
            token = {TokenKind::Integer, i, std::string_view(text_.data() + i, end - i), value};
            at_ = end;
            return true;
        }
        return read_rest(token);
    }
    // Where the last token read ends.
    std::size_t end() const { return at_; }
    [[noreturn]] void raise_fault() const;

private:
    enum class Fault : std::uint8_t { NotDecimal, LeadingZero, Overflow, UnterminatedString, UnexpectedCharacter };

    static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    static bool is_digit(char c) { return c >= '0' && c <= '9'; }
    static bool is_ascii_name_char(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || is_digit(c);
    }
    // The token of a character that is one by itself; End for any other.
    static TokenKind single_char_kind(char c) {
        switch (c) {
            case '(': return TokenKind::LParen;
            case ')': return TokenKind::RParen;
            case '[': return TokenKind::LBracket;
            case ']': return TokenKind::RBracket;
            case '{': return TokenKind::LBrace;
            case '}': return TokenKind::RBrace;
            case ',': return TokenKind::Comma;
            case '.': return TokenKind::Dot;
            case ':': return TokenKind::Colon;
            case '+': return TokenKind::Plus;
            case '-': return TokenKind::Minus;
            case '*': return TokenKind::Star;
            case '~': return TokenKind::Tilde;
            default: return TokenKind::End;
        }
    }
    bool at(char c, std::size_t position) const { return position < text_.size() && text_[position] == c; }
    // Every token, by the whole rules: names beyond ASCII, integers, strings, '**'.
    bool read_rest(Token& token);
    bool fail(Fault fault, std::size_t at);

    std::string_view text_;
    std::size_t at_ = 0;
    Fault fault_ = Fault::UnexpectedCharacter;
    std::size_t fault_at_ = 0;
};

// A text's tokens for the readers that take the operators' texts only as
// the operators write them: each token must start where the last one ended,
// or after the one space a reader asks for, so that every other spelling is
// refused. A copy is a place to go back to.
class WrittenTokens {
public:
    // Reads from text[at] on.
    explicit WrittenTokens(std::string_view text, std::size_t at = 0) : text_(text), lexer_(text, at) { step(); }

    // The token at hand; no token at all after a character that starts none.
    bool at(TokenKind kind) const { return ok_ && token_.kind == kind; }
    const Token& token() const { return token_; }
    // Takes the token at hand when it is of `kind` and starts where the last
    // one ended (End stays at hand).
    bool take(TokenKind kind) {
        if (!at(kind) || token_.position != last_end_) return false;
        if (kind != TokenKind::End) step();
        return true;
    }
    // Takes the one space before the token at hand.
    bool take_space() {
        if (!ok_ || token_.position != last_end_ + 1 || text_.data()[last_end_] != ' ') return false;
        ++last_end_;
        return true;
    }
    // Where the last token taken ends.
    std::size_t taken_end() const { return last_end_; }
    // Takes the name `spelling` as take() takes a token.
    bool take_name(std::string_view spelling) {
        return at(TokenKind::Name) && token_.text == spelling && take(TokenKind::Name);
    }

private:
    void step() {
        last_end_ = lexer_.end();
        ok_ = lexer_.next(token_);
    }

    std::string_view text_;
    Lexer lexer_;
    Token token_{TokenKind::End, 0, {}};
    std::size_t last_end_ = 0;
    bool ok_ = true;
};

// Splits text into tokens, ending with one End token. Throws TextError at the
// first character that starts no token, and std::overflow_error for an
// integer beyond 64 bits.
std::vector<Token> tokenize(std::string_view text);

std::string_view token_spelling(TokenKind kind);

// How the lexer reads an integer, for the readers that take one at a
// position of their own (names: identifier_length in identifier_chars.hpp).

// Byte length of the run of decimal digits at text[at].
std::size_t digits_length(std::string_view text, std::size_t at);
// Whether Python refuses these digits for their leading zero: 07 (an octal
// number elsewhere) is refused, 0 and 00 are read.
bool has_refused_leading_zero(std::string_view digits);
// The value of decimal digits; nullopt beyond 64 bits.
std::optional<std::int64_t> integer_value(std::string_view digits);

}  // namespace corvane::fenc
