#include "engine/core/wcnf_storage.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace corvane {

namespace {

std::int64_t variable_of(WcnfStorage::Literal literal) {
    if (literal == 0) {
        throw std::invalid_argument("literal 0 is not a variable; literals are non-zero signed variable numbers");
    }
    if (literal == std::numeric_limits<WcnfStorage::Literal>::min()) {
        throw std::overflow_error("literal " + std::to_string(literal) + " has no negation in 64 bits");
    }
    return literal < 0 ? -literal : literal;
}

std::int64_t checked_count(std::int64_t value, const char* what) {
    if (value < 0) {
        throw std::invalid_argument(std::string(what) + " must not be negative, got " + std::to_string(value));
    }
    return value;
}

void append_literals(std::string& out, std::span<const WcnfStorage::Literal> literals) {
    for (auto literal : literals) {
        out += std::to_string(literal);
        out += ' ';
    }
    out += "0\n";
}

}  // namespace

void WcnfStorage::append_clause(std::span<const Literal> literals, Weight weight) {
    std::int64_t largest = max_variable_;
    for (auto literal : literals) {
        largest = std::max(largest, variable_of(literal));
    }
    // Validated in full before anything is stored: a refused clause leaves no trace.
    literals_.insert(literals_.end(), literals.begin(), literals.end());
    offsets_.push_back(literals_.size());
    weights_.push_back(weight);
    soft_count_ += weight != 0;
    max_variable_ = largest;
}

void WcnfStorage::add_hard_clause(std::span<const Literal> literals) { append_clause(literals, 0); }

void WcnfStorage::add_soft_clause(std::span<const Literal> literals, Weight weight) {
    if (weight <= 0) {
        throw std::invalid_argument("soft clause weight must be positive, got " + std::to_string(weight));
    }
    append_clause(literals, weight);
}

void WcnfStorage::merge(const WcnfStorage& other) {
    if (&other == this) {
        const WcnfStorage copy = other;  // inserting a vector into itself is undefined
        merge(copy);
        return;
    }
    const std::size_t base = literals_.size();
    literals_.insert(literals_.end(), other.literals_.begin(), other.literals_.end());
    for (std::size_t i = 1; i < other.offsets_.size(); ++i) {
        offsets_.push_back(base + other.offsets_[i]);
    }
    weights_.insert(weights_.end(), other.weights_.begin(), other.weights_.end());
    soft_count_ += other.soft_count_;
    prefatory_.insert(prefatory_.end(), other.prefatory_.begin(), other.prefatory_.end());
    max_variable_ = std::max(max_variable_, other.max_variable_);
}

void WcnfStorage::remove_clauses(std::size_t first, std::size_t count) {
    if (first > size() || count > size() - first) {
        throw std::out_of_range("cannot remove " + std::to_string(count) + " clauses from index " +
                                std::to_string(first) + ": the storage holds " + std::to_string(size()));
    }
    if (count == 0) return;
    const std::size_t last = first + count;
    const std::size_t removed_literals = offsets_[last] - offsets_[first];
    literals_.erase(literals_.begin() + static_cast<std::ptrdiff_t>(offsets_[first]),
                    literals_.begin() + static_cast<std::ptrdiff_t>(offsets_[last]));
    // Offsets first+1 .. last ended removed clauses; the later ones move down.
    offsets_.erase(offsets_.begin() + static_cast<std::ptrdiff_t>(first + 1),
                   offsets_.begin() + static_cast<std::ptrdiff_t>(last + 1));
    for (std::size_t i = first + 1; i < offsets_.size(); ++i) offsets_[i] -= removed_literals;
    const auto weights_begin = weights_.begin() + static_cast<std::ptrdiff_t>(first);
    const auto weights_end = weights_.begin() + static_cast<std::ptrdiff_t>(last);
    soft_count_ -= static_cast<std::size_t>(std::count_if(weights_begin, weights_end, [](Weight w) { return w != 0; }));
    weights_.erase(weights_begin, weights_end);
    // The removed clauses may have held the largest variable.
    max_variable_ = 0;
    for (auto literal : literals_) max_variable_ = std::max(max_variable_, variable_of(literal));
    for (auto literal : prefatory_) max_variable_ = std::max(max_variable_, variable_of(literal));
}

void WcnfStorage::insert_prefatory_value(Literal literal) {
    max_variable_ = std::max(max_variable_, variable_of(literal));
    prefatory_.push_back(literal);
}

void WcnfStorage::set_model_name(std::string name) { model_name_ = std::move(name); }
void WcnfStorage::set_variable_count(std::int64_t count) { variable_count_ = checked_count(count, "variable count"); }
void WcnfStorage::set_clause_count(std::int64_t count) { clause_count_ = checked_count(count, "clause count"); }
void WcnfStorage::set_weight_limit(std::int64_t limit) { weight_limit_ = checked_count(limit, "weight limit"); }

std::span<const WcnfStorage::Literal> WcnfStorage::clause(std::size_t index) const {
    if (index >= size()) {
        throw std::out_of_range("clause index " + std::to_string(index) + " out of range");
    }
    return std::span<const Literal>(literals_).subspan(offsets_[index], offsets_[index + 1] - offsets_[index]);
}

WcnfStorage::Weight WcnfStorage::top_weight() const {
    Weight sum = 0;
    for (auto weight : weights_) {
        if (weight > std::numeric_limits<Weight>::max() - 1 - sum) {
            throw std::overflow_error(
                "sum of soft weights + 1 exceeds the signed 64-bit range; no valid hard-clause weight exists");
        }
        sum += weight;
    }
    if (weight_limit_ && *weight_limit_ > sum) {
        return *weight_limit_;
    }
    return sum + 1;
}

std::string WcnfStorage::to_dimacs() const {
    std::string out;
    if (!model_name_.empty()) {
        // A line break inside the name would end the comment line early.
        std::string name = model_name_;
        std::replace_if(name.begin(), name.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        out += "c model " + name + "\n";
    }
    for (auto literal : prefatory_) {
        out += "c prefatory " + std::to_string(literal) + "\n";
    }
    const std::int64_t variables = std::max(variable_count_.value_or(0), max_variable_);
    // A weighted build sets the weight limit, and its file stays WCNF even
    // when no soft clause is left (all weights 0): WCNF readers refuse "p cnf".
    if (soft_count_ == 0 && !weight_limit_) {
        out += "p cnf " + std::to_string(variables) + " " + std::to_string(size()) + "\n";
        for (std::size_t i = 0; i < size(); ++i) append_literals(out, clause(i));
        return out;
    }
    const Weight top = top_weight();
    out += "p wcnf " + std::to_string(variables) + " " + std::to_string(size()) + " " + std::to_string(top) + "\n";
    for (std::size_t i = 0; i < size(); ++i) {
        out += std::to_string(is_soft(i) ? weights_[i] : top);
        out += ' ';
        append_literals(out, clause(i));
    }
    return out;
}

void WcnfStorage::write_dimacs(const std::string& path) const {
    const std::string text = to_dimacs();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) {
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.flush();
    }
    if (!file) {
        throw std::system_error(errno, std::generic_category(), "cannot write DIMACS file '" + path + "'");
    }
}

}  // namespace corvane
