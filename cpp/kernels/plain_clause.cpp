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

// The unsigned decimal int at `at`, as the host reads it.
std::optional<std::int64_t> unsigned_decimal(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && is_ascii_digit(text[at])) ++at;
    return decimal_int(text.substr(start, at - start));
}

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

// name(i,j,...): the element's flat number, the name and the indexes.
std::optional<PlainClauseReader::Reference> PlainClauseReader::reference(std::string_view text,
                                                                         std::size_t& at) const {
    const std::size_t start = at;
    if (at >= text.size() || !is_ascii_name_start(text[at])) return std::nullopt;
    while (at < text.size() && is_ascii_name_char(text[at])) ++at;
    Reference read{0, text.substr(start, at - start), {}};
    const DeclaredVariable* found = variables_.find(read.name);
    if (found == nullptr || !take(text, at, "(")) return std::nullopt;
    if (!take(text, at, ")")) {  // else a variable without dimensions
        do {
            const auto index = unsigned_decimal(text, at);
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

// x(...).to_bx(): the element's variable node, made on first use with the
// name the evaluation gives it (its indexes as the host prints them).
std::optional<Expr> PlainClauseReader::element(std::string_view text, std::size_t& at) {
    const auto read = reference(text, at);
    // Number 0, the dummy variable's, has no negation in the storage.
    if (!read || read->number <= 0 || !take(text, at, ".to_bx()")) return std::nullopt;
    const auto known = element_nodes_.find(read->number);
    if (known != element_nodes_.end()) return known->second;
    std::string name(read->name);
    name += '(';
    for (std::size_t d = 0; d < read->indexes.size(); ++d) {
        if (d > 0) name += ',';
        name += std::to_string(read->indexes[d]);
    }
    name += ')';
    auto node = elements_.get_var(name);
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

// The element number of a literal's variable; nullopt for a variable that is
// not one of the elements (an aux variable of the clause form).
std::optional<std::int64_t> PlainClauseReader::element_number(const Node& literal) const {
    const Node& variable = literal.kind() == Kind::Not ? *literal.args().front() : literal;
    if (variable.kind() != Kind::Variable) return std::nullopt;
    const auto id = static_cast<const corvane::dravo::Variable&>(variable).id();
    if (elements_.var_by_id(id).get() != &variable) return std::nullopt;
    const std::int64_t number = number_by_id_[id - 1];
    return literal.kind() == Kind::Not ? -number : number;
}

std::optional<PlainFormula> PlainClauseReader::formula(std::string_view text) {
    std::size_t at = 0;
    const auto read = subformula(text, at, 0);
    if (!read || at != text.size() || (*read)->is_constant()) return std::nullopt;
    auto clause_form = transformed_clause_form(*read);
    if (!clause_form) {
        // The aux variables it may make are never stored: such a form is refused below.
        corvane::dravo::Context aux_variables;
        clause_form = corvane::dravo::tseytin(*read, aux_variables, "aux");
    }
    if ((*clause_form)->is_constant()) return std::nullopt;
    const std::vector<Expr> single{*clause_form};
    const auto& clauses = (*clause_form)->kind() == Kind::And ? (*clause_form)->args() : single;
    PlainFormula result{*clause_form, {}};
    std::vector<std::int64_t> literals;
    for (const Expr& clause : clauses) {
        literals.clear();
        if (clause->kind() == Kind::Or) {
            for (const Expr& literal : clause->args()) literals.push_back(element_number(*literal).value_or(0));
        } else {
            literals.push_back(element_number(*clause).value_or(0));
        }
        if (std::find(literals.begin(), literals.end(), 0) != literals.end()) return std::nullopt;
        sort_by_absolute_value(literals);
        result.storage.add_hard_clause(literals);
    }
    return result;
}

}  // namespace tarvo::kernels
