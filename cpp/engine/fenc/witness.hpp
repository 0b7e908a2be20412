#pragma once

#include <cstdint>
#include <vector>

namespace corvane::fenc {

// Throws std::invalid_argument for a solver model (signed literals) that
// holds 0 or sets a variable both true and false, std::overflow_error for
// a literal without a negation in 64 bits.
void check_witness(const std::vector<std::int64_t>& model);

// Truth of each declared element (1..elements) in a solver model; literals
// of other variables are ignored.
std::vector<bool> truth_table(const std::vector<std::int64_t>& model, std::int64_t elements);

}  // namespace corvane::fenc
