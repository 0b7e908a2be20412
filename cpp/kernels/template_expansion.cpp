#include "kernels/template_expansion.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tarvo::kernels {

namespace {

using Literal = corvane::WcnfStorage::Literal;
using Wide = __int128;

// Below this size an insertion sort beats std::stable_sort and allocates nothing.
constexpr std::size_t kInsertionSortLimit = 32;
// Literals (plus one per instance) stored between two interrupt checks.
constexpr std::uint64_t kWorkBetweenChecks = 1u << 16;

// Literals are range-checked before they are stored, so no absolute value overflows.
Literal magnitude(Literal literal) { return literal < 0 ? -literal : literal; }

// Adds factor * [low, high] to the running bounds; false on overflow, which
// only bounds far outside the 64-bit range can reach.
bool add_scaled_range(Wide& low, Wide& high, std::int64_t factor, std::int64_t range_low, std::int64_t range_high) {
    const Wide a = static_cast<Wide>(factor) * range_low;
    const Wide b = static_cast<Wide>(factor) * range_high;
    return !__builtin_add_overflow(low, std::min(a, b), &low) && !__builtin_add_overflow(high, std::max(a, b), &high);
}

void check_literal_range(const TemplateLiteral& literal, std::int64_t instances,
                         std::span<const std::pair<std::int64_t, std::int64_t>> bounds) {
    Wide low = literal.base, high = literal.base;
    bool fits = add_scaled_range(low, high, literal.per_instance, 0, instances - 1);
    for (std::size_t d = 0; fits && d < bounds.size(); ++d) {
        fits = add_scaled_range(low, high, literal.coefficients[d], bounds[d].first, bounds[d].second);
    }
    if (!fits || low < 1 || high > INT64_MAX) {
        throw std::overflow_error("a template literal's variable number leaves 1 ... " + std::to_string(INT64_MAX) +
                                  " in some instance");
    }
}

// Walks the instances as an odometer, first forall outermost, keeping per
// forall depth the partial sum of every literal's number, so an instance
// costs one multiply-add per literal at the innermost forall. No recursion:
// the number of foralls is the caller's.
class Expander {
public:
    Expander(std::span<const TemplateClause> clauses, std::span<const std::vector<std::int64_t>> forall_values,
             corvane::WcnfStorage& storage, const InterruptCheck& interrupted)
        : clauses_(clauses), forall_values_(forall_values), storage_(storage), interrupted_(interrupted) {
        for (const auto& clause : clauses) {
            for (const auto& literal : clause.literals) {
                negated_.push_back(literal.negated);
                per_instance_.push_back(static_cast<std::uint64_t>(literal.per_instance));
                partial_.push_back(static_cast<std::uint64_t>(literal.base));
            }
        }
        const std::size_t count = negated_.size();
        // coefficients_[d * count + i]: literal i's coefficient of forall d.
        coefficients_.resize(forall_values.size() * count);
        std::size_t i = 0;
        for (const auto& clause : clauses) {
            for (const auto& literal : clause.literals) {
                for (std::size_t d = 0; d < forall_values.size(); ++d) {
                    coefficients_[d * count + i] = static_cast<std::uint64_t>(literal.coefficients[d]);
                }
                ++i;
            }
        }
        partial_.resize((forall_values.size() + 1) * count);
    }

    void run() {
        const std::size_t depth = forall_values_.size();
        std::vector<std::size_t> position(depth, 0);
        for (std::size_t d = 0; d < depth; ++d) fill_row(d, forall_values_[d][0]);
        for (;;) {
            emit_instance(partial_.data() + depth * negated_.size());
            std::size_t d = depth;
            for (;;) {  // the innermost forall that has a next value
                if (d == 0) return;
                --d;
                if (++position[d] < forall_values_[d].size()) break;
                position[d] = 0;
            }
            for (std::size_t k = d; k < depth; ++k) fill_row(k, forall_values_[k][position[k]]);
        }
    }

private:
    // Row depth + 1 = row depth + coefficients of forall `depth` times its value.
    void fill_row(std::size_t depth, std::int64_t value) {
        const std::size_t count = negated_.size();
        const std::uint64_t* outer = partial_.data() + depth * count;
        std::uint64_t* inner = partial_.data() + (depth + 1) * count;
        const std::uint64_t* coefficients = coefficients_.data() + depth * count;
        const auto v = static_cast<std::uint64_t>(value);
        // Modulo 2^64: the literal's range check guarantees the exact final sum.
        for (std::size_t i = 0; i < count; ++i) inner[i] = outer[i] + coefficients[i] * v;
    }

