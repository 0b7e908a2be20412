#include "engine/core/var_mapping.hpp"

#include <stdexcept>

#include "engine/core/interruption.hpp"

namespace corvane {

void VarMapping::set_var_map(std::span<const Entry> entries) {
    MappingEntries fresh;
    InterruptionPoll poll;
    for (const auto& [name, number] : entries) {
        poll.step();
        fresh.add_name(name, number);
    }
    set_entries(std::move(fresh));
}

void VarMapping::set_entries(MappingEntries entries) {
    entries_ = std::make_shared<const MappingEntries>(std::move(entries));
    inverse_.reset();
}

void VarMapping::build_inverse_map() { inverse_ = entries_->inverse(); }

std::optional<std::string> VarMapping::find_name(Number number) const {
    if (!inverse_) {
        throw std::logic_error("the inverse map is not built; call build_inverse_map() first");
    }
    return entries_->find_name(*inverse_, number);
}

}  // namespace corvane
