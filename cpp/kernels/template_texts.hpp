#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "engine/dravo/node.hpp"
#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// The literal text that the container writes for a literal whose engine
// text is `engine_text`: a text that holds "(" is a variable reference and
// keeps its text with "-" for "~"; any other text is quoted. nullopt when a
// quoted text would need escapes.
std::optional<std::string> literal_text(std::string engine_text);

// Collects literal texts clause by clause, each distinct text once.
class LiteralTextsBuilder {
public:
    void add(std::string text);
    void end_clause() { texts_.clause_ends.push_back(texts_.literals.size()); }
    LiteralTexts take() { return std::move(texts_); }

private:
    LiteralTexts texts_;
    std::unordered_map<std::string, std::size_t> positions_;
};

// The literal texts that the container writes for a template formula in
// clause form: an And of clauses or a single clause, a clause being an Or of
// literals or a single literal, every literal through literal_text(). nullopt
// when a quoted text would need escapes.
std::optional<LiteralTexts> literal_texts_of(const corvane::dravo::Expr& formula);

}  // namespace tarvo::kernels
