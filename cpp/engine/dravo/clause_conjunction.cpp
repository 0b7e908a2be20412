#include "engine/dravo/clause_conjunction.hpp"

#include <algorithm>
#include <climits>

namespace corvane::dravo {

namespace {

constexpr std::uint8_t kPositive = 1, kNegative = 2;

std::size_t variable_of(Literal literal) { return static_cast<std::size_t>(literal < 0 ? -literal : literal) - 1; }

}  // namespace

// or_s of one clause, then its place in the and_s of all clauses: a clause
// with a variable and its negation is true and left out; a positive literal
// met again in its clause is dropped, a negative one kept (each negation is a
// node of its own), which leaves a clause that is not over distinct
// variables. A unit clause is a literal of the conjunction, where a repeated
// positive unit is dropped and a unit that meets its negation makes the
// formula false.
bool ConjunctionClauseForm::add_clause(std::span<const Literal> clause) {
    const std::size_t begin = literals_.size();
    ++clause_stamp_;
    bool repeated = false, tautology = false;
    for (const Literal literal : clause) {
        if (literal == 0 || literal == INT64_MIN) return false;
        const std::size_t v = variable_of(literal);
        grow(v);
        if (literal > 0) {
            if (positive_[v] == clause_stamp_) continue;
            tautology = tautology || negative_[v] == clause_stamp_;
            positive_[v] = clause_stamp_;
        } else {
            tautology = tautology || positive_[v] == clause_stamp_;
            repeated = repeated || negative_[v] == clause_stamp_;
            negative_[v] = clause_stamp_;
        }
        literals_.push_back(literal);
    }
    if (tautology) {
        literals_.resize(begin);
        return true;
    }
    if (literals_.size() == begin) return false;  // the empty clause: the formula is false
    const Conjunct conjunct{begin, literals_.size()};
    if (!conjunct.unit()) {
        if (repeated) return false;
        conjuncts_.push_back(conjunct);
        return true;
    }
    const Literal literal = literals_[begin];
    const std::size_t v = variable_of(literal);
    const std::uint8_t sign = literal > 0 ? kPositive : kNegative;
    if ((unit_signs_[v] | sign) == (kPositive | kNegative)) return false;
    if (sign == kPositive && (unit_signs_[v] & kPositive)) {
        literals_.resize(begin);
        return true;
    }
    unit_signs_[v] |= sign;
    conjuncts_.push_back(conjunct);
    return true;
}

// The clauses in their order, and the unit clauses of a variable right after
// the conjunct of its last occurrence (those placed in one clause in the
// clause's literal order), each sign once.
std::optional<NumberedClauses> ConjunctionClauseForm::take() {
    if (conjuncts_.empty()) return std::nullopt;  // no clause left: the formula is true
    const std::size_t variables = unit_signs_.size();
    std::vector<std::size_t> placed_at(variables, SIZE_MAX), rank(variables, 0);
    std::vector<std::vector<std::size_t>> after(conjuncts_.size());
    for (std::size_t c = conjuncts_.size(); c-- > 0;) {
        const Conjunct& conjunct = conjuncts_[c];
        for (std::size_t i = conjunct.end; i-- > conjunct.begin;) {
            const std::size_t v = variable_of(literals_[i]);
            if (unit_signs_[v] != 0 && placed_at[v] == SIZE_MAX) {
                placed_at[v] = c;
                rank[v] = i - conjunct.begin;
                after[c].push_back(v);
            }
        }
    }
    NumberedClauses result;
    result.literals.reserve(literals_.size());
    result.clause_ends.reserve(conjuncts_.size());
    for (std::size_t c = 0; c < conjuncts_.size(); ++c) {
        const Conjunct& conjunct = conjuncts_[c];
        if (!conjunct.unit()) {
            result.literals.insert(result.literals.end(), literals_.begin() + static_cast<std::ptrdiff_t>(conjunct.begin),
                                   literals_.begin() + static_cast<std::ptrdiff_t>(conjunct.end));
            result.clause_ends.push_back(result.literals.size());
        }
        std::sort(after[c].begin(), after[c].end(), [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
        for (const std::size_t v : after[c]) {
            const auto literal = static_cast<Literal>(v) + 1;
            if (unit_signs_[v] & kPositive) result.literals.push_back(literal);
            if (unit_signs_[v] & kNegative) result.literals.push_back(-literal);
            result.clause_ends.push_back(result.literals.size());
        }
    }
    return result;
}

void ConjunctionClauseForm::grow(std::size_t v) {
    if (v < positive_.size()) return;
    positive_.resize(v + 1, 0);
    negative_.resize(v + 1, 0);
    unit_signs_.resize(v + 1, 0);
}

std::optional<NumberedClauses> conjunction_clause_form(std::span<const Literal> database) {
    ConjunctionClauseForm form;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < database.size(); ++i) {
        if (database[i] != 0) continue;
        if (!form.add_clause(database.subspan(begin, i - begin))) return std::nullopt;
        begin = i + 1;
    }
    return form.take();
}

}  // namespace corvane::dravo
