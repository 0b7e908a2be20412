#pragma once

#include <vector>

#include "engine/dravo/node.hpp"

namespace tarvo::kernels {

// The variables of a formula, each once, in no particular order. A formula
// in flat clause form (an And of clauses, each an Or of literals or a
// literal) is read clause by clause with no set of visited nodes; any other
// formula through the engine's support().
std::vector<const corvane::dravo::Variable*> distinct_variables(const corvane::dravo::Node& formula);

}  // namespace tarvo::kernels
