#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane::fenc {

// Clauses of signed literals, stored flat: clause k is
// literals()[end(k - 1), end(k)).
class ClauseList {
public:
    std::size_t size() const { return ends_.size(); }
    std::span<const std::int64_t> operator[](std::size_t k) const {
        const std::size_t begin = k == 0 ? 0 : ends_[k - 1];
        return std::span(literals_).subspan(begin, ends_[k] - begin);
    }

    void add(std::span<const std::int64_t> clause) {
        literals_.insert(literals_.end(), clause.begin(), clause.end());
        close_clause();
    }
    // Builds a clause literal by literal: push, then close_clause.
    void push(std::int64_t literal) { literals_.push_back(literal); }
    void close_clause() { ends_.push_back(literals_.size()); }
    // Keeps the first `clauses` clauses and drops the rest, a clause being built included.
    void truncate(std::size_t clauses) {
        ends_.resize(clauses);
        literals_.resize(clauses == 0 ? 0 : ends_.back());
    }

    // Reads the PB encoder's form: every clause followed by a 0.
    static ClauseList from_zero_terminated(std::span<const std::int64_t> literals) {
        ClauseList list;
        for (std::int64_t lit : literals) {
            if (lit == 0) {
                list.close_clause();
            } else {
                list.push(lit);
            }
        }
        return list;
    }

private:
    std::vector<std::int64_t> literals_;
    std::vector<std::size_t> ends_;
};

}  // namespace corvane::fenc
