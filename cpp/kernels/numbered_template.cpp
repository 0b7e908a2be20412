#include "kernels/numbered_template.hpp"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <utility>

#include "engine/dravo/clause_conjunction.hpp"
#include "kernels/python_names.hpp"
#include "kernels/template_texts.hpp"

namespace tarvo::kernels {

namespace {

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

    std::int64_t next_index() const { return next_index_; }
    std::vector<std::string> take_names() { return std::move(names_); }

private:
    std::size_t variable(std::int64_t number) {
        const auto known = by_number_.find(number);
        if (known != by_number_.end()) return known->second;
        std::size_t v = names_.size();
        if (const auto variable = paired_(number)) {
            // Read as a variable reference by the literal texts, not as an aux variable.
            require(variable->name.find('(') != std::string_view::npos);
            const auto [found, added] = by_identity_.try_emplace(variable->identity, v);
            if (added) names_.emplace_back(variable->name);
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
    std::unordered_map<const void*, std::size_t> by_identity_;
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

std::optional<CompiledTemplate> compile_instance(const NumberedTemplate& numbered,
                                                 const std::vector<std::int64_t>& weights,
                                                 const DeclaredVariables& variables, const AuxNumbering& numbering) {
    if (weights.size() < numbered.clause_count()) return std::nullopt;
    // In order of first appearance: the aux variables enter in the order that the literal texts give them.
    const std::vector<std::size_t> order = numbered.support();
    LiteralTexts names;
    names.texts.reserve(order.size());
    for (const std::size_t v : order) {
        auto text = literal_text(numbered.names[v]);
        if (!text) throw std::logic_error("a numbered template holds a name that needs quoting");
        names.literals.push_back(names.texts.size());
        names.texts.push_back(std::move(*text));
    }
    names.clause_ends.push_back(names.literals.size());
    auto compiled = compile_template(names, {0}, {}, variables, numbering);
    if (!compiled) return std::nullopt;
    std::vector<TemplateLiteral> by_variable(numbered.names.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const TemplateLiteral& literal = compiled->clauses[0].literals[i];
        if (literal.negated) return std::nullopt;  // a name that reads as a negation: left to the texts
        by_variable[order[i]] = literal;
    }
    compiled->clauses.clear();
    compiled->clauses.reserve(numbered.clause_count());
    std::size_t begin = 0;
    for (std::size_t c = 0; c < numbered.clause_count(); ++c) {
        TemplateClause& clause = compiled->clauses.emplace_back();
        clause.weight = weights[c];
        clause.literals.reserve(numbered.clause_ends[c] - begin);
        for (std::size_t i = begin; i < numbered.clause_ends[c]; ++i) {
            clause.literals.push_back(by_variable[variable_of(numbered.literals[i])]);
            clause.literals.back().negated = numbered.literals[i] < 0;
        }
        begin = numbered.clause_ends[c];
    }
    return compiled;
}

std::optional<NumberedTemplate> numbered_template(std::span<const std::int64_t> database, const PairedVariable& paired,
                                                  std::string_view prefix, std::int64_t next_index) {
    // Aux names are quoted in the literal texts; "(" would make them references.
    if (!std::all_of(prefix.begin(), prefix.end(),
                     [](char c) { return is_plain_quoted_char(c) && c != '('; })) {
        return std::nullopt;
    }
    Variables variables(paired, prefix, next_index);
    corvane::dravo::ConjunctionClauseForm form;
    std::vector<std::int64_t> clause;
    try {
        for (const std::int64_t number : database) {
            if (number != 0) {
                clause.push_back(variables.literal(number));
                continue;
            }
            if (!form.add_clause(clause)) return std::nullopt;
            clause.clear();
        }
    } catch (const Refused&) {
        return std::nullopt;
    }
    auto clauses = form.take();
    if (!clauses) return std::nullopt;
    NumberedTemplate result;
    result.literals = std::move(clauses->literals);
    result.clause_ends = std::move(clauses->clause_ends);
    result.next_index = variables.next_index();
    result.names = variables.take_names();
    return result;
}

}  // namespace tarvo::kernels
