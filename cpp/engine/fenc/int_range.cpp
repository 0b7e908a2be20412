#include "engine/fenc/int_range.hpp"

namespace corvane::fenc {

std::optional<IntRange> python_range(std::span<const std::int64_t> args) {
    IntRange r;
    r.start = args.size() == 1 ? 0 : args[0];
    const std::int64_t stop = args.size() == 1 ? args[0] : args[1];
    r.step = args.size() == 3 ? args[2] : 1;
    if (r.step == 0) return std::nullopt;
    const __int128 span = r.step > 0 ? (__int128)stop - r.start : (__int128)r.start - stop;
    const __int128 magnitude = r.step > 0 ? (__int128)r.step : -(__int128)r.step;
    r.length = span <= 0 ? 0 : static_cast<std::uint64_t>((span + magnitude - 1) / magnitude);
    return r;
}

}  // namespace corvane::fenc
