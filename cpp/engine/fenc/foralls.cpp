#include "engine/fenc/foralls.hpp"

#include <stdexcept>
#include <unordered_set>

#include "engine/core/interruption.hpp"
#include "engine/fenc/lexer.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

constexpr std::string_view kPrefix = "Foralls: ";
// A range longer than this is refused rather than materialised.
constexpr std::int64_t kMaxRangeLength = std::int64_t{1} << 32;

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
            if (!names.insert(key.text).second) fail(key, "index " + quoted(key.text) + " is given twice");
            expect(TokenKind::Colon);
            foralls.push_back({std::string(key.text), read_values()});
            if (peek().kind != TokenKind::Comma) break;
            next();
        }
        expect(TokenKind::RBrace);
        expect(TokenKind::End);
        return foralls;
    }

private:
    std::vector<std::int64_t> read_values() {
        const Token& start = next();
        if (start.kind == TokenKind::Name && start.text == "range") {
            expect(TokenKind::LParen);
            std::vector<std::int64_t> args = read_integers(TokenKind::RParen);
            if (args.empty() || args.size() > 3) fail(start, "range takes 1 to 3 integers");
            return expand_range(start, args);
        }
        if (start.kind == TokenKind::LBracket) return read_integers(TokenKind::RBracket);
        if (start.kind == TokenKind::LParen) return read_integers(TokenKind::RParen);
        fail(start, "expected a range, a list or a tuple of integers");
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

    std::vector<std::int64_t> expand_range(const Token& at, const std::vector<std::int64_t>& args) {
        const std::int64_t start = args.size() == 1 ? 0 : args[0];
        const std::int64_t stop = args.size() == 1 ? args[0] : args[1];
        const std::int64_t step = args.size() == 3 ? args[2] : 1;
        if (step == 0) fail(at, "range step must not be zero");
        const __int128 span = step > 0 ? (__int128)stop - start : (__int128)start - stop;
        const __int128 magnitude = step > 0 ? step : -(__int128)step;
        const __int128 length = span <= 0 ? 0 : (span + magnitude - 1) / magnitude;
        if (length > kMaxRangeLength) fail(at, "range is too long");
        std::vector<std::int64_t> values;
        values.reserve(static_cast<std::size_t>(length));
        for (__int128 k = 0; k < length; ++k, poll_.step()) values.push_back(static_cast<std::int64_t>(start + k * step));
        return values;
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
    if (text.substr(0, kPrefix.size()) != kPrefix) {
        throw TextError(text, 0, "cannot read the foralls: expected the text to start with 'Foralls: '");
    }
    return ForallsReader(text).read();
}

std::uint64_t instance_count(const std::vector<Forall>& foralls) {
    std::uint64_t count = 1;
    for (const Forall& f : foralls) {
        if (f.values.empty()) return 0;
        if (count > UINT64_MAX / f.values.size()) throw std::overflow_error("too many forall combinations");
        count *= f.values.size();
    }
    return count;
}

}  // namespace corvane::fenc
