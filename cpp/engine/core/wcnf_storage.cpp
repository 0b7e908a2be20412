#include "engine/core/wcnf_storage.hpp"

#include <algorithm>
#include <charconv>
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

void append_decimal(std::string& out, std::int64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

void WcnfStorage::append_clause(std::span<const Literal> literals, Weight weight) {
    std::int64_t largest = max_variable_;
    for (auto literal : literals) {
        largest = std::max(largest, variable_of(literal));
    }
    // Validated in full before anything is stored: a refused clause leaves no trace.
    literals_.append(literals);
    offsets_.push_back(static_cast<std::int64_t>(literals_.size()));
    weights_.push_back(weight);
    soft_count_ += weight != 0;
    max_variable_ = largest;
}

void WcnfStorage::reserve(std::size_t clauses, std::size_t literals) {
    literals_.reserve(literals);
    offsets_.reserve(clauses);
    weights_.reserve(clauses);
}

void WcnfStorage::append_clauses(const PackedInts& literals, const PackedInts& ends, std::size_t first,
                                 std::size_t last, const PackedInts* weights) {
    if (first >= last) return;
    const auto literals_first = static_cast<std::size_t>(first == 0 ? 0 : ends[first - 1]);
    const auto literals_last = static_cast<std::size_t>(ends[last - 1]);
    std::int64_t largest = max_variable_;
    literals.visit(literals_first, literals_last, [&](Literal literal) { largest = std::max(largest, variable_of(literal)); });
    if (weights != nullptr) {
        weights->visit(0, last - first, [](Weight weight) {
            if (weight <= 0) {
                throw std::invalid_argument("soft clause weight must be positive, got " + std::to_string(weight));
            }
        });
    }
    const auto shift = static_cast<std::int64_t>(literals_.size()) - static_cast<std::int64_t>(literals_first);
    literals_.append(literals, literals_first, literals_last);
    offsets_.append(ends, first, last, shift);
    if (weights != nullptr) {
        weights_.append(*weights, 0, last - first);
        soft_count_ += last - first;
    } else {
        weights_.append_zeros(last - first);
    }
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
        const WcnfStorage copy = other;
        merge(copy);
        return;
    }
    const auto base = static_cast<std::int64_t>(literals_.size());
    literals_.append(other.literals_, 0, other.literals_.size());
    offsets_.append(other.offsets_, 1, other.offsets_.size(), base);
    weights_.append(other.weights_, 0, other.weights_.size());
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
    const std::int64_t removed_literals = offsets_[last] - offsets_[first];
    literals_.erase(static_cast<std::size_t>(offsets_[first]), static_cast<std::size_t>(offsets_[last]));
    // Offsets first+1 .. last ended removed clauses; the later ones move down.
    offsets_.erase(first + 1, last + 1, -removed_literals);
    std::size_t removed_soft = 0;
    weights_.visit(first, last, [&](Weight w) { removed_soft += w != 0; });
    soft_count_ -= removed_soft;
    weights_.erase(first, last);
    // The removed clauses may have held the largest variable.
    max_variable_ = largest_variable();
}

std::int64_t WcnfStorage::largest_variable() const {
    std::int64_t largest = 0;
    literals_.visit(0, literals_.size(), [&](Literal literal) { largest = std::max(largest, variable_of(literal)); });
    for (auto literal : prefatory_) largest = std::max(largest, variable_of(literal));
    return largest;
}

void WcnfStorage::insert_prefatory_value(Literal literal) {
    max_variable_ = std::max(max_variable_, variable_of(literal));
    prefatory_.push_back(literal);
}

void WcnfStorage::set_model_name(std::string name) { model_name_ = std::move(name); }
void WcnfStorage::set_variable_count(std::int64_t count) { variable_count_ = checked_count(count, "variable count"); }
void WcnfStorage::set_clause_count(std::int64_t count) { clause_count_ = checked_count(count, "clause count"); }
void WcnfStorage::set_weight_limit(std::int64_t limit) { weight_limit_ = checked_count(limit, "weight limit"); }

void WcnfStorage::checked_index(std::size_t index) const {
    if (index >= size()) {
        throw std::out_of_range("clause index " + std::to_string(index) + " out of range");
    }
}

std::size_t WcnfStorage::clause_size(std::size_t index) const {
    checked_index(index);
    return static_cast<std::size_t>(offsets_[index + 1] - offsets_[index]);
}

WcnfStorage::Weight WcnfStorage::top_weight() const {
    Weight sum = 0;
    weights_.visit(0, weights_.size(), [&](Weight weight) {
        if (weight > std::numeric_limits<Weight>::max() - 1 - sum) {
            throw std::overflow_error(
                "sum of soft weights + 1 exceeds the signed 64-bit range; no valid hard-clause weight exists");
        }
        sum += weight;
    });
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
    const bool weighted = soft_count_ != 0 || weight_limit_;
    const Weight top = weighted ? top_weight() : 0;
    out += weighted ? "p wcnf " : "p cnf ";
    append_decimal(out, variables);
    out += ' ';
    append_decimal(out, static_cast<std::int64_t>(size()));
    if (weighted) {
        out += ' ';
        append_decimal(out, top);
    }
    out += '\n';
    out.reserve(out.size() + literals_.size() * 8 + size() * (weighted ? 8 : 3));
    for (std::size_t i = 0; i < size(); ++i) {
        if (weighted) {
            const Weight weight = weights_[i];
            append_decimal(out, weight != 0 ? weight : top);
            out += ' ';
        }
        visit_clause(i, [&](Literal literal) {
            append_decimal(out, literal);
            out += ' ';
        });
        out += "0\n";
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
