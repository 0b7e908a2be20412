#include "engine/dravo/context.hpp"

#include <limits>
#include <stdexcept>

namespace corvane::dravo {

std::shared_ptr<const Variable> Context::get_var(std::string_view name) {
    if (auto found = find_var(name)) return found;
    if (name.empty()) throw std::invalid_argument("variable name must not be empty");
    if (name.find('~') != std::string_view::npos)
        throw std::invalid_argument("variable name must not contain '~': '" + std::string(name) + "'");
    if (vars_.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many variables in one context");
    auto var = std::make_shared<const Variable>(std::string(name), static_cast<std::uint32_t>(vars_.size() + 1));
    by_name_.emplace(var->name(), var);
    vars_.push_back(var);
    return var;
}

std::shared_ptr<const Variable> Context::find_var(std::string_view name) const {
    auto it = by_name_.find(name);
    return it == by_name_.end() ? nullptr : it->second;
}

std::shared_ptr<const Variable> Context::var_by_id(std::uint32_t id) const {
    return id >= 1 && id <= vars_.size() ? vars_[id - 1] : nullptr;
}

}  // namespace corvane::dravo
