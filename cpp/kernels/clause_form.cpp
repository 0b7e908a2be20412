#include "kernels/clause_form.hpp"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/dravo/build.hpp"

namespace tarvo::kernels {

namespace {

using corvane::dravo::Expr;
using corvane::dravo::Kind;
using corvane::dravo::Node;

constexpr std::uint8_t kPositive = 1, kNegative = 2;

// A variable or a negated variable: the variable node and whether it is negated.
std::optional<std::pair<const Node*, bool>> literal_of(const Node& node) {
    const bool negated = node.kind() == Kind::Not;
    const Node* operand = negated ? node.args().front().get() : &node;
    if (operand->kind() != Kind::Variable) return std::nullopt;
    return std::make_pair(operand, negated);
}

// A clause of at least two literals over distinct variables.
bool is_clause(const Node& node, std::vector<const Node*>& scratch) {
    if (node.kind() != Kind::Or || node.args().size() < 2) return false;
    scratch.clear();
    for (const Expr& literal : node.args()) {
        const auto read = literal_of(*literal);
        if (!read) return false;
        scratch.push_back(read->first);
    }
    std::sort(scratch.begin(), scratch.end());
    return std::adjacent_find(scratch.begin(), scratch.end()) == scratch.end();
}

// One unit variable: the signs its unit clauses demand, and where the
// transformation writes them: after conjunct `conjunct`, as the
// `rank`-th literal of that clause (a unit conjunct has rank 0).
struct Unit {
    std::uint8_t signs = 0;
    std::size_t conjunct = 0;
    std::size_t rank = 0;
    bool placed = false;
};

}  // namespace

// The transformation numbers the operand graph (the root, each distinct
// clause node, each variable) in reversed depth-first post-order, operands
// entered right to left, and writes each node's clauses in that order. For
// a root And over clauses and unit literals this means: the clauses in
// their order, a clause node met twice at its last place, and the unit
// clauses of a variable right after the conjunct of its last occurrence,
// those met inside one clause in the clause's literal order.
std::optional<Expr> transformed_clause_form(const Expr& formula) {
    const std::vector<Expr> single{formula};
    const std::vector<Expr>& conjuncts = formula->kind() == Kind::And ? formula->args() : single;
    if (conjuncts.empty()) return std::nullopt;
    std::unordered_map<const Node*, Unit> units;
    std::vector<const Node*> scratch, clause_nodes;
    for (const Expr& conjunct : conjuncts) {
        if (conjunct->kind() == Kind::Or) {
            if (!is_clause(*conjunct, scratch)) return std::nullopt;
            clause_nodes.push_back(conjunct.get());
            continue;
        }
        const auto read = literal_of(*conjunct);
        if (!read) return std::nullopt;
        units[read->first].signs |= read->second ? kNegative : kPositive;
    }
    std::sort(clause_nodes.begin(), clause_nodes.end());
    const bool repeated_clauses = std::adjacent_find(clause_nodes.begin(), clause_nodes.end()) != clause_nodes.end();
    // Written as it stands, but for an And of one clause, which becomes that clause.
    if (units.empty() && !repeated_clauses && conjuncts.size() != 1) return formula;

    // The last place of each unit variable and of each repeated clause node.
    std::unordered_map<const Node*, std::size_t> last_clause;
    std::size_t to_place = units.size();
    for (std::size_t c = conjuncts.size(); c-- > 0;) {
        const Node& conjunct = *conjuncts[c];
        if (conjunct.kind() == Kind::Or) {
            if (repeated_clauses) last_clause.try_emplace(&conjunct, c);
            const auto& literals = conjunct.args();
            for (std::size_t r = literals.size(); to_place > 0 && r-- > 0;) {
                const auto found = units.find(literal_of(*literals[r])->first);
                if (found != units.end() && !found->second.placed) {
                    found->second = {found->second.signs, c, r, true};
                    --to_place;
                }
            }
        } else {
            Unit& unit = units[literal_of(conjunct)->first];
            if (!unit.placed) {
                unit = {unit.signs, c, 0, true};
                --to_place;
            }
        }
    }
    std::vector<std::vector<std::pair<std::size_t, const Node*>>> after(conjuncts.size());
    for (const auto& [variable, unit] : units) after[unit.conjunct].emplace_back(unit.rank, variable);
    std::vector<Expr> written;
    for (std::size_t c = 0; c < conjuncts.size(); ++c) {
        const Node& conjunct = *conjuncts[c];
        if (conjunct.kind() == Kind::Or && (!repeated_clauses || last_clause.at(&conjunct) == c)) {
            written.push_back(conjuncts[c]);
        }
        std::sort(after[c].begin(), after[c].end());
        for (const auto& [rank, variable] : after[c]) {
            const Unit& unit = units.at(variable);
            if (unit.signs & kPositive) written.push_back(variable->shared_from_this());
            if (unit.signs & kNegative) written.push_back(corvane::dravo::negate(variable->shared_from_this()));
        }
    }
    return written.size() == 1 ? written.front() : corvane::dravo::and_(std::move(written));
}

}  // namespace tarvo::kernels
