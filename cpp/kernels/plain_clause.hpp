#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/core/wcnf_storage.hpp"
#include "engine/dravo/clause_conjunction.hpp"
#include "engine/dravo/context.hpp"
#include "engine/dravo/node.hpp"
#include "engine/fenc/lexer.hpp"
#include "kernels/numbered_template.hpp"
#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// A Boolean formula of elements read from its text: the clause form that the
// evaluation road records for it, over the elements and aux variables named
// as that road names them, its number of aux variables, and, for a form
// without aux variables, instance 0 as the container's expansion stores it
// (a form with aux variables is left to that expansion, which numbers them).
// An element reference name(i,j,...) as a text writes it: the element's
// flat number, the name and the indexes.
struct ElementReference {
    std::int64_t number = 0;
    std::string_view name;
    std::vector<std::int64_t> indexes;
};

// The reference at hand (taking it): a declared variable's name and its
// unsigned decimal indexes inside its dimensions, as the operators write
// them; nullopt for any other text.
std::optional<ElementReference> read_element_reference(const DeclaredVariables& variables,
                                                       corvane::fenc::WrittenTokens& tokens);
// The same at text[at], `at` moved past what was read.
std::optional<ElementReference> read_element_reference(const DeclaredVariables& variables, std::string_view text,
                                                       std::size_t& at);
// The slot of the element among `elements` (with their names), added when
// new; nullopt when it is new and `elements` holds max_elements already.
std::optional<std::size_t> element_slot(const ElementReference& read, std::vector<std::int64_t>& elements,
                                        std::vector<std::string>& names, std::size_t max_elements);

struct PlainFormula {
    NumberedTemplate clause_form;
    std::int64_t aux_count = 0;
    std::optional<corvane::WcnfStorage> storage;
};

// Reads the expression texts that the operators write for Boolean formulas
// over declared elements, without evaluating them.
//
// read() takes one clause, such as
//
//     bx.or_s([bx.or_s([x(1).to_bx(), ~(y(2,0).to_bx())]), x(3).to_bx()])
//
// (nested or_s lists of x(...).to_bx() and ~(x(...).to_bx()) with int
// indexes, or one such literal, or a bare reference x(1)), and gives the
// clause as the model would store it: each literal's flat number, negative
// when negated, sorted by absolute value. The text is taken only when the
// result is sure to equal the evaluation's: every name a declared variable,
// every index an unsigned decimal inside its dimension, every variable met
// once, nesting well below the host parser's limits.
//
// formula() takes any nesting of bx.and_s, or_s, xor_s and eq_s lists,
// bx.impl_s, bx.ite_s, ~( ), bx.one(), bx.zero() and element literals
// x(...).to_bx(), builds it with the engine's own constructors, one variable
// node per element as the evaluation has, and puts it into clause form as
// the evaluation road does, its aux variables named aux_prefix + "_" + k as
// the Tseytin transformation names them. It is taken only when that clause
// form is no constant (the evaluation road warns or refuses there), and
// every element is declared, inside its dimensions and not number 0. What
// the evaluation makes of a formula depends only on its text with the
// elements told apart but not named (its shape), so the clause form of each
// shape met, or that it has none, is kept, up to kMaxShapesKept shapes; a
// formula of more than kMaxTokens tokens or kMaxElements distinct elements
// is not taken.
//
// For any other text both give nullopt, and the caller evaluates it.
class PlainClauseReader {
public:
    static constexpr std::size_t kMaxTokens = 256;
    static constexpr std::size_t kMaxElements = 32;
    static constexpr std::size_t kMaxShapesKept = 4096;

    PlainClauseReader(DeclaredVariables variables, std::string aux_prefix)
        : variables_(std::move(variables)), aux_prefix_(std::move(aux_prefix)) {}

    std::optional<std::vector<std::int64_t>> read(std::string_view text) const;
    std::optional<PlainFormula> formula(std::string_view text);

private:
    // A formula's shape: its tokens, each element written as its slot (the
    // elements numbered in order of first appearance), and the elements by
    // slot with their names.
    struct Shape {
        std::string key;
        std::vector<std::int64_t> elements;
        std::vector<std::string> names;
    };

    std::optional<ElementReference> reference(corvane::fenc::WrittenTokens& tokens) const {
        return read_element_reference(variables_, tokens);
    }
    std::optional<Shape> shape(std::string_view text) const;
    // A shape's clause form: literal +(s + 1) is slot s's element, the aux
    // variables following the elements, k-th aux variable at slot
    // elements + k.
    struct ShapeForm {
        corvane::dravo::NumberedClauses clauses;
        std::size_t aux_count = 0;
    };

    std::optional<ShapeForm> shape_clause_form(std::string_view text, const Shape& read);
    std::optional<corvane::dravo::Expr> subformula(corvane::fenc::WrittenTokens& tokens, int depth);
    std::optional<std::vector<corvane::dravo::Expr>> operands(corvane::fenc::WrittenTokens& tokens, int depth,
                                                              std::size_t count);
    std::optional<corvane::dravo::Expr> element(corvane::fenc::WrittenTokens& tokens);
    std::optional<std::size_t> slot_of(const corvane::dravo::Node& node, const Shape& read,
                                       const corvane::dravo::Context& aux_variables) const;

    DeclaredVariables variables_;
    std::string aux_prefix_;
    // One variable node per element met, named as the evaluation names it,
    // and the element number of each by its id.
    corvane::dravo::Context elements_;
    std::unordered_map<std::int64_t, corvane::dravo::Expr> element_nodes_;
    std::vector<std::int64_t> number_by_id_;
    std::unordered_map<std::string, std::optional<ShapeForm>> shapes_;
};

}  // namespace tarvo::kernels
