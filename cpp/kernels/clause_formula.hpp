#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/dravo/context.hpp"
#include "engine/dravo/node.hpp"

namespace tarvo::kernels {

// The encoder's clauses as one Boolean formula: and_s of one or_s per
// clause, a literal n standing for the variable paired with PB number n and
// -n for its negation, built in the order in which the formula's Manager
// would build it. `paired` gives the variable already paired with a number
// (nullptr when there is none); a number not yet paired gets a new variable
// of `context`, named prefix + "_" + next_index, in order of first appearance.
class ClauseFormulaBuilder {
public:
    using VariablePtr = std::shared_ptr<const corvane::dravo::Variable>;
    using Lookup = std::function<VariablePtr(std::int64_t)>;

    ClauseFormulaBuilder(Lookup paired, corvane::dravo::Context& context, std::string prefix, std::int64_t next_index);

    // clause c is literals[clause_ends[c - 1], clause_ends[c]).
    corvane::dravo::Expr build(std::span<const std::int64_t> literals, std::span<const std::size_t> clause_ends);

    // The numbers paired by build(), in order, with their new variables.
    const std::vector<std::pair<std::int64_t, VariablePtr>>& new_pairs() const { return new_pairs_; }
    std::int64_t next_index() const { return next_index_; }

private:
    const VariablePtr& variable(std::int64_t number);

    Lookup lookup_;
    std::unordered_map<std::int64_t, VariablePtr> known_;  // every number met so far
    corvane::dravo::Context& context_;
    std::string prefix_;
    std::int64_t next_index_;
    std::vector<std::pair<std::int64_t, VariablePtr>> new_pairs_;
};

}  // namespace tarvo::kernels
