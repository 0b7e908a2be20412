#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/string_map.hpp"
#include "engine/dravo/node.hpp"

namespace corvane::dravo {

// Namespace of variables: one Variable per name. Ids run 1, 2, ... in
// creation order, so id() can serve directly as a clause variable number.
class Context {
public:
    // The variable of that name, created on first request. Throws
    // std::invalid_argument for an empty name or one containing '~' (the
    // negation mark of literal text).
    std::shared_ptr<const Variable> get_var(std::string_view name);
    // nullptr when the context has no variable of that name.
    std::shared_ptr<const Variable> find_var(std::string_view name) const;
    // The variable with the given id (1-based); nullptr when out of range.
    std::shared_ptr<const Variable> var_by_id(std::uint32_t id) const;
    std::size_t size() const { return vars_.size(); }

private:
    StringMap<std::shared_ptr<const Variable>> by_name_;
    std::vector<std::shared_ptr<const Variable>> vars_;
};

}  // namespace corvane::dravo
