#pragma once

#include <optional>

#include "engine/dravo/node.hpp"
#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// The literal texts that the container writes for a template formula in
// clause form: an And of clauses or a single clause, a clause being an Or of
// literals or a single literal. A literal whose engine text holds "(" is a
// variable reference and keeps its text with "-" for "~"; any other text is
// quoted. nullopt when a quoted text would need escapes.
std::optional<LiteralTexts> literal_texts_of(const corvane::dravo::Expr& formula);

}  // namespace tarvo::kernels
