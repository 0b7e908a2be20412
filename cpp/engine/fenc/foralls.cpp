#include "engine/fenc/foralls.hpp"

#include <stdexcept>
#include <unordered_set>

#include "engine/core/interruption.hpp"
#include "engine/fenc/identifier_chars.hpp"
#include "engine/fenc/lexer.hpp"
#include "engine/fenc/limits.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

constexpr std::string_view kPrefix = "Foralls: ";
constexpr std::string_view kNone = "Foralls: {}";

// Tokens of the dictionary after the prefix, positions counted in the whole text.
std::vector<Token> tokenize_body(std::string_view text) {
    try {
        std::vector<Token> tokens = tokenize(text.substr(kPrefix.size()));
        for (Token& t : tokens) t.position += kPrefix.size();
        return tokens;
    } catch (const TextError& e) {
        throw TextError(text, kPrefix.size() + e.position(), "cannot read the foralls: " + e.reason());
    }
}

class ForallsReader {
public:
    explicit ForallsReader(std::string_view text) : text_(text), tokens_(tokenize_body(text)) {}

    std::vector<Forall> read() {
        std::vector<Forall> foralls;
        std::unordered_set<std::string_view> names;
        expect(TokenKind::LBrace);
        while (peek().kind != TokenKind::RBrace) {
            const Token& key = expect(TokenKind::String);
            // Only a name can be bound in the text.
            if (!is_identifier(key.text)) fail(key, "index name " + quoted(key.text) + " is not an identifier");
            if (!names.insert(key.text).second) fail(key, "index " + quoted(key.text) + " is given twice");
            expect(TokenKind::Colon);
            Forall forall = read_values();
            forall.name = key.text;
            foralls.push_back(std::move(forall));
            if (peek().kind != TokenKind::Comma) break;
            next();
        }
        expect(TokenKind::RBrace);
        expect(TokenKind::End);
        return foralls;
    }

private:
    Forall read_values() {
        const Token& start = next();
        Forall forall;
        if (start.kind == TokenKind::Name && start.text == "range") {
            expect(TokenKind::LParen);
            std::vector<std::int64_t> args = read_integers(TokenKind::RParen);
            if (args.empty() || args.size() > 3) fail(start, "range takes 1 to 3 integers");
            forall.range = python_range(args);
            if (!forall.range) fail(start, "range step must not be zero");
        } else if (start.kind == TokenKind::LBracket) {
            forall.values = read_integers(TokenKind::RBracket);
        } else if (start.kind == TokenKind::LParen) {
            forall.values = read_integers(TokenKind::RParen);
            // (3) is the number 3 in parentheses; the tuple is (3,).
            if (forall.values.size() == 1 && tokens_[pos_ - 2].kind != TokenKind::Comma) {
                fail(start, "a tuple of one value is written with a trailing comma, as (3,)");
            }
        } else {
            fail(start, "expected a range, a list or a tuple of integers");
        }
        return forall;
    }

    // Comma-separated integers up to `close` (a trailing comma is allowed).
    std::vector<std::int64_t> read_integers(TokenKind close) {
        std::vector<std::int64_t> values;
        while (peek().kind != close) {
            poll_.step();
            values.push_back(read_integer());
            if (peek().kind != TokenKind::Comma) break;
            next();
        }
        expect(close);
        return values;
    }

    std::int64_t read_integer() {
        const Token& t = next();
        if (t.kind == TokenKind::Name && (t.text == "True" || t.text == "False")) return t.text == "True";
        if (t.kind == TokenKind::Minus) {
            const Token& digits = expect(TokenKind::Integer);
            return -digits.value;
        }
        if (t.kind != TokenKind::Integer) fail(t, "expected an integer");
        return t.value;
    }

    const Token& peek() const { return tokens_[pos_]; }
    const Token& next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
    const Token& expect(TokenKind kind) {
        const Token& t = next();
        if (t.kind != kind) fail(t, "expected " + std::string(token_spelling(kind)));
        return t;
    }
    [[noreturn]] void fail(const Token& at, const std::string& what) const {
        throw TextError(text_, at.position, "cannot read the foralls: " + what);
    }

    std::string_view text_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    InterruptionPoll poll_;
};

}  // namespace

std::vector<Forall> parse_foralls(std::string_view text) {
    if (text == kNone) return {};  // what most formulas have, without tokenizing
    if (text.substr(0, kPrefix.size()) != kPrefix) {
        throw TextError(text, 0, "cannot read the foralls: expected the text to start with 'Foralls: '");
    }
    std::vector<Forall> foralls = ForallsReader(text).read();
    Count count;
    for (const Forall& f : foralls) count.multiply(f.size());
    if (count.exceeds(kMaxCount)) {
        throw std::invalid_argument("the foralls make " + count.text() + " instances; a formula has at most " +
                                    std::to_string(kMaxCount));
    }
    return foralls;
}

std::uint64_t instance_count(const std::vector<Forall>& foralls) {
    Count count;
    for (const Forall& f : foralls) count.multiply(f.size());
    return count.value();
}

}  // namespace corvane::fenc
