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

// The operand graph that the transformation builds for such a formula: the
// root, one slot per distinct clause node and per distinct variable, and
// the order in which it writes them (reversed depth-first post-order, the
// operands entered right to left).
class ClauseFormOrder {
public:
    bool read(const Expr& formula) {
        slots_.push_back({nullptr, {}, 0, false});  // the root
        if (formula->kind() == Kind::And) {
            for (const Expr& conjunct : formula->args()) {
                if (!add_conjunct(conjunct)) return false;
            }
        } else if (!add_conjunct(formula)) {
            return false;
        }
        return true;
    }

    std::vector<Expr> conjuncts() {
        std::vector<Expr> written;
        for (std::uint32_t slot : order()) {
            Slot& s = slots_[slot];
            if (s.node == nullptr) continue;  // the root
            if (s.node->kind() == Kind::Or) {
                written.push_back(s.node->shared_from_this());
                continue;
            }
            if (s.required & kPositive) written.push_back(s.node->shared_from_this());
            if (s.required & kNegative) written.push_back(corvane::dravo::negate(s.node->shared_from_this()));
        }
        return written;
    }

private:
    struct Slot {
        const Node* node;  // a clause (Or) or a variable; nullptr for the root
        std::vector<std::uint32_t> operands;
        std::uint8_t required;  // units demanding the variable true / false
        bool seen;
    };

    std::uint32_t slot_of(const Node* node) {
        const auto [it, inserted] = index_.try_emplace(node, static_cast<std::uint32_t>(slots_.size()));
        if (inserted) slots_.push_back({node, {}, 0, false});
        return it->second;
    }

    bool add_conjunct(const Expr& conjunct) {
        if (conjunct->kind() == Kind::Or) {
            // One literal or none: the transformation writes a unit or the empty clause instead.
            if (conjunct->args().size() < 2) return false;
            const bool known = index_.contains(conjunct.get());
            const std::uint32_t clause = slot_of(conjunct.get());
            slots_[0].operands.push_back(clause);
            if (known) return true;
            std::vector<const Node*> variables;
            for (const Expr& literal : conjunct->args()) {
                const auto read = literal_of(*literal);
                if (!read) return false;
                variables.push_back(read->first);
                const std::uint32_t variable = slot_of(read->first);
                slots_[clause].operands.push_back(variable);
            }
            std::sort(variables.begin(), variables.end());
            return std::adjacent_find(variables.begin(), variables.end()) == variables.end();
        }
        const auto read = literal_of(*conjunct);
        if (!read) return false;
        const std::uint32_t variable = slot_of(read->first);
        slots_[variable].required |= read->second ? kNegative : kPositive;
        slots_[0].operands.push_back(variable);
        return true;
    }

    std::vector<std::uint32_t> order() {
        std::vector<std::pair<std::uint32_t, std::size_t>> stack{{0, 0}};
        std::vector<std::uint32_t> post;
        slots_[0].seen = true;
        while (!stack.empty()) {
            auto& [slot, done] = stack.back();
            const auto& operands = slots_[slot].operands;
            if (done == operands.size()) {
                post.push_back(slot);
                stack.pop_back();
                continue;
            }
            const std::uint32_t child = operands[operands.size() - 1 - done];
            ++done;
            if (!slots_[child].seen) {
                slots_[child].seen = true;
                stack.push_back({child, 0});
            }
        }
        std::reverse(post.begin(), post.end());
        return post;
    }

    std::vector<Slot> slots_;
    std::unordered_map<const Node*, std::uint32_t> index_;
};

}  // namespace

std::optional<Expr> transformed_clause_form(const Expr& formula) {
    ClauseFormOrder order;
    if (!order.read(formula)) return std::nullopt;
    std::vector<Expr> conjuncts = order.conjuncts();
    if (conjuncts.empty()) return std::nullopt;  // left to the transformation
    return conjuncts.size() == 1 ? conjuncts.front() : corvane::dravo::and_(std::move(conjuncts));
}

}  // namespace tarvo::kernels
