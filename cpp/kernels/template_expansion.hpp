#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/wcnf_storage.hpp"

namespace tarvo::kernels {

// One literal of a template clause in affine form. In instance n, where the
// foralls (outermost first) hold the values v_0 ... v_{m-1}, its variable is
//
//     base + per_instance * n + coefficients[0] * v_0 + ... + coefficients[m-1] * v_{m-1}
//
// A template variable's flat number is affine in the forall values (its
// indexes are affine and its strides constant); an aux variable's number is
// affine in the instance number alone (one aux block per instance).
//
// The caller guarantees that this number lies in 1 ... INT64_MAX for every
// instance; partial sums are taken modulo 2^64, so large terms that cancel
// still give the exact number.
struct TemplateLiteral {
    bool negated = false;
    std::int64_t base = 0;
    std::int64_t per_instance = 0;
    std::vector<std::int64_t> coefficients;  // one per forall
};

struct TemplateClause {
    std::vector<TemplateLiteral> literals;
    std::int64_t weight = 0;  // 0: hard clause, else a soft clause of this weight
};

// Expands the template over every combination of the forall values, first
// forall outermost, and appends each instance's clauses in template order to
// `storage`, every clause sorted stably by the absolute value of its
// literals. Returns the number of instances.
//
// Throws std::invalid_argument when a literal's coefficient count differs
// from the number of foralls; nothing is stored then.
std::int64_t expand_template(std::span<const TemplateClause> clauses,
                             std::span<const std::vector<std::int64_t>> forall_values,
                             corvane::WcnfStorage& storage);

}  // namespace tarvo::kernels
