#pragma once

#include <cstdint>
#include <string>

namespace corvane::fenc {

// The largest count the formula encoder takes for the instances of one
// formula (the product of its foralls), the values of one loop and the
// declared elements of a model. DIMACS solvers number variables in signed
// 32 bits, and a model beyond it would not fit in memory anyway, so a
// larger count is refused before anything is built.
constexpr std::uint64_t kMaxCount = INT32_MAX;

// A product of counts, exact up to 2^127 and saturating there, with its
// decimal text for messages.
class Count {
public:
    void multiply(std::uint64_t factor);
    bool exceeds(std::uint64_t limit) const { return value_ > limit; }
    std::uint64_t value() const { return static_cast<std::uint64_t>(value_); }  // when not beyond 64 bits
    std::string text() const;

private:
    static constexpr unsigned __int128 kSaturated = static_cast<unsigned __int128>(1) << 127;
    unsigned __int128 value_ = 1;
};

}  // namespace corvane::fenc
