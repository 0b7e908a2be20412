#include "kernels/numbered_template.hpp"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <utility>

#include "kernels/template_texts.hpp"

namespace tarvo::kernels {

namespace {

constexpr std::uint8_t kPositive = 1, kNegative = 2;

struct Refused {};

void require(bool condition) {
    if (!condition) throw Refused{};
}

std::size_t variable_of(std::int64_t literal) { return static_cast<std::size_t>(literal < 0 ? -literal : literal) - 1; }

// Variables as the formula's builder meets them: a paired number stands for
// its variable (two numbers paired with one variable are one variable), any
// other number for a new aux variable, named in order of first appearance.
class Variables {
public:
    Variables(const PairedVariable& paired, std::string_view prefix, std::int64_t next_index)
        : paired_(paired), prefix_(prefix), next_index_(next_index) {}

    // The literal +(v + 1) or -(v + 1) of a database literal.
    std::int64_t literal(std::int64_t number) {
        require(number != INT64_MIN);
        const auto v = static_cast<std::int64_t>(variable(number < 0 ? -number : number)) + 1;
        return number < 0 ? -v : v;
    }

    std::size_t count() const { return names_.size(); }
    std::int64_t next_index() const { return next_index_; }
    std::vector<std::string> take_names() { return std::move(names_); }

private:
    std::size_t variable(std::int64_t number) {
        const auto known = by_number_.find(number);
        if (known != by_number_.end()) return known->second;
        std::size_t v = names_.size();
        if (const auto variable = paired_(number)) {
            // Read as a variable reference by the literal texts, not as an aux variable.
            require(variable->name().find('(') != std::string::npos);
            const auto [found, added] = by_node_.try_emplace(variable.get(), v);
            if (added) names_.push_back(variable->name());
            v = found->second;
        } else {
            names_.push_back(std::string(prefix_) + "_" + std::to_string(next_index_));
            ++next_index_;
        }
        by_number_.emplace(number, v);
        return v;
    }

    const PairedVariable& paired_;
    std::string_view prefix_;
    std::int64_t next_index_;
    std::vector<std::string> names_;
    std::unordered_map<std::int64_t, std::size_t> by_number_;
    std::unordered_map<const corvane::dravo::Variable*, std::size_t> by_node_;
};

// A conjunct of the formula: a clause of two or more literals over distinct
// variables, or a unit literal.
struct Conjunct {
    std::size_t begin = 0, end = 0;  // its literals in Builder::literals_
    bool unit() const { return end - begin == 1; }
};

class Builder {
public:
    explicit Builder(Variables& variables) : variables_(variables) {}

    // or_s of one clause, then its place in the and_s of all clauses: a
    // clause with a variable and its negation is true and left out; a positive
    // literal met again in its clause is dropped, a negative one kept (each
    // negation is a node of its own), which leaves a clause that is not over
    // distinct variables. A unit clause is a literal of the conjunction, where
    // a repeated positive unit is dropped and a unit that meets its
    // negation makes the formula false.
    void add_clause(std::span<const std::int64_t> database_literals) {
        const std::size_t begin = literals_.size();
        ++clause_stamp_;
        bool repeated = false, tautology = false;
        for (const std::int64_t number : database_literals) {
            const std::int64_t literal = variables_.literal(number);
            const std::size_t v = variable_of(literal);
            grow(v);
            if (literal > 0) {
                if (positive_[v] == clause_stamp_) continue;
                tautology = tautology || negative_[v] == clause_stamp_;
                positive_[v] = clause_stamp_;
            } else {
                tautology = tautology || positive_[v] == clause_stamp_;
                repeated = repeated || negative_[v] == clause_stamp_;
                negative_[v] = clause_stamp_;
            }
            literals_.push_back(literal);
        }
        if (tautology) {
            literals_.resize(begin);  // every literal still named its variable
            return;
        }
        require(literals_.size() > begin);  // the empty clause: the formula is false
        const Conjunct conjunct{begin, literals_.size()};
        if (!conjunct.unit()) {
            require(!repeated);
            conjuncts_.push_back(conjunct);
            return;
        }
        const std::int64_t literal = literals_[begin];
        const std::size_t v = variable_of(literal);
        const std::uint8_t sign = literal > 0 ? kPositive : kNegative;
        require((unit_signs_[v] | sign) != (kPositive | kNegative));
        if (sign == kPositive && (unit_signs_[v] & kPositive)) {
            literals_.resize(begin);
            return;
        }
        unit_signs_[v] |= sign;
        conjuncts_.push_back(conjunct);
    }

