#include "kernels/plain_clause.hpp"

#include <algorithm>
#include <cstdlib>

#include "engine/dravo/build.hpp"
#include "engine/dravo/tseytin.hpp"
#include "kernels/clause_form.hpp"
#include "engine/fenc/written_words.hpp"
#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

using corvane::dravo::Expr;
using corvane::dravo::Kind;
using corvane::dravo::Node;
using corvane::fenc::TokenKind;
using corvane::fenc::WrittenTokens;
using Word = corvane::fenc::Name;

// Nested or_s calls open two brackets each, a literal three; the host's
// parser refuses 200 open brackets, and long before that the evaluation
// itself may recurse too deep for a deep caller stack.
constexpr int kMaxDepth = 32;

bool at_name(const WrittenTokens& tokens, std::string_view name) {
    return tokens.at(TokenKind::Name) && tokens.token().text == name;
}

// bx.<word>( with what the word's call opens with: "[" for a list
// combinator, ")" for one() and zero(). The word, or nullopt with the
// tokens as they were: a variable may be named bx.
std::optional<Word> take_bx_opening(WrittenTokens& tokens) {
    if (!at_name(tokens, corvane::fenc::word_of(Word::BxModule).spelling)) return std::nullopt;
    WrittenTokens after = tokens;
    if (!after.take(TokenKind::Name) || !after.take(TokenKind::Dot) || !after.at(TokenKind::Name)) return std::nullopt;
    const corvane::fenc::Word* word = corvane::fenc::find_word(corvane::fenc::Owner::BxModule, after.token().text);
    if (word == nullptr || !after.take(TokenKind::Name) || !after.take(TokenKind::LParen)) return std::nullopt;
    switch (word->name) {
        case Word::BxAnd:
        case Word::BxOr:
        case Word::BxXor:
        case Word::BxEq:
            if (!after.take(TokenKind::LBracket)) return std::nullopt;
            break;
        case Word::BxOne:
        case Word::BxZero:
            if (!after.take(TokenKind::RParen)) return std::nullopt;
            break;
        default: break;
    }
    tokens = after;
    return word->name;
}

bool take_to_bx(WrittenTokens& tokens) { return corvane::fenc::take_method_call(tokens, Word::RefToBx); }

// In a shape's key a bx word is its Name, the other words these, an
// element its slot from kFirstSlot on.
enum ShapeByte : char { kNegation = 24, kListEnd, kCallEnd, kSeparator, kFirstSlot = 32 };

// The list combinators: their word and the engine constructor.
struct ListCombinator {
    Word word;
    Expr (*build)(std::span<const Expr>);
};
constexpr ListCombinator kListCombinators[] = {
    {Word::BxAnd, corvane::dravo::and_s},
    {Word::BxOr, corvane::dravo::or_s},
    {Word::BxXor, corvane::dravo::xor_s},
    {Word::BxEq, corvane::dravo::eq_s},
};

}  // namespace

std::optional<ElementReference> read_element_reference(const DeclaredVariables& variables, WrittenTokens& tokens) {
    if (!tokens.at(TokenKind::Name) || !is_ascii_identifier(tokens.token().text)) return std::nullopt;
    ElementReference read{0, tokens.token().text, {}};
    const DeclaredVariable* found = variables.find(read.name);
    if (found == nullptr || !tokens.take(TokenKind::Name) || !tokens.take(TokenKind::LParen)) return std::nullopt;
    if (!tokens.take(TokenKind::RParen)) {  // else a variable without dimensions
        do {
            const auto index = take_decimal_int(tokens);
            if (!index) return std::nullopt;
            read.indexes.push_back(*index);
        } while (tokens.take(TokenKind::Comma));
        if (!tokens.take(TokenKind::RParen)) return std::nullopt;
    }
    const auto number = found->number(read.indexes);
    if (!number) return std::nullopt;
    read.number = *number;
    return read;
}

std::optional<ElementReference> read_element_reference(const DeclaredVariables& variables, std::string_view text,
                                                       std::size_t& at) {
    WrittenTokens tokens(text, at);
    auto read = read_element_reference(variables, tokens);
    at = tokens.taken_end();
    return read;
}

