#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "engine/dravo/context.hpp"
#include "engine/dravo/node.hpp"

namespace corvane::dravo {

using Literal = std::int64_t;  // non-zero; negative = negated variable

// Callbacks of the clause-level transformation.
struct ClauseCallbacks {
    // Positive number of an input variable; called once per distinct
    // variable of the formula, in order of first appearance in the clauses.
    std::function<Literal(const Variable&)> var_number;
    // A new positive number for an auxiliary variable; called once per
    // auxiliary, in order of first appearance in the clauses.
    std::function<Literal()> fresh;
    // One clause, literals in a fixed order, none repeated, never a
    // tautology. No clause at all means the formula holds for every
    // assignment; an unsatisfiable result is exactly one empty clause.
    std::function<void(std::span<const Literal>)> clause;
};

// Polarity-aware (Plaisted-Greenbaum) transformation to clauses. For every
// assignment of the formula's variables, the formula is true exactly when
// the clauses are satisfiable by some assignment of the auxiliaries. A node
// reached along several paths gets one auxiliary; a formula that already is
// CNF (nested conjunctions of clauses of literals) gets none. Iterative:
// the depth of the formula is not limited by the call stack.
void tseytin_clauses(const Expr& root, const ClauseCallbacks& callbacks);

// The same transformation as an expression over named variables: an And of
// clauses (each an Or of literals or a single literal), a single Or, a
// single literal, Zero or One. Auxiliaries are created in `context` as
// prefix + "_" + k, k = 0, 1, ... per call in order of first appearance.
// Throws std::invalid_argument when the prefix contains '~' or a variable
// of the formula already bears one of the new names (the result would not
// be equisatisfiable).
Expr tseytin(const Expr& root, Context& context, std::string_view prefix);

}  // namespace corvane::dravo
