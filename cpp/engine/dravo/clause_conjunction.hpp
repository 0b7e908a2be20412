#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/dravo/tseytin.hpp"

namespace corvane::dravo {

// Clauses of numbered literals, flat: clause c is
// literals[clause_ends[c - 1], clause_ends[c]).
struct NumberedClauses {
    std::vector<Literal> literals;
    std::vector<std::size_t> clause_ends;
};

// The clause form that tseytin_clauses writes for and_s(or_s(clause) per
// clause), each literal a variable node or a negation node of its own, got
// without building the formula. Literal +n is variable n, -n its negation;
// the variables are numbered densely from 1 (the tables grow to the largest
// number), and the clauses keep these numbers, since the transformation numbers
// the formula's variables as the caller says.
//
// Only the common turn of the reference is repeated: every clause that is
// kept is over distinct variables, and the result is neither constant. Where
// the reference would take another (a clause with a repeated negation, which
// the transformation gives an aux variable; the empty clause, a unit meeting
// its negation or no clause left, which make the formula constant), add_clause
// or take says so and the caller goes the reference road.
class ConjunctionClauseForm {
public:
    // The next clause in order; false when the reference takes another turn,
    // after which the object is of no further use.
    bool add_clause(std::span<const Literal> clause);
    // The clause form, or nullopt for a formula that is constantly true.
    std::optional<NumberedClauses> take();

private:
    // A kept clause of two or more literals, or a unit literal: its literals in literals_.
    struct Conjunct {
        std::size_t begin = 0, end = 0;
        bool unit() const { return end - begin == 1; }
    };

    void grow(std::size_t v);

    std::vector<Literal> literals_;
    std::vector<Conjunct> conjuncts_;
    std::uint64_t clause_stamp_ = 0;
    std::vector<std::uint64_t> positive_, negative_;  // the clause that last held v, by sign
    std::vector<std::uint8_t> unit_signs_;
};

// The same for an encoder's clause database: the literals with a 0 after
// every clause. nullopt wherever the reference takes another turn.
std::optional<NumberedClauses> conjunction_clause_form(std::span<const Literal> database);

}  // namespace corvane::dravo
