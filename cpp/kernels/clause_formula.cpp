#include "kernels/clause_formula.hpp"

#include <stdexcept>

#include "engine/dravo/build.hpp"

namespace tarvo::kernels {

using corvane::dravo::Expr;

ClauseFormulaBuilder::ClauseFormulaBuilder(Lookup paired, corvane::dravo::Context& context, std::string prefix,
                                           std::int64_t next_index)
    : lookup_(std::move(paired)), context_(context), prefix_(std::move(prefix)), next_index_(next_index) {}

const ClauseFormulaBuilder::VariablePtr& ClauseFormulaBuilder::variable(std::int64_t number) {
    auto found = known_.find(number);
    if (found != known_.end()) return found->second;
    VariablePtr variable = lookup_(number);
    if (!variable) {
        variable = context_.get_var(prefix_ + "_" + std::to_string(next_index_));
        ++next_index_;
        new_pairs_.emplace_back(number, variable);
    }
    return known_.emplace(number, std::move(variable)).first->second;
}

Expr ClauseFormulaBuilder::build(std::span<const std::int64_t> literals, std::span<const std::size_t> clause_ends) {
    std::vector<Expr> clauses;
    clauses.reserve(clause_ends.size());
    std::vector<Expr> clause;
    std::size_t begin = 0;
    for (const std::size_t end : clause_ends) {
        clause.clear();
        for (std::size_t i = begin; i < end; ++i) {
            const std::int64_t literal = literals[i];
            if (literal == INT64_MIN) throw std::overflow_error("a clause literal has no negation in 64 bits");
            // As the Manager reads it: a literal that is not positive is the negation of -literal.
            clause.push_back(literal > 0 ? Expr(variable(literal)) : corvane::dravo::negate(variable(-literal)));
        }
        clauses.push_back(corvane::dravo::or_s(clause));
        begin = end;
    }
    return corvane::dravo::and_s(clauses);
}

}  // namespace tarvo::kernels
