#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/dravo/node.hpp"

namespace corvane::dravo {

// Text form: a variable prints as its name, its negation as "~" + name,
// constants as "0" and "1", compound nodes as "And(a, ~b)", "Or(..)",
// "Xor(..)", "Eq(..)", "Impl(a, b)", "Ite(c, t, e)", "~" + operand text.
std::string to_string(const Expr& e);

// The variables of the formula, each once, in order of first appearance
// (depth first, operands left to right).
std::vector<std::shared_ptr<const Variable>> support(const Expr& e);

}  // namespace corvane::dravo
