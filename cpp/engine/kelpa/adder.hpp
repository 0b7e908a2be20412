// Internal: the binary adder network. The weighted sum becomes a binary
// number built from full and half adders, compared with the bound.
#pragma once

#include <vector>

#include "engine/kelpa/emitter.hpp"
#include "engine/kelpa/normalize.hpp"

namespace corvane::kelpa {

// Every adder defines its outputs exactly (sum as parity, carry as majority,
// both directions), so once the inputs are assigned unit propagation computes
// every bit of the number and the comparison refutes a violating assignment
// without search. BOTH builds the number once and fixes each of its bits.
void encode_adder(const std::vector<Term>& terms, Comparator comparator, U128 bound, ClauseSink& out);

}  // namespace corvane::kelpa