std::optional<std::vector<std::int64_t>> PlainClauseReader::read(std::string_view text) const {
    std::vector<std::int64_t> literals;
    WrittenTokens tokens(text);
    if (WrittenTokens bare = tokens; const auto read = reference(bare)) {
        if (bare.take(TokenKind::End)) {
            return read->number > 0 ? std::optional(std::vector<std::int64_t>{read->number}) : std::nullopt;
        }
    }
    // Iterative, not recursive: depth costs no stack. `open` counts the
    // or_s lists entered and not yet closed; an empty list fails as a
    // literal that is not there.
    int open = 0;
    while (true) {
        if (WrittenTokens after = tokens; take_bx_opening(after) == Word::BxOr) {
            tokens = after;
            if (++open > kMaxDepth) return std::nullopt;
            continue;
        }
        const bool negated = tokens.at(TokenKind::Tilde);
        if (negated && !corvane::fenc::take_negation(tokens)) return std::nullopt;
        const auto read = reference(tokens);
        // Number 0, the dummy variable's, has no negation in the storage.
        if (!read || read->number <= 0 || !take_to_bx(tokens) || (negated && !tokens.take(TokenKind::RParen))) {
            return std::nullopt;
        }
        literals.push_back(negated ? -read->number : read->number);
        // Close the lists that end here, then a separator or the end of the text.
        for (; open > 0 && tokens.at(TokenKind::RBracket); --open) {
            if (!corvane::fenc::take_list_call_end(tokens)) return std::nullopt;
        }
        if (open == 0) break;
        if (!corvane::fenc::take_separator(tokens)) return std::nullopt;
    }
    if (!tokens.take(TokenKind::End)) return std::nullopt;
    sort_by_absolute_value(literals);
    // A repeated variable, alone or with its negation, is left to the evaluation,
    // which drops it or finds the clause always true.
    const auto repeated = std::adjacent_find(literals.begin(), literals.end(), [](std::int64_t a, std::int64_t b) {
        return std::llabs(a) == std::llabs(b);
    });
    if (repeated != literals.end()) return std::nullopt;
    return literals;
}

std::optional<std::size_t> element_slot(const ElementReference& read, std::vector<std::int64_t>& elements,
                                        std::vector<std::string>& names, std::size_t max_elements) {
    const auto slot =
        static_cast<std::size_t>(std::find(elements.begin(), elements.end(), read.number) - elements.begin());
    if (slot == elements.size()) {
        if (slot == max_elements) return std::nullopt;
        elements.push_back(read.number);
        names.push_back(element_reference(read.name, read.indexes));
    }
    return slot;
}

// x(...).to_bx(): the element's variable node, made on first use with the
// name the evaluation gives it (its indexes as the host prints them).
std::optional<Expr> PlainClauseReader::element(WrittenTokens& tokens) {
    const auto read = reference(tokens);
    // Number 0, the dummy variable's, has no negation in the storage.
    if (!read || read->number <= 0 || !take_to_bx(tokens)) return std::nullopt;
    const auto known = element_nodes_.find(read->number);
    if (known != element_nodes_.end()) return known->second;
    auto node = elements_.get_var(element_reference(read->name, read->indexes));
    if (number_by_id_.size() < node->id()) number_by_id_.resize(node->id());
    number_by_id_[node->id() - 1] = read->number;
    return element_nodes_.emplace(read->number, std::move(node)).first->second;
}

// `count` formulas separated by ", ", or a list (count 0) of any length
// closed by "])".
std::optional<std::vector<Expr>> PlainClauseReader::operands(WrittenTokens& tokens, int depth, std::size_t count) {
    std::vector<Expr> read;
    const auto list_ends = [&] { return count == 0 && tokens.at(TokenKind::RBracket); };
    if (list_ends()) return corvane::fenc::take_list_call_end(tokens) ? std::optional(read) : std::nullopt;
    while (true) {
        auto operand = subformula(tokens, depth);
        if (!operand) return std::nullopt;
        read.push_back(std::move(*operand));
        if (list_ends()) return corvane::fenc::take_list_call_end(tokens) ? std::optional(read) : std::nullopt;
        if (count > 0 && read.size() == count) return read;
        if (!corvane::fenc::take_separator(tokens)) return std::nullopt;
    }
}

// Recursive, with the depth bounded: a deeper text goes to the evaluation.
std::optional<Expr> PlainClauseReader::subformula(WrittenTokens& tokens, int depth) {
    if (++depth > kMaxDepth) return std::nullopt;
    if (const auto word = take_bx_opening(tokens)) {
        for (const ListCombinator& combinator : kListCombinators) {
            if (combinator.word != *word) continue;
            const auto listed = operands(tokens, depth, 0);
            return listed ? std::optional(combinator.build(*listed)) : std::nullopt;
        }
        if (*word == Word::BxOne) return corvane::dravo::one();
        if (*word == Word::BxZero) return corvane::dravo::zero();
        const std::size_t count = *word == Word::BxImpl ? 2 : 3;
        const auto read = operands(tokens, depth, count);
        if (!read || !tokens.take(TokenKind::RParen)) return std::nullopt;
        return count == 2 ? corvane::dravo::impl_s((*read)[0], (*read)[1])
                          : corvane::dravo::ite_s((*read)[0], (*read)[1], (*read)[2]);
    }
    if (tokens.at(TokenKind::Tilde)) {
        if (!corvane::fenc::take_negation(tokens)) return std::nullopt;
        const auto operand = subformula(tokens, depth);
        if (!operand || !tokens.take(TokenKind::RParen)) return std::nullopt;
        return corvane::dravo::negate(*operand);
    }
    return element(tokens);
}

