#include "kernels/distinct_variables.hpp"

#include <algorithm>

#include "engine/dravo/text.hpp"

namespace tarvo::kernels {

namespace {

using corvane::dravo::Expr;
using corvane::dravo::Kind;
using corvane::dravo::Node;
using corvane::dravo::Variable;

const Variable* literal_variable(const Node& node) {
    const Node* operand = node.kind() == Kind::Not ? node.args().front().get() : &node;
    return operand->kind() == Kind::Variable ? static_cast<const Variable*>(operand) : nullptr;
}

// Appends the variables of a clause (a constant has none); false when it is
// not a clause.
bool append_clause(const Node& clause, std::vector<const Variable*>& out) {
    if (clause.kind() != Kind::Or) {
        const Variable* variable = literal_variable(clause);
        if (variable != nullptr) out.push_back(variable);
        return variable != nullptr || clause.is_constant();
    }
    for (const Expr& literal : clause.args()) {
        const Variable* variable = literal_variable(*literal);
        if (variable == nullptr) return false;
        out.push_back(variable);
    }
    return true;
}

}  // namespace

std::vector<const Variable*> distinct_variables(const Node& formula) {
    std::vector<const Variable*> variables;
    bool flat = true;
    if (formula.kind() == Kind::And) {
        for (const Expr& clause : formula.args()) flat = flat && append_clause(*clause, variables);
    } else {
        flat = append_clause(formula, variables);
    }
    if (!flat) {
        variables.clear();
        for (const auto& variable : corvane::dravo::support(formula.shared_from_this())) variables.push_back(variable.get());
        return variables;
    }
    std::sort(variables.begin(), variables.end());
    variables.erase(std::unique(variables.begin(), variables.end()), variables.end());
    return variables;
}

}  // namespace tarvo::kernels
