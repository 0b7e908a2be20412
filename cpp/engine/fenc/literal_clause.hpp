#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/core/interruption.hpp"
#include "engine/fenc/declarations.hpp"
#include "engine/fenc/lexer.hpp"

namespace corvane::fenc {

// The road beside the compiler for the commonest constraint: one clause, in
// the text that the expression operators write for x[a] | ~x[b] | x[c]:
//
//   literal:  x(1).to_bx()  or  ~(x(1).to_bx())   (any declared variable,
//             its indexes as decimal ints, separated by ",")
//   clause:   a literal, bx.or_s([item, item, ...]) whose items are
//             literals and such or_s (items separated by ", "), or a lone
//             element reference x(1), which a constraint reads as its literal
//
// read() takes the text in one pass and gives the clause that the compiler
// road encodes: the literals in the order of the text. It refuses, for the
// compiler road to take, every other text, and every text that the
// compiler road refuses or encodes otherwise: a name that is no declared
// variable, an element out of range, a variable met twice (its repeats
// dropped or a tautology there), an empty or_s, a variable named bx (which
// hides the bx module) or for or in (loop words there).
class LiteralClauseReader {
public:
    // Whether the text is such a clause; its literals() then hold the
    // element numbers, negative for negated ones.
    bool read(std::string_view text, const Declarations& declarations);
    std::span<const std::int64_t> literals() const { return literals_; }

private:
    bool read_clause(WrittenTokens& tokens, const Declarations& declarations);
    bool read_literal(WrittenTokens& tokens, const Declarations& declarations, bool lone);
    bool repeats_a_variable();

    std::vector<std::int64_t> literals_;
    std::vector<std::int64_t> variables_;  // sorted, to find a repeat in a long clause
    std::uint32_t last_found_ = 0;  // the declaration of the latest literal
    // Whether a variable is named bx, for the declarations counted.
    std::size_t declarations_seen_ = 0;
    bool bx_declared_ = false;
    InterruptionPoll poll_;
};

}  // namespace corvane::fenc
