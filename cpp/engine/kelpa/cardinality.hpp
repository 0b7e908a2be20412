// Internal: encodings of  sum(lits) <comparator> k  for plain (unit-weight)
// literals. Each one is arc-consistent under unit propagation: as soon as the
// assigned literals leave no room, propagation fixes the rest.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/kelpa/emitter.hpp"

namespace corvane::kelpa {

// Writes the smallest arc-consistent encoding of sum(lits) <comparator> k,
// 0 < k < lits.size(), and returns true; returns false without writing
// anything when none fits within max_clauses (the adder, whose size grows
// only with the weights' bits, then takes over).
bool encode_cardinality(const std::vector<Lit>& lits, Comparator comparator, std::size_t k,
                        std::int64_t max_clauses, Emitter& out);

}  // namespace corvane::kelpa
