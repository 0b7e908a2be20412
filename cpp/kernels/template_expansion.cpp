#include "kernels/template_expansion.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace tarvo::kernels {

namespace {

using Literal = corvane::WcnfStorage::Literal;

// Below this size an insertion sort beats std::stable_sort and allocates nothing.
constexpr std::size_t kInsertionSortLimit = 32;

void sort_by_absolute_value(std::vector<Literal>& literals) {
    const auto less = [](Literal a, Literal b) { return std::abs(a) < std::abs(b); };
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

// Walks the instances depth-first, keeping per forall depth the partial sum
// of every literal's number, so an instance costs one multiply-add per
// literal at the innermost forall.
class Expander {
public:
    Expander(std::span<const TemplateClause> clauses, std::span<const std::vector<std::int64_t>> forall_values,
             corvane::WcnfStorage& storage)
        : clauses_(clauses), forall_values_(forall_values), storage_(storage) {
        for (const auto& clause : clauses) {
            for (const auto& literal : clause.literals) {
                if (literal.coefficients.size() != forall_values.size()) {
                    throw std::invalid_argument("a template literal needs one coefficient per forall");
                }
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

    std::int64_t run() {
        for (const auto& values : forall_values_) {
            if (values.empty()) return 0;
        }
        descend(0);
        return instance_;
    }

private:
    void descend(std::size_t depth) {
        const std::size_t count = negated_.size();
        if (depth == forall_values_.size()) {
            emit_instance(partial_.data() + depth * count);
            return;
        }
        const std::uint64_t* outer = partial_.data() + depth * count;
        std::uint64_t* inner = partial_.data() + (depth + 1) * count;
        const std::uint64_t* coefficients = coefficients_.data() + depth * count;
        for (const std::int64_t value : forall_values_[depth]) {
            const auto v = static_cast<std::uint64_t>(value);
            for (std::size_t i = 0; i < count; ++i) inner[i] = outer[i] + coefficients[i] * v;
            descend(depth + 1);
        }
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
    }

    std::span<const TemplateClause> clauses_;
    std::span<const std::vector<std::int64_t>> forall_values_;
    corvane::WcnfStorage& storage_;
    std::vector<unsigned char> negated_;  // not vector<bool>: read once per literal per instance
    std::vector<std::uint64_t> per_instance_;
    std::vector<std::uint64_t> coefficients_;
    std::vector<std::uint64_t> partial_;  // (forall count + 1) rows of one entry per literal
    std::vector<Literal> buffer_;
    std::int64_t instance_ = 0;
};

}  // namespace

std::int64_t expand_template(std::span<const TemplateClause> clauses,
                             std::span<const std::vector<std::int64_t>> forall_values,
                             corvane::WcnfStorage& storage) {
    return Expander(clauses, forall_values, storage).run();
}

}  // namespace tarvo::kernels
