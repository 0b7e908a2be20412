#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/core/packed_ints.hpp"

namespace corvane::fenc {

// Clauses of signed literals, stored flat and packed (packed_ints.hpp):
// clause k is literals[end(k - 1), end(k)). For the many clauses of a
// model; ClauseList serves the few of a template.
class PackedClauseList {
public:
    std::size_t size() const { return ends_.size(); }
    std::size_t literal_count() const { return literals_.size(); }

    void add(std::span<const std::int64_t> clause) {
        literals_.append(clause);
        close_clause();
    }
    // Builds a clause literal by literal: push, then close_clause.
    void push(std::int64_t literal) { literals_.push_back(literal); }
    void close_clause() { ends_.push_back(static_cast<std::int64_t>(literals_.size())); }
    // Keeps the first `clauses` clauses and drops the rest, a clause being built included.
    void truncate(std::size_t clauses) {
        ends_.erase(clauses, ends_.size());
        literals_.erase(clauses == 0 ? 0 : static_cast<std::size_t>(ends_[clauses - 1]), literals_.size());
    }

    // Adds `delta` to every variable number from `from` on in clauses [first, last).
    void shift_numbers(std::size_t first, std::size_t last, std::int64_t from, std::int64_t delta) {
        const auto begin = static_cast<std::size_t>(first == 0 ? 0 : ends_[first - 1]);
        const auto end = static_cast<std::size_t>(last == 0 ? 0 : ends_[last - 1]);
        for (std::size_t i = begin; i < end; ++i) {
            const std::int64_t literal = literals_[i];
            if (literal >= from) literals_.set(i, literal + delta);
            if (literal <= -from) literals_.set(i, literal - delta);
        }
    }
    const PackedInts& literals() const { return literals_; }
    const PackedInts& ends() const { return ends_; }

    // Calls visit(literal) for each literal of clause k, in order.
    template <typename Visit>
    void visit(std::size_t k, Visit&& visit) const {
        literals_.visit(k == 0 ? 0 : static_cast<std::size_t>(ends_[k - 1]), static_cast<std::size_t>(ends_[k]), visit);
    }

private:
    PackedInts literals_{4};
    PackedInts ends_{4};
};

}  // namespace corvane::fenc
