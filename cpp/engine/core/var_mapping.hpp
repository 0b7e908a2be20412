#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/core/mapping_entries.hpp"

namespace corvane {

// Name-to-number mapping of a numbered formula, with the inverse look-up
// built on request. Numbers are non-negative (0 is a valid variable number,
// used by the model's dummy variable).
//
// The entries are kept by MappingEntries: names given one by one in one
// text arena, and the names that follow from a declaration or an aux block
// as that block alone, made when asked for. Readers such as the witness
// interpreter share the entries instead of copying them; replacing the
// mapping leaves what they hold as it was.
class VarMapping {
public:
    using Number = std::int64_t;
    using Entry = std::pair<std::string, Number>;

    // Replaces the mapping; entries keep the given order. Throws
    // std::invalid_argument on a negative number or a name given twice.
    // The inverse look-up is dropped until build_inverse_map() runs again.
    void set_var_map(std::span<const Entry> entries);
    // Replaces the mapping with entries already put together.
    void set_entries(MappingEntries entries);

    // Builds number -> name. Throws std::invalid_argument when two names
    // share a number: the inverse would be ambiguous.
    void build_inverse_map();
    bool has_inverse_map() const { return inverse_ != nullptr; }

    std::optional<Number> find_number(std::string_view name) const { return entries_->find_number(name); }
    // std::nullopt when the number is unmapped; throws std::logic_error
    // before build_inverse_map().
    std::optional<std::string> find_name(Number number) const;

    std::shared_ptr<const MappingEntries> entries() const { return entries_; }
    std::size_t size() const { return entries_->size(); }

private:
    std::shared_ptr<const MappingEntries> entries_ = std::make_shared<MappingEntries>();
    std::shared_ptr<const MappingEntries::Inverse> inverse_;
};

}  // namespace corvane
