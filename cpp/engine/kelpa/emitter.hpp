// Internal: where the encodings write their clauses and take their aux
// variables: the caller's buffer and allocator.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>

#include "engine/core/interruption.hpp"
#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa {

class Emitter {
public:
    Emitter(ClauseBuffer& out, AuxVarManager& aux) : out_(out), aux_(aux) {}
    void clause(std::span<const Lit> lits) {
        poll_.step();
        out_.add_clause(lits);
    }
    void clause(std::initializer_list<Lit> lits) { clause(std::span<const Lit>(lits.begin(), lits.size())); }
    Lit fresh() { return aux_.get_variable(); }
    // Room for about this many more literals, so that a large encoding does
    // not copy the buffer again and again as it grows.
    void expect_literals(std::size_t count) { out_.reserve_more(count); }

private:
    ClauseBuffer& out_;
    AuxVarManager& aux_;
    InterruptionPoll poll_;  // a constraint can be as long as the caller likes
};

}  // namespace corvane::kelpa
