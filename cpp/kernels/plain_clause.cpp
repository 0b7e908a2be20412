#include "kernels/plain_clause.hpp"

#include <algorithm>
#include <cstdlib>

#include "engine/dravo/build.hpp"
#include "engine/dravo/tseytin.hpp"
#include "kernels/clause_form.hpp"
#include "kernels/python_names.hpp"

namespace tarvo::kernels {

namespace {

using corvane::dravo::Expr;
using corvane::dravo::Kind;
using corvane::dravo::Node;

// Nested or_s calls open two brackets each, a literal three; the host's
// parser refuses 200 open brackets, and long before that the evaluation
// itself may recurse too deep for a deep caller stack.
constexpr int kMaxDepth = 32;

bool take(std::string_view text, std::size_t& at, std::string_view token) {
    if (text.substr(at, token.size()) != token) return false;
    at += token.size();
    return true;
}


// Every token of a formula's text but the element references, which are
// name(indexes).to_bx().
constexpr std::string_view kTokens[] = {"bx.and_s([", "bx.or_s([", "bx.xor_s([", "bx.eq_s([", "bx.impl_s(", "bx.ite_s(",
                                        "~(", "bx.one()", "bx.zero()", "])", ")", ", "};
// In a shape's key a token is its position in kTokens, an element its slot
// from here on.
constexpr char kFirstSlot = 16;

// The list combinators: what the text calls, and the engine constructor.
struct ListCombinator {
    std::string_view opening;
    Expr (*build)(std::span<const Expr>);
};
constexpr ListCombinator kListCombinators[] = {
    {"bx.and_s([", corvane::dravo::and_s},
    {"bx.or_s([", corvane::dravo::or_s},
    {"bx.xor_s([", corvane::dravo::xor_s},
    {"bx.eq_s([", corvane::dravo::eq_s},
};

}  // namespace

std::optional<ElementReference> read_element_reference(const DeclaredVariables& variables, std::string_view text,
                                                       std::size_t& at) {
    const std::size_t start = at;
    if (at >= text.size() || !is_ascii_name_start(text[at])) return std::nullopt;
    while (at < text.size() && is_ascii_name_char(text[at])) ++at;
    ElementReference read{0, text.substr(start, at - start), {}};
    const DeclaredVariable* found = variables.find(read.name);
    if (found == nullptr || !take(text, at, "(")) return std::nullopt;
    if (!take(text, at, ")")) {  // else a variable without dimensions
        do {
            const auto index = read_decimal_int(text, at);
            if (!index) return std::nullopt;
            read.indexes.push_back(*index);
        } while (take(text, at, ","));
        if (!take(text, at, ")")) return std::nullopt;
    }
    const auto number = found->number(read.indexes);
    if (!number) return std::nullopt;
    read.number = *number;
    return read;
}

std::optional<std::vector<std::int64_t>> PlainClauseReader::read(std::string_view text) const {
    std::vector<std::int64_t> literals;
    std::size_t at = 0;
    if (const auto bare = reference(text, at); bare && at == text.size()) {
        return bare->number > 0 ? std::optional(std::vector<std::int64_t>{bare->number}) : std::nullopt;
    }
    at = 0;
    // Iterative, not recursive: depth costs no stack. `open` counts the
    // or_s lists entered and not yet closed; an empty list fails as a
    // literal that is not there.
    int open = 0;
    while (true) {
        if (take(text, at, "bx.or_s([")) {
            if (++open > kMaxDepth) return std::nullopt;
            continue;
        }
        const bool negated = take(text, at, "~(");
        const auto read = reference(text, at);
        // Number 0, the dummy variable's, has no negation in the storage.
        if (!read || read->number <= 0 || !take(text, at, ".to_bx()") || (negated && !take(text, at, ")"))) {
            return std::nullopt;
        }
        literals.push_back(negated ? -read->number : read->number);
        // Close the lists that end here, then a separator or the end of the text.
        while (open > 0 && take(text, at, "])")) --open;
        if (open == 0) break;
        if (!take(text, at, ", ")) return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
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
std::optional<Expr> PlainClauseReader::element(std::string_view text, std::size_t& at) {
    const auto read = reference(text, at);
    // Number 0, the dummy variable's, has no negation in the storage.
    if (!read || read->number <= 0 || !take(text, at, ".to_bx()")) return std::nullopt;
    const auto known = element_nodes_.find(read->number);
    if (known != element_nodes_.end()) return known->second;
    auto node = elements_.get_var(element_reference(read->name, read->indexes));
    if (number_by_id_.size() < node->id()) number_by_id_.resize(node->id());
    number_by_id_[node->id() - 1] = read->number;
    return element_nodes_.emplace(read->number, std::move(node)).first->second;
}

// `count` formulas separated by ", ", or a list (count 0) of any length
// closed by "])".
std::optional<std::vector<Expr>> PlainClauseReader::operands(std::string_view text, std::size_t& at, int depth,
                                                             std::size_t count) {
    std::vector<Expr> read;
    if (count == 0 && take(text, at, "])")) return read;
    while (true) {
        auto operand = subformula(text, at, depth);
        if (!operand) return std::nullopt;
        read.push_back(std::move(*operand));
        if (count == 0 ? take(text, at, "])") : read.size() == count) return read;
        if (!take(text, at, ", ")) return std::nullopt;
    }
}

// Recursive, with the depth bounded: a deeper text goes to the evaluation.
std::optional<Expr> PlainClauseReader::subformula(std::string_view text, std::size_t& at, int depth) {
    if (++depth > kMaxDepth) return std::nullopt;
    for (const ListCombinator& combinator : kListCombinators) {
        if (take(text, at, combinator.opening)) {
            const auto listed = operands(text, at, depth, 0);
            return listed ? std::optional(combinator.build(*listed)) : std::nullopt;
        }
    }
    if (take(text, at, "bx.impl_s(")) {
        const auto read = operands(text, at, depth, 2);
        if (!read || !take(text, at, ")")) return std::nullopt;
        return corvane::dravo::impl_s((*read)[0], (*read)[1]);
    }
    if (take(text, at, "bx.ite_s(")) {
        const auto read = operands(text, at, depth, 3);
        if (!read || !take(text, at, ")")) return std::nullopt;
        return corvane::dravo::ite_s((*read)[0], (*read)[1], (*read)[2]);
    }
    if (take(text, at, "~(")) {
        const auto operand = subformula(text, at, depth);
        if (!operand || !take(text, at, ")")) return std::nullopt;
        return corvane::dravo::negate(*operand);
    }
    if (take(text, at, "bx.one()")) return corvane::dravo::one();
    if (take(text, at, "bx.zero()")) return corvane::dravo::zero();
    return element(text, at);
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
    std::size_t at = 0;
    while (at < text.size()) {
        if (read.key.size() == kMaxTokens) return std::nullopt;
        const auto token = std::find_if(std::begin(kTokens), std::end(kTokens),
                                        [&](std::string_view t) { return take(text, at, t); });
        if (token != std::end(kTokens)) {
            read.key.push_back(static_cast<char>(token - std::begin(kTokens)));
            continue;
        }
        const auto element = reference(text, at);
        if (!element || element->number <= 0 || !take(text, at, ".to_bx()")) return std::nullopt;
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
    std::size_t at = 0;
    const auto formula = subformula(text, at, 0);
    if (!formula || at != text.size() || (*formula)->is_constant()) return std::nullopt;
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
