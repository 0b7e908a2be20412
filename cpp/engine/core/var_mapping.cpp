#include "engine/core/var_mapping.hpp"

#include <stdexcept>

#include "engine/core/interruption.hpp"

namespace corvane {

void VarMapping::set_var_map(std::vector<Entry> entries) {
    decltype(by_name_) by_name;
    by_name.reserve(entries.size());
    InterruptionPoll poll;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        poll.step();
        const auto& [name, number] = entries[i];
        if (number < 0) {
            throw std::invalid_argument("variable number of '" + name + "' must not be negative, got " +
                                        std::to_string(number));
        }
        if (!by_name.emplace(name, i).second) {
            throw std::invalid_argument("name '" + name + "' is mapped twice");
        }
    }
    entries_ = std::move(entries);
    by_name_ = std::move(by_name);
    by_number_.clear();
    inverse_built_ = false;
}

void VarMapping::build_inverse_map() {
    decltype(by_number_) by_number;
    by_number.reserve(entries_.size());
    InterruptionPoll poll;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        poll.step();
        const auto [slot, fresh] = by_number.emplace(entries_[i].second, i);
        if (!fresh) {
            throw std::invalid_argument("variable number " + std::to_string(entries_[i].second) +
                                        " is mapped by both '" + entries_[slot->second].first + "' and '" +
                                        entries_[i].first + "'");
        }
    }
    by_number_ = std::move(by_number);
    inverse_built_ = true;
}

std::optional<VarMapping::Number> VarMapping::find_number(std::string_view name) const {
    const auto found = by_name_.find(name);
    if (found == by_name_.end()) return std::nullopt;
    return entries_[found->second].second;
}

const std::string* VarMapping::find_name(Number number) const {
    if (!inverse_built_) {
        throw std::logic_error("the inverse map is not built; call build_inverse_map() first");
    }
    const auto found = by_number_.find(number);
    return found == by_number_.end() ? nullptr : &entries_[found->second].first;
}

}  // namespace corvane
