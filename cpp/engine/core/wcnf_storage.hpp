#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/core/packed_ints.hpp"

namespace corvane {

// Weighted-CNF clause store with a DIMACS-style header.
//
// Clauses live in one flat literal buffer with an offset table, so adding a
// clause costs no allocation per clause. Hard and soft clauses share that
// table and keep the order in which they were added; a soft clause carries a
// positive weight, a hard clause the weight 0 internally. Literals, offsets
// and weights are each kept no wider than their largest value needs
// (packed_ints.hpp): 32-bit literals and offsets for all but huge models,
// and no weights at all while every clause is hard.
//
// Every mutator validates its input and throws instead of storing a value
// that no DIMACS reader could take:
//   std::invalid_argument  literal 0, soft weight <= 0, negative header value
//   std::out_of_range      a clause index or range beyond the stored clauses
//   std::overflow_error    a literal whose negation does not fit (INT64_MIN),
//                          a top weight (sum of soft weights + 1) beyond
//                          INT64_MAX in to_dimacs: MaxSAT readers take
//                          weights as signed 64-bit numbers
class WcnfStorage {
public:
    using Literal = std::int64_t;
    using Weight = std::int64_t;  // soft weights are positive

    // Room for `clauses` more clauses of `literals` literals in all, so that
    // a writer that knows its size needs no spare room.
    void reserve(std::size_t clauses, std::size_t literals);

    void add_hard_clause(std::span<const Literal> literals);
    void add_soft_clause(std::span<const Literal> literals, Weight weight);

    // Appends clauses [first, last) of a packed clause list, clause k being
    // literals[ends[k - 1], ends[k]) (from 0 for k = 0): hard clauses without
    // `weights`, else soft ones with weights[k - first]. Checked in full, as
    // the adds check each clause, before anything is stored.
    void append_clauses(const PackedInts& literals, const PackedInts& ends, std::size_t first, std::size_t last,
                        const PackedInts* weights);

    // Appends all clauses (with their weights) and prefatory values of
    // `other`; the header of this storage is left as it is.
    void merge(const WcnfStorage& other);

    // Removes the clauses [first, first + count) and keeps the order of the
    // others; prefatory values and the header stay. Linear in the stored
    // size. A range beyond the stored clauses throws and removes nothing.
    void remove_clauses(std::size_t first, std::size_t count);

    // A signed literal recorded beside the clauses (e.g. a phase hint); it
    // does not constrain the formula and is written as a comment line.
    void insert_prefatory_value(Literal literal);

    void set_model_name(std::string name);
    void set_variable_count(std::int64_t count);
    void set_clause_count(std::int64_t count);
    void set_weight_limit(std::int64_t limit);

    const std::string& model_name() const { return model_name_; }
    std::optional<std::int64_t> variable_count() const { return variable_count_; }
    std::optional<std::int64_t> clause_count() const { return clause_count_; }
    std::optional<std::int64_t> weight_limit() const { return weight_limit_; }

    // Clause access in insertion order; `is_soft(i)` tells the kind and
    // `weight(i)` the soft weight (0 for a hard clause).
    std::size_t size() const { return offsets_.size() - 1; }
    std::size_t clause_size(std::size_t index) const;
    // Calls visit(literal) for each literal of clause `index`, in order.
    template <typename Visit>
    void visit_clause(std::size_t index, Visit&& visit) const {
        clause_size(index);  // checks the index
        literals_.visit(static_cast<std::size_t>(offsets_[index]), static_cast<std::size_t>(offsets_[index + 1]),
                        visit);
    }
    Weight weight(std::size_t index) const { return checked_index(index), weights_[index]; }
    bool is_soft(std::size_t index) const { return weight(index) != 0; }
    std::size_t soft_clause_count() const { return soft_count_; }
    std::size_t hard_clause_count() const { return size() - soft_count_; }

    const std::vector<Literal>& prefatory_values() const { return prefatory_; }

    // Largest |literal| over clauses and prefatory values (0 when empty).
    std::int64_t max_variable() const { return max_variable_; }

    // DIMACS text: "p cnf" when neither a soft clause nor a weight limit is
    // stored (a weighted build always sets the limit), else "p wcnf V C TOP"
    // with every hard clause weighted TOP. V is the larger of the variable
    // count set and the largest variable used; C is the number of stored
    // clauses; TOP is the weight limit when it exceeds the sum of soft
    // weights, else that sum + 1.
    std::string to_dimacs() const;
    // Writes to_dimacs() to `path`; throws std::system_error when the file
    // cannot be written.
    void write_dimacs(const std::string& path) const;

private:
    void append_clause(std::span<const Literal> literals, Weight weight);
    Weight top_weight() const;
    void checked_index(std::size_t index) const;
    std::int64_t largest_variable() const;

    PackedInts literals_{4};
    PackedInts offsets_ = first_offset();  // clause i is [offsets_[i], offsets_[i+1])
    PackedInts weights_;                   // width 0 while every clause is hard
    static PackedInts first_offset() {
        PackedInts offsets(4);
        offsets.push_back(0);
        return offsets;
    }
    std::size_t soft_count_ = 0;
    std::vector<Literal> prefatory_;
    std::int64_t max_variable_ = 0;

    std::string model_name_;
    std::optional<std::int64_t> variable_count_;
    std::optional<std::int64_t> clause_count_;
    std::optional<std::int64_t> weight_limit_;
};

}  // namespace corvane
