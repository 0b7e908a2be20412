#include "kernels/small_comparison.hpp"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/dravo/clause_conjunction.hpp"

namespace tarvo::kernels {

namespace {

using corvane::kelpa::Comparator;
using corvane::kelpa::Lit;

std::optional<Comparator> comparator_named(std::string_view name) {
    if (name == "LEQ") return Comparator::LEQ;
    if (name == "GEQ") return Comparator::GEQ;
    if (name == "BOTH") return Comparator::BOTH;
    return std::nullopt;
}

// The weight that the member's PB variable carries: its coefficient, negated when subtracted.
std::int64_t member_weight(const FlatSumMember& member) {
    const std::int64_t weight = member.scaled ? member.coefficient : 1;
    return member.subtracted ? -weight : weight;
}

// The reference text that the manager names the member's element by.
std::string reference_text(const FlatSumText& read, const FlatSumMember& member) {
    return element_reference(read.names[member.name],
                             std::span<const std::int64_t>(read.indexes).subspan(member.first_index, member.index_count));
}

// The encoder's clauses of a comparison of this shape, members numbered
// from 1 in text order and aux numbers after them; nullopt when the encoder
// refuses the comparison (the evaluation road raises it as it always does).
std::optional<std::vector<Lit>> encoded_database(const ComparisonShape& shape, const corvane::kelpa::PBConfig& config) {
    corvane::kelpa::PBConstraint constraint{{}, shape.comparator, shape.bound};
    corvane::kelpa::ClauseBuffer database;
    try {
        corvane::kelpa::AuxVarManager numbers(shape.first);
        for (const std::int64_t weight : shape.weights) constraint.terms.push_back({numbers.get_variable(), weight});
        corvane::kelpa::encode(constraint, config, numbers, database);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::vector<Lit> renumbered;
    renumbered.reserve(database.literals().size());
    for (const Lit literal : database.literals()) {
        renumbered.push_back(literal == 0 ? 0 : literal > 0 ? literal - shape.first + 1 : literal + shape.first - 1);
    }
    return renumbered;
}

}  // namespace

std::size_t ComparisonShapeHash::operator()(const ComparisonShape& shape) const {
    std::size_t hash = std::hash<std::int64_t>{}(shape.bound);
    const auto mix = [&hash](std::int64_t value) {
        hash ^= std::hash<std::int64_t>{}(value) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    };
    for (const std::int64_t weight : shape.weights) mix(weight);
    mix(static_cast<std::int64_t>(shape.comparator));
    mix(static_cast<std::int64_t>(shape.encoder));
    mix(shape.max_clauses);
    mix(shape.first);
    return hash;
}

// The members' flat element numbers, or nullopt when some member is not a
// distinct declared element with a negation.
std::optional<std::vector<std::int64_t>> SmallComparisonReader::element_numbers(const FlatSumText& read) const {
    std::vector<std::int64_t> numbers;
    numbers.reserve(read.members.size());
    for (const FlatSumMember& member : read.members) {
        const DeclaredVariable* variable = variables_.find(read.names[member.name]);
        if (variable == nullptr) return std::nullopt;
        const auto number = variable->number(
            std::span<const std::int64_t>(read.indexes).subspan(member.first_index, member.index_count));
        if (!number || *number <= 0) return std::nullopt;
        if (std::find(numbers.begin(), numbers.end(), *number) != numbers.end()) return std::nullopt;
        numbers.push_back(*number);
    }
    return numbers;
}

const std::optional<SmallComparisonReader::ShapeEncoding>& SmallComparisonReader::shape_encoding(
    const FlatSumText& read, const corvane::kelpa::PBConfig& config, const corvane::kelpa::AuxVarManager& numbers) {
    static const std::optional<ShapeEncoding> none;
    const auto comparator = comparator_named(read.comparator);
    if (!comparator) return none;
    ComparisonShape shape{{}, *comparator, read.bound, config.pb_encoder, config.max_clauses_per_constraint,
                          numbers.next_variable()};
    shape.weights.reserve(read.members.size());
    for (const FlatSumMember& member : read.members) shape.weights.push_back(member_weight(member));
    const auto known = shapes_.find(shape);
    if (known != shapes_.end()) return known->second;

    std::optional<ShapeEncoding> encoding;
    if (auto database = encoded_database(shape, config)) {
        const auto members = static_cast<Lit>(shape.weights.size());
        const bool aux = std::any_of(database->begin(), database->end(), [members](Lit literal) {
            return literal > members || literal < -members;
        });
        // Without aux variables the clause form is the shape's; with them, the
        // names of the members take part in it and it is made for each comparison.
        if (aux) {
            encoding = ShapeEncoding{std::nullopt, std::move(*database)};
        } else if (auto clause_form = corvane::dravo::conjunction_clause_form(*database)) {
            encoding = ShapeEncoding{std::move(clause_form), {}};
        }
    }
    const std::size_t literals =
        !encoding ? 0 : encoding->clause_form ? encoding->clause_form->literals.size() : encoding->database.size();
    if (shapes_.size() >= kMaxShapesKept || literals_kept_ + literals > kMaxLiteralsKept) {
        shapes_.clear();
        literals_kept_ = 0;
    }
    literals_kept_ += literals;
    return shapes_.emplace(std::move(shape), std::move(encoding)).first->second;
}

std::optional<std::vector<SoftTerm>> SmallComparisonReader::soft_terms(std::string_view text) const {
    const auto read = read_flat_sum_text(text, SumShapes::listed_or_chained);
    if (!read || !read->objective || read->members.size() > kMaxSmallComparisonMembers) return std::nullopt;
    const auto elements = element_numbers(*read);
    if (!elements) return std::nullopt;
    std::vector<SoftTerm> terms;
    terms.reserve(read->members.size());
    for (std::size_t k = 0; k < read->members.size(); ++k) {
        const FlatSumMember& member = read->members[k];
        std::int64_t weight;
        if (__builtin_mul_overflow(member_weight(member), read->weight, &weight)) return std::nullopt;
        terms.push_back({(*elements)[k], reference_text(*read, member), weight});
    }
    return terms;
}

std::optional<SmallComparisonEncoding> SmallComparisonReader::encode(std::string_view text,
                                                                     const corvane::kelpa::PBConfig& config,
                                                                     const corvane::kelpa::AuxVarManager& numbers,
                                                                     std::int64_t aux_index,
                                                                     corvane::WcnfStorage& storage) {
    const auto read = read_flat_sum_text(text, SumShapes::listed_or_chained);
    if (!read || read->objective || read->members.size() > kMaxSmallComparisonMembers) return std::nullopt;
    const auto elements = element_numbers(*read);
    if (!elements) return std::nullopt;
    const auto& shape = shape_encoding(*read, config, numbers);
    if (!shape) return std::nullopt;
    std::vector<std::string> names;
    names.reserve(read->members.size());
    for (const FlatSumMember& member : read->members) names.push_back(reference_text(*read, member));

    SmallComparisonEncoding encoding;
    if (shape->clause_form) {
        store_instance(*shape->clause_form, *elements, storage);
        encoding.form.names = std::move(names);
        encoding.form.literals = shape->clause_form->literals;
        encoding.form.clause_ends = shape->clause_form->clause_ends;
        encoding.form.next_index = aux_index;
        encoding.expanded = true;
        return encoding;
    }
    const PairedVariable paired = [&names](std::int64_t number) -> std::optional<PairedName> {
        if (number < 1 || number > static_cast<std::int64_t>(names.size())) return std::nullopt;
        const std::string& name = names[static_cast<std::size_t>(number - 1)];
        return PairedName{&name, name};
    };
    auto form = numbered_template(shape->database, paired, aux_prefix_, aux_index);
    if (!form) return std::nullopt;
    encoding.aux_count = form->next_index - aux_index;
    encoding.form = std::move(*form);
    return encoding;
}

}  // namespace tarvo::kernels
