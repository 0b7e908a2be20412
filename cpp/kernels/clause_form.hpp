#pragma once

#include <optional>

#include "engine/dravo/node.hpp"

namespace tarvo::kernels {

// What the Tseytin transformation gives for a formula that is already in
// clause form (an And of Or nodes of literals over distinct variables and of
// literals, or one such Or or literal), found without transforming: the
// same clauses, in the order the transformation writes them (a unit clause
// after the last conjunct that mentions its variable, a conjunct met twice
// once, at its last place). nullopt for any other formula.
std::optional<corvane::dravo::Expr> transformed_clause_form(const corvane::dravo::Expr& formula);

}  // namespace tarvo::kernels