    void emit_instance(const std::uint64_t* numbers) {
        const auto n = static_cast<std::uint64_t>(instance_);
        std::size_t i = 0;
        for (const auto& clause : clauses_) {
            buffer_.clear();
            for (std::size_t end = i + clause.literals.size(); i < end; ++i) {
                const auto number = static_cast<Literal>(numbers[i] + per_instance_[i] * n);
                buffer_.push_back(negated_[i] ? -number : number);
            }
            sort_by_absolute_value(buffer_);
            if (clause.weight != 0) {
                storage_.add_soft_clause(buffer_, clause.weight);
            } else {
                storage_.add_hard_clause(buffer_);
            }
        }
        ++instance_;
        work_ += negated_.size() + 1;
        if (work_ >= kWorkBetweenChecks) {
            work_ = 0;
            if (interrupted_) interrupted_();
        }
    }

    std::span<const TemplateClause> clauses_;
    std::span<const std::vector<std::int64_t>> forall_values_;
    corvane::WcnfStorage& storage_;
    const InterruptCheck& interrupted_;
    std::vector<unsigned char> negated_;  // not vector<bool>: read once per literal per instance
    std::vector<std::uint64_t> per_instance_;
    std::vector<std::uint64_t> coefficients_;
    std::vector<std::uint64_t> partial_;  // (forall count + 1) rows of one entry per literal
    std::vector<Literal> buffer_;
    std::int64_t instance_ = 0;
    std::uint64_t work_ = 0;
};

}  // namespace

void sort_by_absolute_value(std::vector<Literal>& literals) {
    const auto less = [](Literal a, Literal b) { return magnitude(a) < magnitude(b); };
    if (literals.size() > kInsertionSortLimit) {
        std::stable_sort(literals.begin(), literals.end(), less);
        return;
    }
    for (std::size_t i = 1; i < literals.size(); ++i) {
        const Literal moving = literals[i];
        std::size_t j = i;
        for (; j > 0 && less(moving, literals[j - 1]); --j) literals[j] = literals[j - 1];
        literals[j] = moving;
    }
}

void store_instance(const corvane::dravo::NumberedClauses& clauses, std::span<const std::int64_t> elements,
                    corvane::WcnfStorage& storage) {
    std::vector<Literal> stored;
    std::size_t begin = 0;
    for (const std::size_t end : clauses.clause_ends) {
        stored.clear();
        for (std::size_t i = begin; i < end; ++i) {
            const Literal literal = clauses.literals[i];
            const std::int64_t element = elements[static_cast<std::size_t>(magnitude(literal)) - 1];
            stored.push_back(literal < 0 ? -element : element);
        }
        sort_by_absolute_value(stored);
        storage.add_hard_clause(stored);
        begin = end;
    }
}

std::int64_t count_instances(std::span<const std::vector<std::int64_t>> forall_values) {
    std::int64_t instances = 1;
    for (const auto& values : forall_values) {
        if (__builtin_mul_overflow(instances, static_cast<std::int64_t>(values.size()), &instances)) {
            throw std::overflow_error("the foralls have more than " + std::to_string(INT64_MAX) +
                                      " combinations of values");
        }
    }
    return instances;
}

std::int64_t expand_template(std::span<const TemplateClause> clauses,
                             std::span<const std::vector<std::int64_t>> forall_values,
                             corvane::WcnfStorage& storage, const InterruptCheck& interrupted) {
    for (const auto& clause : clauses) {
        if (clause.weight < 0) throw std::invalid_argument("a soft clause needs a positive weight");
        for (const auto& literal : clause.literals) {
            if (literal.coefficients.size() != forall_values.size()) {
                throw std::invalid_argument("a template literal needs one coefficient per forall");
            }
        }
    }
    const std::int64_t instances = count_instances(forall_values);
    if (instances == 0) return 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> bounds;
    bounds.reserve(forall_values.size());
    for (const auto& values : forall_values) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        bounds.emplace_back(*low, *high);
    }
    for (const auto& clause : clauses) {
        for (const auto& literal : clause.literals) check_literal_range(literal, instances, bounds);
    }
    const std::size_t first = storage.size();
    try {
        Expander(clauses, forall_values, storage, interrupted).run();
    } catch (...) {
        storage.remove_clauses(first, storage.size() - first);
        throw;
    }
    return instances;
}

}  // namespace tarvo::kernels
