#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fenc/int_range.hpp"

namespace corvane::fenc {

// One forall: an index name and the values it runs over, in order: the
// listed values, or a range.
struct Forall {
    std::string name;
    std::vector<std::int64_t> values;  // unless a range
    std::optional<IntRange> range;

    std::uint64_t size() const { return range ? range->length : values.size(); }
    std::int64_t value(std::uint64_t k) const { return range ? range->value(k) : values[k]; }
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

}  // namespace corvane::fenc
