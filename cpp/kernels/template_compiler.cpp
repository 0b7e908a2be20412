#include "kernels/template_compiler.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>

#include "engine/fenc/lexer.hpp"
#include "engine/fenc/text_error.hpp"
#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

using Wide = __int128;

// Values, coefficients and numbers stay well inside the kernel's signed 64 bits.
constexpr Wide kLimit = Wide{1} << 62;
// Paren and sign nesting this parser follows; deeper texts go to the evaluation.
constexpr int kMaxNesting = 64;

using corvane::fenc::Token;
using corvane::fenc::TokenKind;

// The tokens of a text of printable ASCII and blanks, read by the
// expression language's one lexer; nullopt for any other text (whose names
// the host would normalize, or whose blanks it reads otherwise) and for one
// the lexer refuses.
std::optional<std::vector<Token>> tokenize(std::string_view text) {
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c < 0x7f; })) return std::nullopt;
    try {
        return corvane::fenc::tokenize(text);
    } catch (const corvane::fenc::TextError&) {
        return std::nullopt;
    } catch (const std::overflow_error&) {
        return std::nullopt;
    }
}

// constant + sum of coefficients[d] * value of forall d.
struct Affine {
    Wide constant = 0;
    std::vector<Wide> coefficients;
};

struct Refused {};

class ReferenceParser {
public:
    ReferenceParser(std::vector<Token> tokens, const std::vector<Forall>& foralls)
        : tokens_(std::move(tokens)), foralls_(foralls) {}

    // -name(sum, ..., sum) and nothing after it.
    void reference(bool& negated, std::string_view& name, std::vector<Affine>& arguments) {
        negated = take(TokenKind::Minus);
        name = take_name();
        require(take(TokenKind::LParen));
        if (!take(TokenKind::RParen)) {
            arguments.push_back(sum(0));
            while (take(TokenKind::Comma)) arguments.push_back(sum(0));
            require(take(TokenKind::RParen));
        }
        require(peek(TokenKind::End));
    }

private:
    static void require(bool condition) {
        if (!condition) throw Refused{};
    }

    Affine sum(int depth) {
        Affine result = product(depth);
        for (;;) {
            if (take(TokenKind::Plus)) {
                add(result, product(depth), 1);
            } else if (take(TokenKind::Minus)) {
                add(result, product(depth), -1);
            } else {
                return result;
            }
        }
    }

    Affine product(int depth) {
        Affine result = unary(depth);
        while (take(TokenKind::Star)) {
            require(!peek(TokenKind::Star));  // a power (** is a token of its own, which nothing takes)
            Affine factor = unary(depth);
            if (is_constant(factor)) {
                scale(result, factor.constant);
            } else {
                require(is_constant(result));  // a product of two forall values is not affine
                scale(factor, result.constant);
                result = std::move(factor);
            }
        }
        return result;
    }

    Affine unary(int depth) {
        require(depth < kMaxNesting);
        if (take(TokenKind::Minus)) {
            Affine operand = unary(depth + 1);
            scale(operand, -1);
            return operand;
        }
        if (take(TokenKind::Plus)) return unary(depth + 1);
        return atom(depth);
    }

    Affine atom(int depth) {
        if (take(TokenKind::LParen)) {
            Affine inner = sum(depth + 1);
            require(take(TokenKind::RParen));
            return inner;
        }
        const Token& token = tokens_[position_];
        Affine result;
        result.coefficients.assign(foralls_.size(), 0);
        if (token.kind == TokenKind::Integer) {
            const auto value = decimal_int(token.text);
            require(value.has_value());
            ++position_;
            result.constant = *value;
            return result;
        }
        const std::string_view name = take_name();
        const auto found = std::find_if(foralls_.begin(), foralls_.end(), [&](const Forall& f) { return f.name == name; });
        require(found != foralls_.end());  // else it would not be a loop value
        result.coefficients[static_cast<std::size_t>(found - foralls_.begin())] = 1;
        return result;
    }

    static bool is_constant(const Affine& a) {
        return std::all_of(a.coefficients.begin(), a.coefficients.end(), [](Wide c) { return c == 0; });
    }

    static Wide checked(Wide value) {
        require(-kLimit < value && value < kLimit);
        return value;
    }

