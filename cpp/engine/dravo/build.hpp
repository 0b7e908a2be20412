#pragma once

#include <span>
#include <vector>

#include "engine/dravo/node.hpp"

namespace corvane::dravo {

// The two constants (shared singletons).
Expr zero();
Expr one();

// Simplifying constructors. Each folds constants, drops duplicate operands
// (by node identity) and flattens operands of its own kind; complementary
// operands (a node and its negation) are detected by identity.
Expr negate(const Expr& e);  // ~~a = a, ~0 = 1, ~1 = 0
Expr and_s(std::span<const Expr> args);  // [] -> One; a & ~a -> Zero
Expr or_s(std::span<const Expr> args);   // [] -> Zero; a | ~a -> One
Expr xor_s(std::span<const Expr> args);  // parity; [] -> Zero
Expr eq_s(std::span<const Expr> args);   // all equal; [] and [a] -> One
Expr impl_s(const Expr& premise, const Expr& conclusion);
Expr ite_s(const Expr& cond, const Expr& then_branch, const Expr& else_branch);

// Plain conjunction: an And of exactly these operands, in order, duplicates
// kept, for any length (also 0 and 1). Never simplifies.
Expr and_(std::vector<Expr> args);
// Plain disjunction, the counterpart of and_.
Expr or_(std::vector<Expr> args);

}  // namespace corvane::dravo
