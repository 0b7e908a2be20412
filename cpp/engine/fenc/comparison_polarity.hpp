#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace corvane::fenc {

// Where a comparison sits in a constraint that must be true: only where it
// must hold, only where it must fail (under an odd number of negations, as a
// premise), or both (under xor or equivalence, as an if condition).
enum class Polarity : std::uint8_t { Holds = 1, Fails = 2, Either = 3 };

// The polarity of every comparison of a shape (shape.hpp), in the order the
// comparisons appear in it. Read from the shape as written, before any
// simplification; simplifying never gives an operand a polarity it does not
// have here. Iterative: the depth of the shape is not limited by the call
// stack.
std::vector<Polarity> comparison_polarities(std::span<const std::int64_t> shape);

}  // namespace corvane::fenc
