// Internal: where the encodings write their clauses and take their aux
// variables, with the per-constraint clause limit enforced as they go.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "engine/kelpa/kelpa.hpp"

namespace corvane::kelpa {

class Emitter {
public:
    Emitter(ClauseBuffer& out, AuxVarManager& aux, std::int64_t limit)
        : out_(out), aux_(aux), limit_(limit) {}

    void clause(std::span<const Lit> lits) {
        if (++emitted_ > limit_) {
            throw ClauseLimitExceeded("the encoding needs more than max_clauses_per_constraint = " +
                                      std::to_string(limit_) + " clauses");
        }
        out_.add_clause(lits);
    }
    void clause(std::initializer_list<Lit> lits) { clause(std::span<const Lit>(lits.begin(), lits.size())); }
    Lit fresh() { return aux_.get_variable(); }

private:
    ClauseBuffer& out_;
    AuxVarManager& aux_;
    std::int64_t limit_;
    std::int64_t emitted_ = 0;
};

}  // namespace corvane::kelpa
