// Internal: the totalizer, a binary tree of unary counters over the literals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/kelpa/emitter.hpp"

namespace corvane::kelpa {

struct CountDirections {
    bool up;    // enough true inputs force the output: bounds the count from above
    bool down;  // a true output needs enough true inputs: bounds it from below
};

// Returns the root's outputs o[0..m): o[j] stands for "at least j + 1 of
// `lits` are true", with m = min(lits.size(), limit); counts beyond `limit`
// are not told apart. Requires lits.size() >= 2.
std::vector<Lit> totalizer(const std::vector<Lit>& lits, std::size_t limit, CountDirections directions,
                           Emitter& out);

// The number of clauses totalizer() writes for n literals, in O(n).
std::int64_t totalizer_clauses(std::size_t n, std::size_t limit, CountDirections directions);

}  // namespace corvane::kelpa