    static void add(Affine& into, const Affine& other, int sign) {
        into.constant = checked(into.constant + sign * other.constant);
        for (std::size_t d = 0; d < into.coefficients.size(); ++d) {
            into.coefficients[d] = checked(into.coefficients[d] + sign * other.coefficients[d]);
        }
    }

    static void scale(Affine& a, Wide factor) {
        a.constant = checked(a.constant * factor);
        for (Wide& c : a.coefficients) c = checked(c * factor);
    }

    std::string_view take_name() {
        require(peek(TokenKind::Name));
        const std::string_view name = tokens_[position_++].text;
        require(is_plain_name(name));
        return name;
    }

    // The tokens end with End, which nothing takes: the position never passes it.
    bool peek(TokenKind kind) const { return tokens_[position_].kind == kind; }

    bool take(TokenKind kind) {
        if (!peek(kind)) return false;
        ++position_;
        return true;
    }

    std::vector<Token> tokens_;
    const std::vector<Forall>& foralls_;
    std::size_t position_ = 0;
};

class Compiler {
public:
    Compiler(const std::vector<Forall>& foralls, const DeclaredVariables& variables, const AuxNumbering& numbering)
        : foralls_(foralls), numbering_(numbering), variables_(variables) {}

    TemplateLiteral literal(std::string_view text) {
        if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
            const std::string_view value = text.substr(1, text.size() - 2);
            if (std::all_of(value.begin(), value.end(), is_plain_quoted_char)) {
                return aux_literal(value);
            }
        }
        return reference_literal(text);
    }

    std::vector<AuxVariable> take_aux_variables() {
        std::vector<AuxVariable> ordered(aux_order_.size());
        for (const auto& [key, position] : aux_order_) {
            ordered[position] = {key.first ? numbering_.bx_prefix : numbering_.pb_prefix, key.second, aux_first_[position]};
        }
        return ordered;
    }

private:
    static void require(bool condition) {
        if (!condition) throw Refused{};
    }

    TemplateLiteral aux_literal(std::string_view value) {
        // As the aux numbering reads it: any "~" negates, and the first character goes.
        const bool negated = value.find('~') != std::string_view::npos;
        const std::string_view name = negated ? value.substr(1) : value;
        bool tseytin = false;
        std::int64_t block = numbering_.pb_count, offset = 0;
        if (name.find(numbering_.pb_prefix) == std::string_view::npos) {
            require(name.find(numbering_.bx_prefix) != std::string_view::npos);
            tseytin = true;
            block = numbering_.bx_count;
            offset = numbering_.pb_count;
        }
        const std::string_view suffix = name.substr(name.rfind('_') + 1);  // all of it without "_"
        require(!suffix.empty() && suffix.size() <= 18 &&
                std::all_of(suffix.begin(), suffix.end(), is_ascii_digit));
        std::int64_t index = 0;
        for (char c : suffix) index = index * 10 + (c - '0');
        require(index < block);
        const std::int64_t first_number = numbering_.init_shift + offset + index;
        const auto key = std::make_pair(tseytin, index);
        if (aux_order_.emplace(key, aux_first_.size()).second) aux_first_.push_back(first_number);
        TemplateLiteral literal;
        literal.negated = negated;
        literal.base = first_number;
        literal.per_instance = numbering_.pb_count + numbering_.bx_count;
        literal.coefficients.assign(foralls_.size(), 0);
        return literal;
    }

    TemplateLiteral reference_literal(std::string_view text) {
        auto tokens = tokenize(text);
        require(tokens.has_value());
        bool negated = false;
        std::string_view name;
        std::vector<Affine> arguments;
        ReferenceParser(std::move(*tokens), foralls_).reference(negated, name, arguments);
        // A forall of the same name hides the variable.
        require(std::none_of(foralls_.begin(), foralls_.end(), [&](const Forall& f) { return f.name == name; }));
        const DeclaredVariable* found = variables_.find(name);
        require(found != nullptr);
        const DeclaredVariable& variable = *found;
        require(arguments.size() == variable.sizes.size() && arguments.size() == variable.strides.size());
        Affine number;
        number.constant = variable.first;
        number.coefficients.assign(foralls_.size(), 0);
        for (std::size_t k = 0; k < arguments.size(); ++k) {
            const auto [low, high] = range_of(arguments[k]);
            require(0 <= low && high < variable.sizes[k]);
            number.constant += arguments[k].constant * variable.strides[k];
            for (std::size_t d = 0; d < foralls_.size(); ++d) {
                number.coefficients[d] += arguments[k].coefficients[d] * variable.strides[k];
                require(-kLimit < number.coefficients[d] && number.coefficients[d] < kLimit);
            }
            require(-kLimit < number.constant && number.constant < kLimit);
        }
        const auto [low, high] = range_of(number);
        require(1 <= low && high < kLimit);
        TemplateLiteral literal;
        literal.negated = negated;
        literal.base = static_cast<std::int64_t>(number.constant);
        for (Wide c : number.coefficients) literal.coefficients.push_back(static_cast<std::int64_t>(c));
        return literal;
    }

    // Least and greatest value over all instances: the foralls vary
    // independently, so each term reaches its extremes on its own. Every
    // term is below 2^124 in magnitude, so sums of a few stay exact.
    std::pair<Wide, Wide> range_of(const Affine& a) const {
        Wide low = a.constant, high = a.constant;
        for (std::size_t d = 0; d < foralls_.size(); ++d) {
            const Wide x = a.coefficients[d] * foralls_[d].low, y = a.coefficients[d] * foralls_[d].high;
            low += std::min(x, y);
            high += std::max(x, y);
            require(-kLimit * kLimit < low && high < kLimit * kLimit);
        }
        return {low, high};
    }

    const std::vector<Forall>& foralls_;
    const AuxNumbering& numbering_;
    const DeclaredVariables& variables_;
    std::map<std::pair<bool, std::int64_t>, std::size_t> aux_order_;  // (Tseytin?, index) -> position
    std::vector<std::int64_t> aux_first_;
};

}  // namespace

