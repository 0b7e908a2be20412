#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::kernels {

// One aux variable of a template: the prefix of its aux map names, its aux
// index and its number in instance 0.
struct AuxVariable {
    std::string prefix;
    std::int64_t aux_index = 0;
    std::int64_t first_number = 0;
};

// The aux map names and numbers of one formula's instances: the aux variable
// `entry` of instance n is named "<prefix>[<formula>,<n>,<aux index>]" and
// has the number first_number + n * block_size.
class AuxMapNames {
public:
    // Throws std::invalid_argument for a negative block size or aux index and
    // std::overflow_error when some instance's number would leave
    // 1 ... INT64_MAX, before any name is made.
    AuxMapNames(std::int64_t num_formula, std::int64_t block_size, std::vector<AuxVariable> variables,
                std::int64_t instances);

    std::size_t size() const { return variables_.size(); }
    std::int64_t num_formula() const { return num_formula_; }
    std::int64_t block_size() const { return block_size_; }
    std::int64_t instances() const { return instances_; }
    const std::vector<AuxVariable>& variables() const { return variables_; }

    // The view stays valid until the next call of name().
    std::string_view name(std::int64_t instance, std::size_t entry);
    std::int64_t number(std::int64_t instance, std::size_t entry) const;

private:
    std::int64_t num_formula_;
    std::int64_t block_size_;
    std::int64_t instances_;
    std::vector<AuxVariable> variables_;
    std::string buffer_;
};

}  // namespace tarvo::kernels
