#include "kernels/aux_map_names.hpp"

#include <charconv>
#include <utility>

namespace tarvo::kernels {

namespace {

void append_decimal(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

}  // namespace

AuxMapNames::AuxMapNames(std::int64_t num_formula, std::int64_t block_size, std::vector<AuxVariable> variables)
    : num_formula_(num_formula), block_size_(block_size), variables_(std::move(variables)) {}

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
    return variables_.at(entry).first_number + instance * block_size_;
}

}  // namespace tarvo::kernels
