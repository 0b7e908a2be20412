#include "engine/fenc/limits.hpp"

#include <algorithm>

namespace corvane::fenc {

void Count::multiply(std::uint64_t factor) {
    if (factor == 0 || value_ == 0) {
        value_ = 0;
    } else if (value_ >= kSaturated / factor) {
        value_ = kSaturated;
    } else {
        value_ *= factor;
    }
}

std::string Count::text() const {
    if (value_ >= kSaturated) return "more than 2**127";
    std::string digits;
    unsigned __int128 rest = value_;
    do {
        digits += static_cast<char>('0' + static_cast<int>(rest % 10));
        rest /= 10;
    } while (rest > 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

}  // namespace corvane::fenc
