// Internal: where the encodings write their clauses and take their aux
// variables. An interface, so that an encoding can also be run through a
// counter that only measures how large it would be.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa {

class ClauseSink {
public:
    virtual ~ClauseSink() = default;
    virtual void clause(std::span<const Lit> lits) = 0;
    virtual Lit fresh() = 0;
    void clause(std::initializer_list<Lit> lits) { clause(std::span<const Lit>(lits.begin(), lits.size())); }
};

// Writes into the caller's buffer, aux variables from the caller's allocator.
class Emitter final : public ClauseSink {
public:
    Emitter(ClauseBuffer& out, AuxVarManager& aux) : out_(out), aux_(aux) {}
    using ClauseSink::clause;
    void clause(std::span<const Lit> lits) override { out_.add_clause(lits); }
    Lit fresh() override { return aux_.get_variable(); }

private:
    ClauseBuffer& out_;
    AuxVarManager& aux_;
};

}  // namespace corvane::kelpa
