#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/dravo/dravo.hpp"
#include "engine/fenc/comparison_polarity.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::fenc {

// Comparisons as formulas of one constraint. The PB encoder's clauses say
// "the comparison holds" only where the constraint needs it true: negated,
// some choice of their aux values falsifies them, so they would constrain
// nothing. Each comparison is therefore written for the places it takes:
//   Holds:  its own clauses;
//   Fails:  the negation of its complement's clauses;
//   Either: an aux indicator, defined by indicator -> comparison and
//           ~indicator -> complement, joined to the constraint at its top.
class ComparisonFormulas {
public:
    // `literal` turns a signed literal number (a shape variable or an aux of
    // `aux`) into a formula.
    ComparisonFormulas(const kelpa::PBConfig& config, kelpa::AuxVarManager& aux,
                       std::function<dravo::Expr(std::int64_t)> literal);

    dravo::Expr place(const kelpa::PBConstraint& comparison, Polarity polarity);

    // The constraint with the indicators' definitions joined at its top.
    dravo::Expr joined(const dravo::Expr& constraint) const;

private:
    dravo::Expr holds(const kelpa::PBConstraint& comparison);
    dravo::Expr fails(const kelpa::PBConstraint& comparison);

    const kelpa::PBConfig& config_;
    kelpa::AuxVarManager& aux_;
    std::function<dravo::Expr(std::int64_t)> literal_;
    std::vector<dravo::Expr> definitions_;
};

}  // namespace corvane::fenc
