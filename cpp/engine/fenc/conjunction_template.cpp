#include "engine/fenc/conjunction_template.hpp"

#include <vector>

#include "engine/dravo/clause_conjunction.hpp"

namespace corvane::fenc {
namespace {

// The conjuncts of a shape in order, as its nodes: kCompare, kLiteral, or
// kLiteral then kNot (the variable negated), where kAnd nodes alone join
// them; empty for any other shape. and_s takes the operands of a nested
// and_s as its own, so the nesting does not matter.
std::vector<ShapeNode> conjuncts_of(std::span<const std::int64_t> shape) {
    std::vector<ShapeNode> conjuncts;
    std::size_t formulas = 0;     // on the shape's stack
    bool literal_on_top = false;  // the latest formula is a kLiteral
    for (ShapeReader reader(shape); !reader.done();) {
        const ShapeNode node = reader.next();
        switch (node.token) {
            case kCompare:
            case kLiteral:
                conjuncts.push_back(node);
                ++formulas;
                literal_on_top = node.token == kLiteral;
                break;
            case kNot:
                // Only a literal's negation; under kNot a comparison would have to fail.
                if (!literal_on_top) return {};
                conjuncts.back().variable = -conjuncts.back().variable;
                literal_on_top = false;
                break;
            case kAnd:
                if (node.operands > formulas) return {};
                formulas = formulas - node.operands + 1;
                literal_on_top = false;
                break;
            default: return {};
        }
    }
    if (formulas != 1) return {};
    return conjuncts;
}

}  // namespace

kelpa::PBConstraint comparison_of(const ShapeNode& node) {
    kelpa::PBConstraint constraint;
    constraint.comparator = static_cast<kelpa::Comparator>(node.comparator);
    constraint.bound = node.bound;
    for (std::size_t k = 0; k < node.term_count(); ++k) {
        const WeightedVar term = node.term(k);
        constraint.terms.push_back({term.var, term.weight});
    }
    return constraint;
}

std::optional<ClauseTemplate> conjunction_template(std::span<const std::int64_t> shape, std::int64_t variables,
                                                   const kelpa::PBConfig& config, InterruptionPoll& poll) {
    const std::vector<ShapeNode> conjuncts = conjuncts_of(shape);
    if (conjuncts.empty()) return std::nullopt;
    kelpa::AuxVarManager aux(variables + 1);
    kelpa::ClauseBuffer database;
    for (const ShapeNode& conjunct : conjuncts) {
        if (conjunct.token == kCompare) {
            kelpa::encode(comparison_of(conjunct), config, aux, database);
        } else {
            database.add_clause({conjunct.variable});
        }
    }
    const auto clauses = dravo::conjunction_clause_form(database.literals());
    if (!clauses) return std::nullopt;
    ClauseTemplate t;
    t.variables = variables;
    t.pb_aux = aux.next_variable() - (variables + 1);
    std::size_t begin = 0;
    for (const std::size_t end : clauses->clause_ends) {
        poll.step();
        t.clauses.add(std::span(clauses->literals).subspan(begin, end - begin));
        begin = end;
    }
    return t;
}

}  // namespace corvane::fenc
