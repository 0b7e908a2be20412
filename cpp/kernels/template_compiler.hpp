#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/string_map.hpp"
#include "kernels/aux_map_names.hpp"
#include "kernels/template_expansion.hpp"

namespace tarvo::kernels {

// The literal texts of a template's clauses, as the container writes them:
// a variable reference such as -x(2 * (i + 1),j - 1), or a quoted aux
// variable name such as '~_kelpa_aux_3'. Each text is kept once: literal i
// reads texts[literals[i]], and clause c holds the literals
// [clause_ends[c - 1], clause_ends[c]). A text is compiled once however
// many literals read it.
struct LiteralTexts {
    std::vector<std::string> texts;
    std::vector<std::size_t> literals;
    std::vector<std::size_t> clause_ends;
};

// A declared variable as the expansion calls it: flat number first +
// sum of index * stride, each index inside its size.
struct DeclaredVariable {
    std::int64_t first = 0;
    std::vector<std::int64_t> sizes;
    std::vector<std::int64_t> strides;

    // The flat number of the element at `indexes`, one per dimension, each
    // inside its size; nullopt otherwise, for a table whose strides do not
    // pair with its sizes, and where 64 bits do not hold the number (there
    // the evaluation's Python ints would part from it).
    std::optional<std::int64_t> number(std::span<const std::int64_t> indexes) const;
};

// The reference text that the evaluation and the manager name an element
// by: name(i,j,...), its indexes as Python prints them.
std::string element_reference(std::string_view name, std::span<const std::int64_t> indexes);

// The declared variables of a model by name, made once and read by every
// template compiled against them.
struct DeclaredVariables {
    corvane::StringMap<DeclaredVariable> by_name;

    // nullptr when no variable has this name.
    const DeclaredVariable* find(std::string_view name) const;
};

struct Forall {
    std::string name;
    std::int64_t low = 0;  // least and greatest of its values
    std::int64_t high = 0;
};

// Where a formula's aux variables are numbered: instance n's block starts at
// init_shift + n * (pb_count + bx_count), its PB-encoder aux variables
// first, then its Tseytin aux variables.
struct AuxNumbering {
    std::int64_t init_shift = 0;
    std::int64_t pb_count = 0;
    std::int64_t bx_count = 0;
    std::string pb_prefix;
    std::string bx_prefix;
};

struct CompiledTemplate {
    std::vector<TemplateClause> clauses;
    std::vector<AuxVariable> aux_variables;  // in order of first appearance
};

// The template in affine form, with the clause weights (0: hard), or nullopt
// when some text is not sure to mean here what the evaluation of the
// expansion text makes of it: a name that the foralls or the declared
// variables do not bind as expected, an index that may leave its dimension,
// an aux index outside its block, arithmetic that is not affine or that
// comes near the 64-bit range, or nesting deeper than this parser goes. The
// caller then evaluates the text, which raises or warns as it always does.
std::optional<CompiledTemplate> compile_template(
    const LiteralTexts& literals, const std::vector<std::int64_t>& weights, const std::vector<Forall>& foralls,
    const DeclaredVariables& variables, const AuxNumbering& numbering);

}  // namespace tarvo::kernels
