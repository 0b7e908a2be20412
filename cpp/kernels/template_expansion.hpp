#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/core/wcnf_storage.hpp"
#include "engine/dravo/clause_conjunction.hpp"

namespace tarvo::kernels {

// Sorts a clause's literals by absolute value, keeping the order of equal
// ones: the order in which the storage holds every clause of the container.
void sort_by_absolute_value(std::vector<corvane::WcnfStorage::Literal>& literals);

// Stores instance 0 of a clause form without aux variables as the expansion
// stores it: variable v + 1 is element elements[v], each clause (which
// holds an element once) sorted by absolute value.
void store_instance(const corvane::dravo::NumberedClauses& clauses, std::span<const std::int64_t> elements,
                    corvane::WcnfStorage& storage);

// One literal of a template clause in affine form. In instance n, where the
// foralls (outermost first) hold the values v_0 ... v_{m-1}, its variable is
//
//     base + per_instance * n + coefficients[0] * v_0 + ... + coefficients[m-1] * v_{m-1}
//
// A template variable's flat number is affine in the forall values (its
// indexes are affine and its strides constant); an aux variable's number is
// affine in the instance number alone (one aux block per instance).
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

// Called now and then while a long expansion runs; it may throw to stop the
// expansion (an interrupt), which then removes what it has stored.
using InterruptCheck = std::function<void()>;

// The number of template instances: the product of the forall lengths.
// Throws std::overflow_error when it does not fit in 64 bits.
std::int64_t count_instances(std::span<const std::vector<std::int64_t>> forall_values);

// Expands the template over every combination of the forall values, first
// forall outermost, and appends each instance's clauses in template order to
// `storage`, every clause sorted stably by the absolute value of its
// literals. Returns the number of instances.
//
// Everything is checked before the first clause is stored, and nothing is
// stored when a check fails:
//   std::invalid_argument  a literal's coefficient count differs from the
//                          number of foralls; a negative weight
//   std::overflow_error    a literal whose variable number leaves
//                          1 ... INT64_MAX in some instance
// When `interrupted` throws, the clauses stored by this call are removed
// again and the exception propagates.
std::int64_t expand_template(std::span<const TemplateClause> clauses,
                             std::span<const std::vector<std::int64_t>> forall_values,
                             corvane::WcnfStorage& storage, const InterruptCheck& interrupted);

}  // namespace tarvo::kernels
