#pragma once

#include <cstdint>

namespace corvane::fenc {

// A term of a pseudo-Boolean sum: a variable (an element number, or a
// shape variable) with its coefficient. Not a literal: the PB encoder's
// kelpa::WeightedLit carries a signed literal instead.
struct WeightedVar {
    std::int64_t var;
    std::int64_t weight;
};

}  // namespace corvane::fenc
