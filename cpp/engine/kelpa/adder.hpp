// Internal: the binary adder network. The weighted sum becomes a binary
// number built from full and half adders, compared with the bound.
#pragma once

#include <vector>

#include "engine/kelpa/emitter.hpp"
#include "engine/kelpa/normalize.hpp"

namespace corvane::kelpa {

// Only the directions the comparator needs are encoded: for LEQ the adders
// only bound the number from below (it may exceed the true sum, never fall
// short of it), for GEQ only from above, for BOTH exactly. With the
// comparator reading the bits in the matching polarity the projected models
// stay exact, at half the clauses of full adders.
void encode_adder(const std::vector<Term>& terms, Comparator comparator, U128 bound, Emitter& out);

}  // namespace corvane::kelpa
