#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kernels/numbered_template.hpp"
#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// The clause form the evaluation road recorded for a formula, with the
// shifts it recorded it with.
struct RecalledFormula {
    NumberedTemplate clause_form;
    std::int64_t pb_shift = 0;
    std::int64_t bx_shift = 0;
};

// What the evaluation road records for a hard constraint without foralls
// depends only on the constraint's text with its element references told
// apart but not named (its shape): the evaluation numbers elements and aux
// variables in order of appearance, never by which elements they are. So
// the clause form recorded for one text of a shape is, its elements renamed,
// the one recorded for every other text of that shape; this keeps it, up to
// kMaxShapesKept shapes and kMaxLiteralsKept literals.
//
// A shape is the text itself with every element reference (a declared
// variable's name, its indexes inside its dimensions, not number 0) written
// as its slot, the elements numbered in order of first appearance. A text
// with another call of a declared variable's name, more than kMaxElements
// distinct elements or more than kMaxTextSize characters has no shape.
class FormulaShapeMemo {
public:
    static constexpr std::size_t kMaxShapesKept = 4096;
    static constexpr std::size_t kMaxLiteralsKept = std::size_t{1} << 20;
    static constexpr std::size_t kMaxElements = 64;
    static constexpr std::size_t kMaxTextSize = 4096;

    explicit FormulaShapeMemo(DeclaredVariables variables) : variables_(std::move(variables)) {}

    // The clause form kept for the text's shape, over the text's elements;
    // nullopt for a shape not kept.
    std::optional<RecalledFormula> recall(std::string_view text) const;

    // Whether `remember` would keep a clause form for the text: it has a
    // shape, not kept yet. Asked first, so that no clauses are listed for
    // a text that has no shape or whose shape is kept.
    bool wants(std::string_view text) const;

    // Keeps, for the text's shape, the clause form that the evaluation road
    // recorded for the text: its clauses as lists of variable names, "~"
    // before a negated one. Every name that is none of the text's elements
    // is an aux variable, kept by name. False, keeping nothing, when the
    // text has no shape or a clause names an element the text does not.
    bool remember(std::string_view text, const std::vector<std::vector<std::string>>& clauses,
                  std::int64_t pb_shift, std::int64_t bx_shift);

private:
    struct Shape {
        std::string key;
        std::vector<std::int64_t> elements;
        std::vector<std::string> names;
    };
    // A kept clause form: literal +(s + 1) is slot s, the aux variables
    // following the elements, k-th aux variable at slot elements + k.
    struct KeptForm {
        std::vector<std::string> aux_names;
        std::vector<std::int64_t> literals;
        std::vector<std::size_t> clause_ends;
        std::int64_t pb_shift = 0;
        std::int64_t bx_shift = 0;
    };

    std::optional<Shape> shape(std::string_view text) const;

    DeclaredVariables variables_;
    std::unordered_map<std::string, KeptForm> kept_;
    std::size_t literals_kept_ = 0;
};

}  // namespace tarvo::kernels
