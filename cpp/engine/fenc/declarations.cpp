#include "engine/fenc/declarations.hpp"

#include <stdexcept>

#include "engine/fenc/identifier_chars.hpp"
#include "engine/fenc/limits.hpp"
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
    Count count;
    for (std::int64_t size : sizes) {
        if (size < 0) {
            throw std::invalid_argument("size " + std::to_string(size) + " of variable " + quoted(name) + " is negative");
        }
        count.multiply(static_cast<std::uint64_t>(size));
    }
    if (count.exceeds(kMaxCount) || count.value() + static_cast<std::uint64_t>(element_count_) > kMaxCount) {
        throw std::invalid_argument("variable " + quoted(name) + " has " + count.text() +
                                    " elements; a model holds at most " + std::to_string(kMaxCount) +
                                    " elements in all (" + std::to_string(element_count_) + " declared before)");
    }
    Declaration d{std::move(name), std::move(sizes), {}, element_count_ + 1, static_cast<std::int64_t>(count.value())};
    // Without elements the strides are never used; they stay 0 rather than overflow.
    d.strides.assign(d.sizes.size(), 0);
    std::int64_t stride = d.count > 0 ? 1 : 0;
    for (std::size_t k = d.sizes.size(); k-- > 0;) {
        d.strides[k] = stride;
        stride *= d.sizes[k];
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
