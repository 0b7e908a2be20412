#include "engine/dravo/transformer.hpp"

#include <bit>
#include <limits>
#include <unordered_map>
#include <utility>

namespace corvane::dravo {

namespace {

constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();
constexpr Literal kTrue = ClauseBuffer::kTrue, kFalse = ClauseBuffer::kFalse;

constexpr std::uint8_t kPos = 1, kNeg = 2, kBoth = 3;
std::uint8_t flip(std::uint8_t s) { return static_cast<std::uint8_t>(((s & kPos) ? kNeg : 0) | ((s & kNeg) ? kPos : 0)); }
std::uint8_t apply(std::uint8_t s, bool negated) { return negated ? flip(s) : s; }

bool is_junction(Kind k) { return k == Kind::And || k == Kind::Or || k == Kind::Impl; }
bool is_leaf(Kind k) { return k == Kind::Variable || k == Kind::Zero || k == Kind::One; }

// Effective junction of a node read with a sign: ~And is a disjunction,
// Impl(p, q) is Or(~p, q), ~Impl(p, q) is And(p, ~q).
Kind effective_junction(Kind k, bool negated) {
    const bool conjunction = k == Kind::And ? !negated : negated;
    return conjunction ? Kind::And : Kind::Or;
}

}  // namespace

Transformer::Transformer(const Expr& root) {
    index_nodes(root.get());
    std::uint32_t top = 0;
    bool negated = false;
    while (nodes_[top]->kind() == Kind::Not) {
        top = children_[first_child_[top]];
        negated = !negated;
    }
    const std::uint32_t root_slot = slot_for(top);
    order_operand_graph(root_slot);
    slots_[root_slot].required = negated ? kNeg : kPos;
    assign_polarities();
    write_clauses();
}

std::vector<const Variable*> Transformer::variables() const {
    std::vector<const Variable*> vars;
    for (const Node* n : nodes_)
        if (n->kind() == Kind::Variable) vars.push_back(static_cast<const Variable*>(n));
    return vars;
}

void Transformer::index_nodes(const Node* root) {
    std::unordered_map<const Node*, std::uint32_t> number{{root, 0}};
    nodes_.push_back(root);
    references_.push_back(0);
    // Nodes are expanded in numbering order, so each one's children form
    // one contiguous run of children_.
    for (std::uint32_t i = 0; i < nodes_.size(); ++i) {
        first_child_.push_back(static_cast<std::uint32_t>(children_.size()));
        for (const Expr& child : nodes_[i]->args()) {
            auto [it, inserted] = number.try_emplace(child.get(), static_cast<std::uint32_t>(nodes_.size()));
            if (inserted) {
                nodes_.push_back(child.get());
                references_.push_back(0);
            }
            ++references_[it->second];
            children_.push_back(it->second);
        }
    }
    slot_of_.assign(nodes_.size(), kNoSlot);
}

std::uint32_t Transformer::slot_for(std::uint32_t node) {
    if (slot_of_[node] == kNoSlot) {
        slot_of_[node] = static_cast<std::uint32_t>(slots_.size());
        slots_.push_back(Slot{nodes_[node], node});
    }
    return slot_of_[node];
}

// Pushes the children of a node read with the given sign, last first; the
// premise of an implication is read negated.
void Transformer::push_children(std::uint32_t node, bool negated) {
    const Node* n = nodes_[node];
    const std::uint32_t first = first_child_[node];
    for (std::size_t i = n->args().size(); i-- > 0;) {
        const std::uint32_t child = children_[first + i];
        const bool flip_premise = n->kind() == Kind::Impl && i == 0;
        pending_.push_back({child, negated != flip_premise, references_[child] == 1});
    }
}

void Transformer::collect_operands(std::uint32_t slot) {
    const Kind kind = slots_[slot].node->kind();
    const auto first = static_cast<std::uint32_t>(operands_.size());
    slots_[slot].first_operand = first;
    if (is_leaf(kind)) return;
    const bool junction = is_junction(kind);
    const Kind effective = junction ? effective_junction(kind, false) : kind;
    push_children(slots_[slot].number, false);
    while (!pending_.empty()) {
        Pending p = pending_.back();
        pending_.pop_back();
        while (nodes_[p.node]->kind() == Kind::Not) {
            p.node = children_[first_child_[p.node]];
            p.negated = !p.negated;
            p.single_use = p.single_use && references_[p.node] == 1;
        }
        const Kind k = nodes_[p.node]->kind();
        if (junction && p.single_use && is_junction(k) && effective_junction(k, p.negated) == effective) {
            push_children(p.node, p.negated);
            continue;
        }
        operands_.push_back({slot_for(p.node), p.negated});
    }
    Slot& s = slots_[slot];
    s.junction = effective;
    s.operand_count = static_cast<std::uint32_t>(operands_.size()) - first;
}

void Transformer::order_operand_graph(std::uint32_t root) {
    // Iterative depth-first search; operands are entered right to left so
    // that the reversed post-order lists a tree in reading order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack{{root, 0}};
    std::vector<std::uint32_t> post;
    while (!stack.empty()) {
        auto& [slot, done] = stack.back();
        if (slots_[slot].state == 0) {
            slots_[slot].state = 1;
            collect_operands(slot);
        }
        const Slot& s = slots_[slot];
        if (done == s.operand_count) {
            slots_[slot].state = 2;
            post.push_back(slot);
            stack.pop_back();
            continue;
        }
        const std::uint32_t child = operands_[s.first_operand + s.operand_count - 1 - done].slot;
        ++done;
        if (slots_[child].state == 0) stack.push_back({child, 0});
    }
    order_.assign(post.rbegin(), post.rend());
}

void Transformer::assign_polarities() {
    for (std::uint32_t index : order_) {
        Slot& s = slots_[index];
        const Kind kind = s.node->kind();
        if (is_leaf(kind)) continue;
        auto propagate = [&](Signs signs) {
            const auto ops = operands(s);
            for (std::size_t i = 0; i < ops.size(); ++i) {
                const bool both = kind == Kind::Xor || kind == Kind::Eq || (kind == Kind::Ite && i == 0);
                slots_[ops[i].slot].polarity |= both ? kBoth : apply(signs, ops[i].negated);
            }
        };
        if (s.polarity != 0) {
            // Used as a literal somewhere: one auxiliary stands for the node
            // everywhere, a demand on the node becomes a unit clause on it.
            s.polarity |= s.required;
            s.lit = clauses_.new_variable(nullptr);
            propagate(s.polarity);
            continue;
        }
        for (Signs sign : {kPos, kNeg}) {
            if (!(s.required & sign)) continue;
            if (s.junction == (sign == kPos ? Kind::And : Kind::Or)) {
                for (const Operand& op : operands(s)) slots_[op.slot].required |= apply(sign, op.negated);
            } else {
                propagate(sign);
            }
        }
    }
}

void Transformer::write_clauses() {
    for (std::uint32_t index : order_) {
        Slot& s = slots_[index];
        switch (s.node->kind()) {
            case Kind::Zero:
            case Kind::One:
                // A constant demanded to be what it is not: the empty clause.
                if (s.required & (s.node->kind() == Kind::Zero ? kPos : kNeg)) {
                    clauses_.begin(0);
                    clauses_.end();
                }
                continue;
            default: break;
        }
        const bool has_literal = s.node->kind() == Kind::Variable || s.lit != 0;
        if (has_literal) {
            const Literal lit = literal({index, false});
            for (Signs sign : {kPos, kNeg}) {
                if (!(s.required & sign)) continue;
                clauses_.begin(sign == kPos ? lit : -lit);
                clauses_.end();
            }
            if (s.lit != 0 && s.node->kind() != Kind::Variable) define(s, s.polarity, s.lit);
            continue;
        }
        for (Signs sign : {kPos, kNeg})
            if ((s.required & sign) && s.junction != (sign == kPos ? Kind::And : Kind::Or)) define(s, sign, 0);
    }
}

// Clauses of "var -> node" (sign kPos) and "~var -> node is false" (kNeg);
// with var 0 the clauses of the node itself being true / false.
void Transformer::define(const Slot& s, Signs signs, Literal var) {
    const Literal extra_pos = -var, extra_neg = var;
    lits_.clear();
    for (const Operand& op : operands(s)) lits_.push_back(literal(op));
    const bool pos = signs & kPos, neg = signs & kNeg;
    switch (s.node->kind()) {
        case Kind::Xor:
            define_xor(signs, extra_pos, extra_neg);
            return;
        case Kind::Eq:
            if (pos) {
                for (std::size_t i = 0; i < lits_.size(); ++i) {  // cyclic implications
                    clauses_.begin(extra_pos);
                    clauses_.add(-lits_[i]);
                    clauses_.add(lits_[(i + 1) % lits_.size()]);
                    clauses_.end();
                }
            }
            if (neg) {  // some operand true and some false
                for (Literal sign : {Literal{1}, Literal{-1}}) {
                    clauses_.begin(extra_neg);
                    for (Literal l : lits_) clauses_.add(sign * l);
                    clauses_.end();
                }
            }
            return;
        case Kind::Ite: {
            const Literal c = lits_[0], t = lits_[1], e = lits_[2];
            for (Literal sign : {Literal{1}, Literal{-1}}) {
                if (!(sign == 1 ? pos : neg)) continue;
                const Literal extra = sign == 1 ? extra_pos : extra_neg;
                clauses_.begin(extra);
                clauses_.add(-c);
                clauses_.add(sign * t);
                clauses_.end();
                clauses_.begin(extra);
                clauses_.add(c);
                clauses_.add(sign * e);
                clauses_.end();
            }
            return;
        }
        default: break;
    }
    // Junctions: a conjunction true gives one unit per operand, false one
    // clause of all negated operands; a disjunction the other way round.
    const bool conjunction = s.junction == Kind::And;
    if (conjunction ? pos : neg) {
        const Literal sign = conjunction ? 1 : -1;
        for (Literal l : lits_) {
            clauses_.begin(conjunction ? extra_pos : extra_neg);
            clauses_.add(sign * l);
            clauses_.end();
        }
    }
    if (conjunction ? neg : pos) {
        const Literal sign = conjunction ? -1 : 1;
        clauses_.begin(conjunction ? extra_neg : extra_pos);
        for (Literal l : lits_) clauses_.add(sign * l);
        clauses_.end();
    }
}

// The parity of the operand literals in lits_: a chain of two-operand
// parities, each with an auxiliary, until three operands remain; those are
// expanded directly (four clauses a side).
void Transformer::define_xor(Signs signs, Literal extra_pos, Literal extra_neg) {
    std::size_t next = 1;
    Literal acc = lits_.empty() ? kFalse : lits_[0];
    while (lits_.size() > next + 2) {
        const Literal t = clauses_.new_variable(nullptr);
        const Literal pair[] = {acc, lits_[next]};
        parity_clauses(pair, true, -t);
        parity_clauses(pair, false, t);
        acc = t;
        ++next;
    }
    tail_.clear();
    if (!lits_.empty()) {
        tail_.push_back(acc);
        tail_.insert(tail_.end(), lits_.begin() + static_cast<std::ptrdiff_t>(next), lits_.end());
    }
    if (signs & kPos) parity_clauses(tail_, true, extra_pos);
    if (signs & kNeg) parity_clauses(tail_, false, extra_neg);
}

// Forbids every assignment of `lits` whose parity differs from `odd`.
void Transformer::parity_clauses(std::span<const Literal> lits, bool odd, Literal extra) {
    for (unsigned mask = 0; mask < (1u << lits.size()); ++mask) {
        if ((std::popcount(mask) % 2 == 1) == odd) continue;
        clauses_.begin(extra);
        for (std::size_t i = 0; i < lits.size(); ++i) clauses_.add((mask >> i) & 1u ? -lits[i] : lits[i]);
        clauses_.end();
    }
}

Literal Transformer::literal(const Operand& op) {
    Slot& s = slots_[op.slot];
    Literal lit;
    switch (s.node->kind()) {
        case Kind::Zero: lit = kFalse; break;
        case Kind::One: lit = kTrue; break;
        case Kind::Variable:
            if (s.lit == 0) s.lit = clauses_.new_variable(static_cast<const Variable*>(s.node));
            lit = s.lit;
            break;
        default: lit = s.lit;  // assigned with its polarity
    }
    return op.negated ? -lit : lit;
}

}  // namespace corvane::dravo
