#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace corvane::fenc {

// The values of range(start, stop, step), as Python gives them; they are
// never built, so a loop or a forall over a long range costs no memory.
struct IntRange {
    std::int64_t start = 0, step = 1;
    std::uint64_t length = 0;

    // Value k < length. Every value lies between start and stop, so the
    // sum, taken modulo 2^64, lands on it without overflow.
    std::int64_t value(std::uint64_t k) const {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(start) + k * static_cast<std::uint64_t>(step));
    }
};

// range(stop), range(start, stop) or range(start, stop, step) from its 1 to
// 3 arguments; nullopt for a step of 0, which Python refuses.
std::optional<IntRange> python_range(std::span<const std::int64_t> args);

}  // namespace corvane::fenc
