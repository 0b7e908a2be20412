#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/core/string_map.hpp"

namespace corvane {

// Name-to-number mapping of a numbered formula, with the inverse look-up
// built on request. Numbers are non-negative (0 is a valid variable number,
// used by the model's dummy variable).
class VarMapping {
public:
    using Number = std::int64_t;
    using Entry = std::pair<std::string, Number>;

    // Replaces the mapping; entries keep the given order. Throws
    // std::invalid_argument on a negative number or a name given twice.
    // The inverse look-up is dropped until build_inverse_map() runs again.
    void set_var_map(std::vector<Entry> entries);

    // Builds number -> name. Throws std::invalid_argument when two names
    // share a number: the inverse would be ambiguous.
    void build_inverse_map();
    bool has_inverse_map() const { return inverse_built_; }

    std::optional<Number> find_number(std::string_view name) const;
    // nullptr when the number is unmapped; throws std::logic_error before
    // build_inverse_map().
    const std::string* find_name(Number number) const;

    const std::vector<Entry>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }

private:
    std::vector<Entry> entries_;
    StringMap<std::size_t> by_name_;
    std::unordered_map<Number, std::size_t> by_number_;
    bool inverse_built_ = false;
};

}  // namespace corvane
