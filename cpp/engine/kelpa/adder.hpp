// Internal: the binary adder network. The weighted sum becomes a binary
// number, one column of literals per bit position reduced by full and half
// adders, and the comparison constrains the columns' last digits.
#pragma once

#include <vector>

#include "engine/kelpa/emitter.hpp"
#include "engine/kelpa/normalize.hpp"

namespace corvane::kelpa {

// Every adder defines its outputs exactly (sum as parity, carry as majority,
// both directions), so once the inputs are assigned unit propagation computes
// the number and the comparison refutes a violating assignment without search.
//
// LEQ and GEQ add a constant to the sum that moves the bound to a power of
// two, 2^m: the comparison is then whether column m holds a true carry, which
// propagates back into the adders at once; the digits below m need no
// variable. BOTH builds the number once and fixes every digit to the bound's.
void encode_adder(const std::vector<Term>& terms, Comparator comparator, U128 bound, Emitter& out);

}  // namespace corvane::kelpa
