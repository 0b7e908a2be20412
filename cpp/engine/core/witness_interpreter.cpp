#include "engine/core/witness_interpreter.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace corvane {

void WitnessInterpreter::set_var_mapping(std::shared_ptr<const VarMapping> mapping) {
    mapping_ = std::move(mapping);
    ready_ = false;
}

void WitnessInterpreter::set_auxiliary_vars(std::vector<std::string> prefixes) {
    auxiliary_prefixes_ = std::move(prefixes);
    ready_ = false;
}

bool WitnessInterpreter::is_auxiliary(std::string_view name) const {
    for (const auto& prefix : auxiliary_prefixes_) {
        if (name.starts_with(prefix)) return true;
    }
    return false;
}

bool WitnessInterpreter::reaches_beyond(std::string_view start) const {
    for (const auto& prefix : auxiliary_prefixes_) {
        if (prefix.size() > start.size() && prefix.starts_with(start)) return true;
    }
    return false;
}

bool WitnessInterpreter::build_mapping_tables(bool hide_auxiliary) {
    entries_.reset();
    hidden_.clear();
    shown_count_ = 0;
    ready_ = false;
    if (!mapping_ || mapping_->size() == 0) return false;
    entries_ = mapping_->entries();
    std::vector<bool> hidden;
    if (hide_auxiliary && !auxiliary_prefixes_.empty()) {
        hidden.reserve(entries_->size());
        // Most names are decided by how their block's names begin; only a
        // prefix that reaches into the numbers needs every name.
        bool decided = true;
        entries_->visit_name_starts([&](std::string_view start, std::size_t count) {
            const bool hide = is_auxiliary(start);
            decided = decided && (hide || count == 1 || !reaches_beyond(start));
            hidden.insert(hidden.end(), count, hide);
        });
        if (!decided) {
            hidden.clear();
            entries_->visit([&](std::string_view name, VarMapping::Number) { hidden.push_back(is_auxiliary(name)); });
        }
    }
    hidden_ = std::move(hidden);
    shown_count_ = entries_->size() - static_cast<std::size_t>(std::count(hidden_.begin(), hidden_.end(), true));
    ready_ = true;
    return true;
}

std::vector<std::pair<std::string, bool>> WitnessInterpreter::interpret(std::span<const Literal> model) const {
    if (!ready_) {
        throw std::logic_error("the mapping tables are not built; call build_mapping_tables() first");
    }
    // +1 true, -1 false; a variable the model leaves out stays absent (false).
    std::unordered_map<Literal, int> sign;
    sign.reserve(model.size());
    for (auto literal : model) {
        if (literal == 0) continue;
        if (literal == std::numeric_limits<Literal>::min()) {
            throw std::overflow_error("model literal " + std::to_string(literal) + " has no variable in 64 bits");
        }
        const Literal variable = literal < 0 ? -literal : literal;
        const int value = literal < 0 ? -1 : 1;
        const auto [slot, fresh] = sign.emplace(variable, value);
        if (!fresh && slot->second != value) {
            throw std::invalid_argument("the model sets variable " + std::to_string(variable) +
                                        " both true and false");
        }
    }
    std::vector<std::pair<std::string, bool>> values;
    values.reserve(shown_count_);
    std::size_t position = 0;
    entries_->visit([&](std::string_view name, VarMapping::Number number) {
        if (!hidden_.empty() && hidden_[position++]) return;
        const auto found = sign.find(number);
        values.emplace_back(std::string(name), found != sign.end() && found->second > 0);
    });
    return values;
}

}  // namespace corvane
