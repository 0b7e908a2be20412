#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/dravo/node.hpp"
#include "engine/dravo/tseytin.hpp"

namespace corvane::dravo {

// The clauses of one transformation while they are written. Literals are
// internal numbers (1, 2, ... for the formula's variables and the
// auxiliaries alike); the caller's numbers are drawn only on emit, in order
// of first appearance, so that a clause that turns out satisfied never
// claims a number.
class ClauseBuffer {
public:
    // Literals of the two constants: no variable number reaches them.
    static constexpr Literal kTrue = std::numeric_limits<Literal>::max();
    static constexpr Literal kFalse = -kTrue;

    // A new internal variable standing for `input`, or for an auxiliary when
    // `input` is nullptr.
    Literal new_variable(const Variable* input);

    // One clause: begin, add its literals, end. A repeated literal is kept
    // once, kFalse dropped; kTrue or a literal with its complement makes the
    // clause a tautology, which is not kept. `extra` (0 for none) is a first
    // literal, the guard of a definition.
    void begin(Literal extra);
    void add(Literal lit);
    void end();

    // Hands every kept clause to the callbacks; a set holding an empty
    // clause is handed over as that one empty clause.
    void emit(const ClauseCallbacks& callbacks) const;

private:
    static std::size_t index_of(Literal lit) { return static_cast<std::size_t>(lit > 0 ? lit : -lit) - 1; }

    std::vector<const Variable*> inputs_;  // per internal variable
    // Per internal variable: the last clause that holds it, with its sign.
    struct Mark {
        std::uint64_t clause;
        Literal lit;
    };
    std::vector<Mark> marks_;
    std::uint64_t clause_id_ = 0;
    std::vector<Literal> current_;
    bool satisfied_ = false;
    std::vector<Literal> literals_;  // kept clauses, flat
    std::vector<std::size_t> ends_;  // end of each kept clause in literals_
    bool unsatisfiable_ = false;
};

}  // namespace corvane::dravo
