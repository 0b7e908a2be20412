#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/string_map.hpp"

namespace corvane::fenc {

// A declared block of 0/1 variables, numbered row-major from `first`.
struct Declaration {
    std::string name;
    std::vector<std::int64_t> sizes;
    std::vector<std::int64_t> strides;  // growth of the number per index step
    std::int64_t first = 0;
    std::int64_t count = 0;
};

// The declared variables of one model; elements are numbered from 1 in
// declaration order.
class Declarations {
public:
    // Throws std::invalid_argument for a repeated or malformed name, a
    // negative size, or more elements in all than kMaxCount (limits.hpp).
    const Declaration& add(std::string name, std::vector<std::int64_t> sizes);

    std::optional<std::uint32_t> find(std::string_view name) const;
    const Declaration& at(std::uint32_t index) const { return list_[index]; }
    std::size_t size() const { return list_.size(); }
    // Number of declared elements, which is also the largest element number.
    std::int64_t element_count() const { return element_count_; }

    // Element name in the container's form: "x[0,1]".
    static std::string element_name(const Declaration& d, std::int64_t offset);

private:
    std::vector<Declaration> list_;
    StringMap<std::uint32_t> by_name_;
    std::int64_t element_count_ = 0;
};

}  // namespace corvane::fenc
