// Internal: encodings of  sum(lits) <= k  for plain (unit-weight) literals.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/kelpa/emitter.hpp"

namespace corvane::kelpa {

// Encodes at most k of `lits` true and returns true, or returns false without
// writing anything when the adder network is the smaller encoding.
// Requires 1 <= k < lits.size().
bool encode_at_most(const std::vector<Lit>& lits, std::size_t k, Emitter& out);

// Exactly one of `lits` true.
void encode_exactly_one(const std::vector<Lit>& lits, Emitter& out);

}  // namespace corvane::kelpa
