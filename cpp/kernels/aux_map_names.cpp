#include "kernels/aux_map_names.hpp"

#include <charconv>
#include <stdexcept>
#include <utility>

namespace tarvo::kernels {

namespace {

void append_decimal(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

}  // namespace

AuxMapNames::AuxMapNames(std::int64_t num_formula, std::int64_t block_size, std::vector<AuxVariable> variables,
                         std::int64_t instances)
    : num_formula_(num_formula), block_size_(block_size), instances_(instances), variables_(std::move(variables)) {
    if (block_size < 0) throw std::invalid_argument("the aux block size must not be negative");
    const std::int64_t last_instance = instances > 0 ? instances - 1 : 0;
    std::int64_t block_span = 0;
    if (__builtin_mul_overflow(last_instance, block_size, &block_span)) {
        throw std::overflow_error("the aux blocks of the instances reach beyond the largest variable number");
    }
    for (const AuxVariable& variable : variables_) {
        if (variable.aux_index < 0) throw std::invalid_argument("an aux index must not be negative");
        std::int64_t last_number = 0;
        if (variable.first_number < 1 || __builtin_add_overflow(variable.first_number, block_span, &last_number)) {
            throw std::overflow_error("an aux variable's number leaves 1 ... 9223372036854775807 in some instance");
        }
    }
}

std::string_view AuxMapNames::name(std::int64_t instance, std::size_t entry) {
    const AuxVariable& variable = variables_.at(entry);
    buffer_.assign(variable.prefix);
    buffer_ += '[';
    append_decimal(buffer_, num_formula_);
    buffer_ += ',';
    append_decimal(buffer_, instance);
    buffer_ += ',';
    append_decimal(buffer_, variable.aux_index);
    buffer_ += ']';
    return buffer_;
}

std::int64_t AuxMapNames::number(std::int64_t instance, std::size_t entry) const {
    // In range for every instance below the count checked at construction.
    return variables_.at(entry).first_number + instance * block_size_;
}

}  // namespace tarvo::kernels