    // The clause form that the transformation writes: the clauses in their
    // order, and the unit clauses of a variable right after the conjunct of
    // its last occurrence (those placed in one clause in the clause's literal
    // order), each sign once.
    NumberedTemplate take() {
        require(!conjuncts_.empty());  // no clause left: the formula is true
        std::vector<std::size_t> placed_at(variables_.count(), SIZE_MAX), rank(variables_.count(), 0);
        std::vector<std::vector<std::size_t>> after(conjuncts_.size());
        for (std::size_t c = conjuncts_.size(); c-- > 0;) {
            const Conjunct& conjunct = conjuncts_[c];
            for (std::size_t i = conjunct.end; i-- > conjunct.begin;) {
                const std::size_t v = variable_of(literals_[i]);
                if (unit_signs_[v] != 0 && placed_at[v] == SIZE_MAX) {
                    placed_at[v] = c;
                    rank[v] = i - conjunct.begin;
                    after[c].push_back(v);
                }
            }
        }
        NumberedTemplate result;
        result.literals.reserve(literals_.size());
        for (std::size_t c = 0; c < conjuncts_.size(); ++c) {
            const Conjunct& conjunct = conjuncts_[c];
            if (!conjunct.unit()) {
                result.literals.insert(result.literals.end(), literals_.begin() + static_cast<std::ptrdiff_t>(conjunct.begin),
                                       literals_.begin() + static_cast<std::ptrdiff_t>(conjunct.end));
                result.clause_ends.push_back(result.literals.size());
            }
            std::sort(after[c].begin(), after[c].end(), [&](std::size_t a, std::size_t b) { return rank[a] < rank[b]; });
            for (const std::size_t v : after[c]) {
                const auto literal = static_cast<std::int64_t>(v) + 1;
                if (unit_signs_[v] & kPositive) result.literals.push_back(literal);
                if (unit_signs_[v] & kNegative) result.literals.push_back(-literal);
                result.clause_ends.push_back(result.literals.size());
            }
        }
        result.next_index = variables_.next_index();
        result.names = variables_.take_names();
        return result;
    }

private:
    void grow(std::size_t v) {
        if (v < positive_.size()) return;
        positive_.resize(v + 1, 0);
        negative_.resize(v + 1, 0);
        unit_signs_.resize(v + 1, 0);
    }

    Variables& variables_;
    std::vector<std::int64_t> literals_;
    std::vector<Conjunct> conjuncts_;
    std::uint64_t clause_stamp_ = 0;
    std::vector<std::uint64_t> positive_, negative_;  // the clause that last held v, by sign
    std::vector<std::uint8_t> unit_signs_;
};

}  // namespace

std::vector<std::size_t> NumberedTemplate::support() const {
    std::vector<bool> seen(names.size(), false);
    std::vector<std::size_t> variables;
    for (const std::int64_t literal : literals) {
        const std::size_t v = variable_of(literal);
        if (!seen[v]) {
            seen[v] = true;
            variables.push_back(v);
        }
    }
    return variables;
}

LiteralTexts NumberedTemplate::literal_texts() const {
    LiteralTexts texts;
    // Literal +(v + 1) reads the text at position 2v, -(v + 1) the one at 2v + 1.
    std::vector<std::size_t> position(2 * names.size(), SIZE_MAX);
    texts.literals.reserve(literals.size());
    std::size_t begin = 0;
    for (const std::size_t end : clause_ends) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::size_t v = variable_of(literals[i]);
            std::size_t& slot = position[2 * v + (literals[i] < 0 ? 1 : 0)];
            if (slot == SIZE_MAX) {
                auto text = literal_text(literals[i] < 0 ? "~" + names[v] : names[v]);
                if (!text) throw std::logic_error("a numbered template holds a name that needs quoting");
                slot = texts.texts.size();
                texts.texts.push_back(std::move(*text));
            }
            texts.literals.push_back(slot);
        }
        texts.clause_ends.push_back(texts.literals.size());
        begin = end;
    }
    return texts;
}

std::optional<NumberedTemplate> numbered_template(std::span<const std::int64_t> database, const PairedVariable& paired,
                                                  std::string_view prefix, std::int64_t next_index) {
    // Aux names are quoted in the literal texts; "(" would make them references.
    if (!std::all_of(prefix.begin(), prefix.end(),
                     [](char c) { return c >= ' ' && c < 0x7f && c != '\'' && c != '\\' && c != '('; })) {
        return std::nullopt;
    }
    Variables variables(paired, prefix, next_index);
    Builder builder(variables);
    try {
        std::size_t begin = 0;
        for (std::size_t i = 0; i < database.size(); ++i) {
            if (database[i] != 0) continue;
            builder.add_clause(database.subspan(begin, i - begin));
            begin = i + 1;
        }
        return builder.take();
    } catch (const Refused&) {
        return std::nullopt;
    }
}

}  // namespace tarvo::kernels
