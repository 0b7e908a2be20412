// Pseudo-Boolean constraint to CNF encoder.
//
// A constraint  sum(weight_i * lit_i)  <=, >= or ==  bound  over signed
// integer literals (n = variable n, -n = its negation) becomes clauses over
// the same literals plus auxiliary variables drawn from an AuxVarManager.
// The CNF is satisfiable together with an assignment of the constraint's
// variables exactly when that assignment satisfies the constraint.
//
// Usage from C++:
//     corvane::kelpa::AuxVarManager aux(next_free_variable);
//     corvane::kelpa::ClauseBuffer clauses;
//     corvane::kelpa::encode(constraint, config, aux, clauses);
//     // clauses.literals(): every clause followed by a 0; a lone 0 is the
//     // empty clause (the constraint can never hold).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::kelpa {

using Lit = std::int64_t;
using Weight = std::int64_t;

enum class Comparator { LEQ, GEQ, BOTH };

// Only ADDER and BEST (which picks among the built encodings) are built;
// the others raise NotImplementedEncoder from encode().
enum class EncoderType { BEST, BDD, SWC, SORTINGNETWORKS, ADDER, BINARY_MERGE };

const char* encoder_name(EncoderType type);

struct WeightedLit {
    Lit lit;
    Weight weight;
};

struct PBConstraint {
    std::vector<WeightedLit> terms;
    Comparator comparator;
    Weight bound;
};

struct PBConfig {
    EncoderType pb_encoder = EncoderType::BEST;
    // Caps the encodings whose size can grow beyond the weights' bits (the
    // cardinality encodings grow with n * k): one that does not fit gives way
    // to the adder network, which is never capped.
    std::int64_t max_clauses_per_constraint = 1000000;
};

// Hands out first, first + 1, ...; never a number twice.
class AuxVarManager {
public:
    explicit AuxVarManager(Lit first);  // first >= 1, else std::invalid_argument
    Lit get_variable();                 // std::overflow_error past INT64_MAX
    Lit next_variable() const { return next_; }  // the number get_variable() returns next

private:
    Lit next_;
};

// Clauses in order, as one flat literal buffer with a 0 after every clause.
class ClauseBuffer {
public:
    void add_clause(std::span<const Lit> clause);
    void add_clause(std::initializer_list<Lit> clause) {
        add_clause(std::span<const Lit>(clause.begin(), clause.size()));
    }
    const std::vector<Lit>& literals() const { return literals_; }
    void reserve_more(std::size_t literals) { literals_.reserve(literals_.size() + literals); }
    std::size_t clause_count() const { return clause_count_; }

private:
    friend void encode(const PBConstraint&, const PBConfig&, AuxVarManager&, ClauseBuffer&);
    std::vector<Lit> literals_;
    std::size_t clause_count_ = 0;
};

struct NotImplementedEncoder : std::logic_error {
    using std::logic_error::logic_error;
};

// Appends the CNF of `constraint` to `clauses`, drawing every auxiliary
// variable from `aux`. A constraint that always holds adds no clause; one that
// never holds adds the empty clause. Throws std::invalid_argument for a zero
// literal or a variable not below aux.next_variable() (its number could be
// handed out as an auxiliary one), NotImplementedEncoder for an encoder that
// is not built. On any throw,
// `clauses` and `aux` are as before the call.
void encode(const PBConstraint& constraint, const PBConfig& config, AuxVarManager& aux,
            ClauseBuffer& clauses);

}  // namespace corvane::kelpa