std::optional<std::int64_t> DeclaredVariable::number(std::span<const std::int64_t> indexes) const {
    if (indexes.size() != sizes.size() || strides.size() != sizes.size()) return std::nullopt;
    std::int64_t number = first;
    for (std::size_t d = 0; d < sizes.size(); ++d) {
        if (indexes[d] < 0 || indexes[d] >= sizes[d]) return std::nullopt;
        std::int64_t offset = 0;
        if (__builtin_mul_overflow(indexes[d], strides[d], &offset) || __builtin_add_overflow(number, offset, &number)) {
            return std::nullopt;
        }
    }
    return number;
}

std::string element_reference(std::string_view name, std::span<const std::int64_t> indexes) {
    std::string text(name);
    text += '(';
    for (std::size_t d = 0; d < indexes.size(); ++d) {
        if (d > 0) text += ',';
        text += std::to_string(indexes[d]);
    }
    return text + ')';
}

const DeclaredVariable* DeclaredVariables::find(std::string_view name) const {
    const auto found = by_name.find(name);
    return found == by_name.end() ? nullptr : &found->second;
}

std::optional<CompiledTemplate> compile_template(
    const LiteralTexts& literals, const std::vector<std::int64_t>& weights, const std::vector<Forall>& foralls,
    const DeclaredVariables& variables, const AuxNumbering& numbering) {
    if (weights.size() < literals.clause_ends.size()) return std::nullopt;
    Compiler compiler(foralls, variables, numbering);
    CompiledTemplate compiled;
    compiled.clauses.reserve(literals.clause_ends.size());
    // A text's first literal compiles it, so aux variables still enter in order of first appearance.
    std::vector<std::optional<TemplateLiteral>> compiled_texts(literals.texts.size());
    try {
        std::size_t begin = 0;
        for (std::size_t c = 0; c < literals.clause_ends.size(); ++c) {
            TemplateClause& clause = compiled.clauses.emplace_back();
            clause.weight = weights[c];
            clause.literals.reserve(literals.clause_ends[c] - begin);
            for (std::size_t i = begin; i < literals.clause_ends[c]; ++i) {
                std::optional<TemplateLiteral>& literal = compiled_texts.at(literals.literals[i]);
                if (!literal) literal = compiler.literal(literals.texts[literals.literals[i]]);
                clause.literals.push_back(*literal);
            }
            begin = literals.clause_ends[c];
        }
    } catch (const Refused&) {
        return std::nullopt;
    }
    compiled.aux_variables = compiler.take_aux_variables();
    return compiled;
}

}  // namespace tarvo::kernels