// The slot of a clause-form variable: an element's slot in the shape, or,
// after the elements, the slot of the k-th aux variable (id k + 1 in
// `aux_variables`); nullopt for any other node.
std::optional<std::size_t> PlainClauseReader::slot_of(const Node& node, const Shape& read,
                                                      const corvane::dravo::Context& aux_variables) const {
    if (node.kind() != Kind::Variable) return std::nullopt;
    const auto id = static_cast<const corvane::dravo::Variable&>(node).id();
    if (aux_variables.var_by_id(id).get() == &node) return read.elements.size() + id - 1;
    if (elements_.var_by_id(id).get() != &node) return std::nullopt;
    const auto found = std::find(read.elements.begin(), read.elements.end(), number_by_id_[id - 1]);
    if (found == read.elements.end()) return std::nullopt;
    return static_cast<std::size_t>(found - read.elements.begin());
}

// The text's tokens, checked one by one but not yet as a formula; each
// element declared, inside its dimensions and not number 0.
std::optional<PlainClauseReader::Shape> PlainClauseReader::shape(std::string_view text) const {
    Shape read;
    WrittenTokens tokens(text);
    while (!tokens.take(TokenKind::End)) {
        if (read.key.size() == kMaxTokens) return std::nullopt;
        if (const auto word = take_bx_opening(tokens)) {
            read.key.push_back(static_cast<char>(*word));
            continue;
        }
        const auto take_word = [&](ShapeByte byte, bool taken) {
            if (taken) read.key.push_back(byte);
            return taken;
        };
        switch (tokens.token().kind) {
            case TokenKind::Tilde:
                if (!take_word(kNegation, corvane::fenc::take_negation(tokens))) return std::nullopt;
                continue;
            case TokenKind::RBracket:
                if (!take_word(kListEnd, corvane::fenc::take_list_call_end(tokens))) return std::nullopt;
                continue;
            case TokenKind::RParen:
                if (!take_word(kCallEnd, tokens.take(TokenKind::RParen))) return std::nullopt;
                continue;
            case TokenKind::Comma:
                if (!take_word(kSeparator, corvane::fenc::take_separator(tokens))) return std::nullopt;
                continue;
            default: break;
        }
        const auto element = reference(tokens);
        if (!element || element->number <= 0 || !take_to_bx(tokens)) return std::nullopt;
        const auto slot = element_slot(*element, read.elements, read.names, kMaxElements);
        if (!slot) return std::nullopt;
        read.key.push_back(static_cast<char>(kFirstSlot + static_cast<int>(*slot)));
    }
    return read;
}

// The clause form that the evaluation road makes of the formula, over the
// shape's slots. nullopt where the text is no formula, or its clause form is
// a constant.
std::optional<PlainClauseReader::ShapeForm> PlainClauseReader::shape_clause_form(std::string_view text,
                                                                                  const Shape& read) {
    WrittenTokens tokens(text);
    const auto formula = subformula(tokens, 0);
    if (!formula || !tokens.take(TokenKind::End) || (*formula)->is_constant()) return std::nullopt;
    // A fresh context: the transformation makes its k-th aux variable there
    // with id k + 1.
    corvane::dravo::Context aux_variables;
    auto clause_form = transformed_clause_form(*formula);
    if (!clause_form) clause_form = corvane::dravo::tseytin(*formula, aux_variables, aux_prefix_);
    if ((*clause_form)->is_constant()) return std::nullopt;
    const std::vector<Expr> single{*clause_form};
    const auto& clauses = (*clause_form)->kind() == Kind::And ? (*clause_form)->args() : single;
    ShapeForm numbered{{}, aux_variables.size()};
    const auto add = [&](const Node& literal) {
        const bool negated = literal.kind() == Kind::Not;
        const auto slot = slot_of(negated ? *literal.args().front() : literal, read, aux_variables);
        if (!slot) return false;
        const auto number = static_cast<corvane::dravo::Literal>(*slot + 1);
        numbered.clauses.literals.push_back(negated ? -number : number);
        return true;
    };
    for (const Expr& clause : clauses) {
        if (clause->kind() == Kind::Or) {
            for (const Expr& literal : clause->args())
                if (!add(*literal)) return std::nullopt;
        } else if (!add(*clause)) {
            return std::nullopt;
        }
        numbered.clauses.clause_ends.push_back(numbered.clauses.literals.size());
    }
    return numbered;
}

std::optional<PlainFormula> PlainClauseReader::formula(std::string_view text) {
    auto read = shape(text);
    if (!read) return std::nullopt;
    auto kept = shapes_.find(read->key);
    if (kept == shapes_.end()) {
        if (shapes_.size() == kMaxShapesKept) shapes_.clear();
        kept = shapes_.emplace(read->key, shape_clause_form(text, *read)).first;
    }
    const auto& form = kept->second;
    if (!form) return std::nullopt;
    for (std::size_t k = 0; k < form->aux_count; ++k) read->names.push_back(aux_prefix_ + "_" + std::to_string(k));
    PlainFormula result{{std::move(read->names), form->clauses.literals, form->clauses.clause_ends, 0},
                        static_cast<std::int64_t>(form->aux_count), std::nullopt};
    if (form->aux_count == 0) store_instance(form->clauses, read->elements, result.storage.emplace());
    return result;
}

}  // namespace tarvo::kernels
