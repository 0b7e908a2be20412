#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::fenc {

// Value k of a range. Every value lies between its start and stop, so the
// sum, taken modulo 2^64, lands on it without overflow.
inline std::int64_t range_value(std::int64_t start, std::int64_t step, std::uint64_t k) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(start) + k * static_cast<std::uint64_t>(step));
}

// One forall: an index name and the values it runs over, in order: the
// listed values, or a range, whose values are never built.
struct Forall {
    std::string name;
    std::vector<std::int64_t> values;  // unless a range
    std::int64_t start = 0, step = 0;  // a range when step != 0: value k is start + k * step
    std::uint64_t length = 0;          // of a range

    std::uint64_t size() const { return step != 0 ? length : values.size(); }
    std::int64_t value(std::uint64_t k) const { return step != 0 ? range_value(start, step, k) : values[k]; }
};

// Reads "Foralls: {'i': range(0, 2), 'j': [0, 1], 'k': (3,)}": the printed
// dictionary of index names to ranges, lists or tuples of integers. The
// order of the entries is the nesting order of the expansion. Throws
// TextError for anything else, including an index named twice, and
// std::invalid_argument when the foralls make more than kMaxCount
// instances.
std::vector<Forall> parse_foralls(std::string_view text);

// Number of combinations of the foralls' values (1 without foralls), at
// most kMaxCount for foralls that parse_foralls gave.
std::uint64_t instance_count(const std::vector<Forall>& foralls);

// The number of values of range(start, stop, step), step != 0.
std::uint64_t range_length(std::int64_t start, std::int64_t stop, std::int64_t step);

}  // namespace corvane::fenc
