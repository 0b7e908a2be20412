#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::fenc {

// One forall: an index name and the values it runs over, in order.
struct Forall {
    std::string name;
    std::vector<std::int64_t> values;
};

// Reads "Foralls: {'i': range(0, 2), 'j': [0, 1], 'k': (3,)}": the printed
// dictionary of index names to ranges, lists or tuples of integers. The
// order of the entries is the nesting order of the expansion. Throws
// TextError for anything else, including an index named twice.
std::vector<Forall> parse_foralls(std::string_view text);

// Number of combinations of the foralls' values (1 without foralls).
std::uint64_t instance_count(const std::vector<Forall>& foralls);

}  // namespace corvane::fenc
