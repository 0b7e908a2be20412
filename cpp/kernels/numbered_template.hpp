#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dravo/node.hpp"
#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// A template formula in clause form held as numbered literals instead of
// Boolean expression nodes: literal +(v + 1) is variable v, -(v + 1) its
// negation, clause c is literals[clause_ends[c - 1], clause_ends[c]).
struct NumberedTemplate {
    std::vector<std::string> names;  // variable v's name
    std::vector<std::int64_t> literals;
    std::vector<std::size_t> clause_ends;
    std::int64_t next_index = 0;  // the aux counter once every aux variable is named

    std::size_t clause_count() const { return clause_ends.size(); }
    // The variables that some clause holds, each once, in order of first appearance.
    std::vector<std::size_t> support() const;
    // The literal texts that the container writes for the equivalent formula.
    LiteralTexts literal_texts() const;
};

// What compile_template makes of the literal texts of a template without
// foralls, each variable's name compiled once instead of each signed text;
// nullopt where compile_template refuses the template.
std::optional<CompiledTemplate> compile_instance(const NumberedTemplate& numbered,
                                                 const std::vector<std::int64_t>& weights,
                                                 const DeclaredVariables& variables, const AuxNumbering& numbering);

// What the reference road makes of an encoder's clause database (`database`:
// the literals with a 0 after every clause): a formula built as
// and_s(or_s(literals) per clause) over the variables that `paired` gives
// for PB numbers, a number not yet paired naming a new aux variable
// prefix + "_" + next_index in order of first appearance; then the clause
// form that the Tseytin transformation writes for it (the numbered
// ConjunctionClauseForm of engine/dravo over those variables). Returns that clause
// form, or nullopt when the reference road takes another turn that this
// one does not repeat: a constant result, a clause that is not over distinct
// variables (the transformation then adds variables), a number without a
// negation in 64 bits, a paired variable whose name has no "(" (the literal
// texts would read it as an aux variable), or a prefix that needs quoting.
// `paired` gives a paired number's variable as what tells it from others
// (two numbers with one identity are one variable) and its name, valid for
// the call; nullopt for a number without a variable.
struct PairedName {
    const void* identity = nullptr;
    std::string_view name;
};
using PairedVariable = std::function<std::optional<PairedName>(std::int64_t)>;
std::optional<NumberedTemplate> numbered_template(std::span<const std::int64_t> database, const PairedVariable& paired,
                                                  std::string_view prefix, std::int64_t next_index);

}  // namespace tarvo::kernels
