#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kernels/template_compiler.hpp"

namespace tarvo::kernels {

// Reads the expression text that the operators write for one clause over
// declared elements, such as
//
//     bx.or_s([bx.or_s([x(1).to_bx(), ~(y(2,0).to_bx())]), x(3).to_bx()])
//
// (nested or_s lists of x(...).to_bx() and ~(x(...).to_bx()) with int
// indexes, or one such literal, or a bare reference x(1)), and gives the
// clause as the model would store it: each literal's flat number, negative
// when negated, sorted by absolute value. The text is taken only when the
// result is sure to equal the evaluation's: every name a declared variable,
// every index an unsigned decimal inside its dimension, every variable met
// once, nesting well below the host parser's limits. For any other text
// read() gives nullopt, and the caller evaluates it.
class PlainClauseReader {
public:
    explicit PlainClauseReader(DeclaredVariables variables) : variables_(std::move(variables)) {}

    std::optional<std::vector<std::int64_t>> read(std::string_view text) const;

private:
    std::optional<std::int64_t> reference(std::string_view text, std::size_t& at) const;

    DeclaredVariables variables_;
};

}  // namespace tarvo::kernels
