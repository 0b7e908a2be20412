#include "engine/fenc/declarations.hpp"

#include <stdexcept>

#include "engine/fenc/identifier_chars.hpp"
#include "engine/fenc/text_error.hpp"

namespace corvane::fenc {
namespace {

// Names of the aux variables in the mapping: a declared name with one of
// these prefixes could take an aux variable's name.
constexpr std::string_view kReservedPrefixes[] = {"_dravo_aux", "_kelpa_aux"};

}  // namespace

const Declaration& Declarations::add(std::string name, std::vector<std::int64_t> sizes) {
    if (!is_identifier(name)) {
        throw std::invalid_argument("variable name " + quoted(name) + " is not an identifier");
    }
    for (std::string_view prefix : kReservedPrefixes) {
        if (name.starts_with(prefix)) {
            throw std::invalid_argument("variable name " + quoted(name) + " starts with '" + std::string(prefix) +
                                        "', which is reserved for aux variables");
        }
    }
    if (by_name_.contains(name)) {
        throw std::invalid_argument("variable " + quoted(name) + " is already declared");
    }
    Declaration d{std::move(name), std::move(sizes), {}, element_count_ + 1, 1};
    d.strides.assign(d.sizes.size(), 1);
    for (std::size_t k = d.sizes.size(); k-- > 0;) {
        if (d.sizes[k] < 0) {
            throw std::invalid_argument("size " + std::to_string(d.sizes[k]) + " of variable " + quoted(d.name) + " is negative");
        }
        d.strides[k] = d.count;
        if (d.sizes[k] != 0 && d.count > (INT64_MAX / 2) / d.sizes[k]) {
            throw std::overflow_error("variable '" + d.name + "' has too many elements");
        }
        d.count *= d.sizes[k];
    }
    if (d.count > INT64_MAX / 4 - element_count_) {
        throw std::overflow_error("variable '" + d.name + "' has too many elements");
    }
    element_count_ += d.count;
    by_name_.emplace(d.name, static_cast<std::uint32_t>(list_.size()));
    list_.push_back(std::move(d));
    return list_.back();
}

std::optional<std::uint32_t> Declarations::find(std::string_view name) const {
    auto it = by_name_.find(name);
    if (it == by_name_.end()) return std::nullopt;
    return it->second;
}

std::string Declarations::element_name(const Declaration& d, std::int64_t offset) {
    std::string text = d.name + "[";
    for (std::size_t k = 0; k < d.sizes.size(); ++k) {
        if (k > 0) text += ',';
        text += std::to_string(offset / d.strides[k]);
        offset %= d.strides[k];
    }
    text += ']';
    return text;
}

}  // namespace corvane::fenc
