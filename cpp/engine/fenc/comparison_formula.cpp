#include "engine/fenc/comparison_formula.hpp"

#include <stdexcept>
#include <utility>

#include "engine/fenc/clause_list.hpp"

namespace corvane::fenc {
namespace {

kelpa::PBConstraint with(const kelpa::PBConstraint& comparison, kelpa::Comparator comparator, std::int64_t step) {
    kelpa::PBConstraint c{comparison.terms, comparator, 0};
    if (__builtin_add_overflow(comparison.bound, step, &c.bound)) {
        throw std::overflow_error("the bound of a comparison that must fail there does not fit into 64 bits");
    }
    return c;
}

}  // namespace

ComparisonFormulas::ComparisonFormulas(const kelpa::PBConfig& config, kelpa::AuxVarManager& aux,
                                       std::function<dravo::Expr(std::int64_t)> literal)
    : config_(config), aux_(aux), literal_(std::move(literal)) {}

dravo::Expr ComparisonFormulas::holds(const kelpa::PBConstraint& comparison) {
    kelpa::ClauseBuffer buffer;
    kelpa::encode(comparison, config_, aux_, buffer);
    const ClauseList list = ClauseList::from_zero_terminated(buffer.literals());
    std::vector<dravo::Expr> clauses, clause;
    for (std::size_t c = 0; c < list.size(); ++c) {
        clause.clear();
        for (const std::int64_t lit : list[c]) clause.push_back(literal_(lit));
        clauses.push_back(dravo::or_s(clause));
    }
    return dravo::and_s(clauses);
}

// A formula that holds exactly where the comparison fails.
dravo::Expr ComparisonFormulas::fails(const kelpa::PBConstraint& comparison) {
    using kelpa::Comparator;
    switch (comparison.comparator) {
        case Comparator::LEQ: return holds(with(comparison, Comparator::GEQ, 1));
        case Comparator::GEQ: return holds(with(comparison, Comparator::LEQ, -1));
        default: {
            const std::vector<dravo::Expr> sides{holds(with(comparison, Comparator::LEQ, -1)),
                                                 holds(with(comparison, Comparator::GEQ, 1))};
            return dravo::or_s(sides);
        }
    }
}

dravo::Expr ComparisonFormulas::place(const kelpa::PBConstraint& comparison, Polarity polarity) {
    switch (polarity) {
        case Polarity::Holds: return holds(comparison);
        case Polarity::Fails: return dravo::negate(fails(comparison));
        default: {
            const dravo::Expr indicator = literal_(aux_.get_variable());
            const std::vector<dravo::Expr> if_set{dravo::negate(indicator), holds(comparison)};
            const std::vector<dravo::Expr> if_clear{indicator, fails(comparison)};
            definitions_.push_back(dravo::or_s(if_set));
            definitions_.push_back(dravo::or_s(if_clear));
            return indicator;
        }
    }
}

dravo::Expr ComparisonFormulas::joined(const dravo::Expr& constraint) const {
    if (definitions_.empty()) return constraint;
    std::vector<dravo::Expr> all{constraint};
    all.insert(all.end(), definitions_.begin(), definitions_.end());
    return dravo::and_s(all);
}

}  // namespace corvane::fenc
