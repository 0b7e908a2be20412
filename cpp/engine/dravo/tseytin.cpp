#include "engine/dravo/tseytin.hpp"

#include <bit>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/dravo/build.hpp"

namespace corvane::dravo {

namespace {

// Internal literals number the formula's variables and the auxiliaries in
// one space (1, 2, ...); the two constants get values no variable reaches.
constexpr Literal kTrue = std::numeric_limits<Literal>::max();
constexpr Literal kFalse = -kTrue;
constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();

using Signs = std::uint8_t;  // a set of the two polarities
constexpr Signs kPos = 1, kNeg = 2, kBoth = 3;
Signs flip(Signs s) { return static_cast<Signs>(((s & kPos) ? kNeg : 0) | ((s & kNeg) ? kPos : 0)); }
Signs apply(Signs s, bool negated) { return negated ? flip(s) : s; }

struct Operand {
    std::uint32_t slot;
    bool negated;
};

// One node of the operand graph: negations are folded into the operands'
// signs, and a conjunction or disjunction absorbs a nested one of the same
// effective kind that nothing else refers to (Or(a, ~And(b, c)) is read as
// one disjunction of a, ~b, ~c), so that it becomes a single clause.
struct Slot {
    const Node* node;
    std::uint32_t number;  // of the node in Transformer::nodes_
    Kind junction = Kind::Zero;  // And or Or for And, Or and Impl nodes
    std::uint32_t first_operand = 0, operand_count = 0;
    Signs required = 0;  // the formula demands this node be true / false
    Signs polarity = 0;  // its literal is used positively / negatively
    Literal lit = 0;     // internal literal (a variable or an auxiliary)
    std::uint8_t state = 0;  // depth-first search: 0 new, 1 open, 2 done
};

class Transformer {
public:
    explicit Transformer(const Expr& root);
    void emit(const ClauseCallbacks& callbacks);

private:
    void index_nodes(const Node* root);
    std::uint32_t slot_for(std::uint32_t node);
    void collect_operands(std::uint32_t slot);
    void order_operand_graph(std::uint32_t root);
    void assign_polarities();
    void write_clauses();
    void define(const Slot& slot, Signs signs, Literal var);
    void define_xor(const Slot& slot, Signs signs, Literal extra_pos, Literal extra_neg);
    void parity_clauses(std::span<const Literal> lits, bool odd, Literal extra);
    std::span<const Operand> operands(const Slot& slot) const {
        return {operands_.data() + slot.first_operand, slot.operand_count};
    }
    Literal literal(const Operand& op);
    Literal new_variable(const Variable* input);
    void begin_clause(Literal extra);
    void add(Literal lit);
    void end_clause();

    // Every node reached from the root, numbered once (0 is the root), with
    // its children as numbers and its count of parent edges; later passes
    // follow these numbers instead of looking nodes up again.
    std::vector<const Node*> nodes_;
    std::vector<std::uint32_t> first_child_;  // into children_, per node
    std::vector<std::uint32_t> children_;
    std::vector<std::uint32_t> references_;
    std::vector<std::uint32_t> slot_of_;  // per node; kNoSlot when none
    std::vector<Slot> slots_;
    std::vector<Operand> operands_;
    std::vector<std::uint32_t> order_;  // parents before children

    std::vector<const Variable*> variables_;  // per internal variable; nullptr: auxiliary
    struct Mark {
        std::uint64_t clause;
        Literal lit;
    };
    std::vector<Mark> marks_;  // per internal variable: last clause holding it
    std::uint64_t clause_id_ = 0;
    std::vector<Literal> current_;
    bool satisfied_ = false;
    std::vector<Literal> literals_;  // buffered clauses, flat
    std::vector<std::size_t> ends_;
    bool unsatisfiable_ = false;
};

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

void Transformer::collect_operands(std::uint32_t slot) {
    const Node* node = slots_[slot].node;
    const Kind kind = node->kind();
    const auto first = static_cast<std::uint32_t>(operands_.size());
    if (kind == Kind::Variable || kind == Kind::Zero || kind == Kind::One) {
        slots_[slot].first_operand = first;
        return;
    }
    const bool is_junction = kind == Kind::And || kind == Kind::Or || kind == Kind::Impl;
    // Effective junction of a node read with a sign: ~And is a disjunction,
    // Impl(p, q) is Or(~p, q), ~Impl(p, q) is And(p, ~q).
    auto effective = [](Kind k, bool negated) {
        const bool conjunction = k == Kind::And ? !negated : negated;
        return conjunction ? Kind::And : Kind::Or;
    };
    struct Pending {
        std::uint32_t node;
        bool negated;
        bool single_use;
    };
    std::vector<Pending> work;
    auto push_args = [&](std::uint32_t number, bool negated) {
        const Node* n = nodes_[number];
        const std::uint32_t first = first_child_[number];
        for (std::size_t i = n->args().size(); i-- > 0;) {
            const std::uint32_t child = children_[first + i];
            const bool flip_premise = n->kind() == Kind::Impl && i == 0;
            work.push_back({child, negated != flip_premise, references_[child] == 1});
        }
    };
    push_args(slots_[slot].number, false);
    const Kind junction = is_junction ? effective(kind, false) : kind;
    while (!work.empty()) {
        Pending p = work.back();
        work.pop_back();
        while (nodes_[p.node]->kind() == Kind::Not) {
            p.node = children_[first_child_[p.node]];
            p.negated = !p.negated;
            p.single_use = p.single_use && references_[p.node] == 1;
        }
        const Kind k = nodes_[p.node]->kind();
        const bool nested_junction = k == Kind::And || k == Kind::Or || k == Kind::Impl;
        if (is_junction && p.single_use && nested_junction && effective(k, p.negated) == junction) {
            push_args(p.node, p.negated);
            continue;
        }
        operands_.push_back({slot_for(p.node), p.negated});
    }
    Slot& s = slots_[slot];
    s.junction = junction;
    s.first_operand = first;
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
        if (kind == Kind::Variable || kind == Kind::Zero || kind == Kind::One) continue;
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
            s.lit = new_variable(nullptr);
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
                if (s.required & kPos) unsatisfiable_ = true;
                continue;
            case Kind::One:
                if (s.required & kNeg) unsatisfiable_ = true;
                continue;
            default: break;
        }
        const bool has_literal = s.node->kind() == Kind::Variable || s.lit != 0;
        if (has_literal) {
            const Literal lit = literal({index, false});
            for (Signs sign : {kPos, kNeg}) {
                if (!(s.required & sign)) continue;
                begin_clause(sign == kPos ? lit : -lit);
                end_clause();
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
    if (s.node->kind() == Kind::Xor) {
        define_xor(s, signs, extra_pos, extra_neg);
        return;
    }
    std::vector<Literal> lits;
    for (const Operand& op : operands(s)) lits.push_back(literal(op));
    const bool pos = signs & kPos, neg = signs & kNeg;
    switch (s.node->kind()) {
        case Kind::Eq:
            if (pos) {
                for (std::size_t i = 0; i < lits.size(); ++i) {  // cyclic implications
                    begin_clause(extra_pos);
                    add(-lits[i]);
                    add(lits[(i + 1) % lits.size()]);
                    end_clause();
                }
            }
            if (neg) {  // some operand true and some false
                for (Literal sign : {Literal{1}, Literal{-1}}) {
                    begin_clause(extra_neg);
                    for (Literal l : lits) add(sign * l);
                    end_clause();
                }
            }
            return;
        case Kind::Ite: {
            const Literal c = lits[0], t = lits[1], e = lits[2];
            for (Literal sign : {Literal{1}, Literal{-1}}) {
                if (!(sign == 1 ? pos : neg)) continue;
                const Literal extra = sign == 1 ? extra_pos : extra_neg;
                begin_clause(extra);
                add(-c);
                add(sign * t);
                end_clause();
                begin_clause(extra);
                add(c);
                add(sign * e);
                end_clause();
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
        for (Literal l : lits) {
            begin_clause(conjunction ? extra_pos : extra_neg);
            add(sign * l);
            end_clause();
        }
    }
    if (conjunction ? neg : pos) {
        const Literal sign = conjunction ? -1 : 1;
        begin_clause(conjunction ? extra_neg : extra_pos);
        for (Literal l : lits) add(sign * l);
        end_clause();
    }
}

void Transformer::define_xor(const Slot& s, Signs signs, Literal extra_pos, Literal extra_neg) {
    // A chain of two-operand parities, each with an auxiliary, until three
    // operands remain; those are expanded directly (four clauses a side).
    std::vector<Literal> lits;
    for (const Operand& op : operands(s)) lits.push_back(literal(op));
    std::size_t next = 1;
    Literal acc = lits.empty() ? kFalse : lits[0];
    while (lits.size() > next + 2) {
        const Literal t = new_variable(nullptr);
        const Literal pair[] = {acc, lits[next]};
        parity_clauses(pair, true, -t);
        parity_clauses(pair, false, t);
        acc = t;
        ++next;
    }
    std::vector<Literal> tail;
    if (!lits.empty()) {
        tail.push_back(acc);
        tail.insert(tail.end(), lits.begin() + static_cast<std::ptrdiff_t>(next), lits.end());
    }
    if (signs & kPos) parity_clauses(tail, true, extra_pos);
    if (signs & kNeg) parity_clauses(tail, false, extra_neg);
}

// Forbids every assignment of `lits` whose parity differs from `odd`.
void Transformer::parity_clauses(std::span<const Literal> lits, bool odd, Literal extra) {
    for (unsigned mask = 0; mask < (1u << lits.size()); ++mask) {
        if ((std::popcount(mask) % 2 == 1) == odd) continue;
        begin_clause(extra);
        for (std::size_t i = 0; i < lits.size(); ++i) add((mask >> i) & 1u ? -lits[i] : lits[i]);
        end_clause();
    }
}

Literal Transformer::literal(const Operand& op) {
    Slot& s = slots_[op.slot];
    Literal lit;
    switch (s.node->kind()) {
        case Kind::Zero: lit = kFalse; break;
        case Kind::One: lit = kTrue; break;
        case Kind::Variable:
            if (s.lit == 0) s.lit = new_variable(static_cast<const Variable*>(s.node));
            lit = s.lit;
            break;
        default: lit = s.lit;  // assigned with its polarity
    }
    return op.negated ? -lit : lit;
}

Literal Transformer::new_variable(const Variable* input) {
    variables_.push_back(input);
    marks_.push_back({0, 0});
    return static_cast<Literal>(variables_.size());
}

void Transformer::begin_clause(Literal extra) {
    current_.clear();
    satisfied_ = false;
    ++clause_id_;
    if (extra != 0) add(extra);
}

void Transformer::add(Literal lit) {
    if (satisfied_ || lit == kFalse) return;
    if (lit == kTrue) {
        satisfied_ = true;
        return;
    }
    Mark& mark = marks_[static_cast<std::size_t>(lit > 0 ? lit : -lit) - 1];
    if (mark.clause == clause_id_) {
        if (mark.lit != lit) satisfied_ = true;  // x and ~x: a tautology
        return;
    }
    mark = {clause_id_, lit};
    current_.push_back(lit);
}

void Transformer::end_clause() {
    if (satisfied_) return;
    if (current_.empty()) unsatisfiable_ = true;
    literals_.insert(literals_.end(), current_.begin(), current_.end());
    ends_.push_back(literals_.size());
}

void Transformer::emit(const ClauseCallbacks& callbacks) {
    if (unsatisfiable_) {
        callbacks.clause({});
        return;
    }
    std::vector<Literal> number(variables_.size(), 0);
    std::vector<Literal> clause;
    std::size_t begin = 0;
    for (std::size_t end : ends_) {
        clause.clear();
        for (std::size_t i = begin; i < end; ++i) {
            const Literal lit = literals_[i];
            const std::size_t v = static_cast<std::size_t>(lit > 0 ? lit : -lit) - 1;
            if (number[v] == 0) {
                number[v] = variables_[v] != nullptr ? callbacks.var_number(*variables_[v]) : callbacks.fresh();
                if (number[v] <= 0) throw std::invalid_argument("clause variable numbers must be positive");
            }
            clause.push_back(lit > 0 ? number[v] : -number[v]);
        }
        callbacks.clause(clause);
        begin = end;
    }
}

// Literal expression of a clause literal, one node per distinct literal.
class LiteralNodes {
public:
    explicit LiteralNodes(std::vector<Expr> variables) : positive_(std::move(variables)), negative_(positive_.size()) {}
    const Expr& of(Literal lit) {
        const auto v = static_cast<std::size_t>(lit > 0 ? lit : -lit) - 1;
        if (lit > 0) return positive_[v];
        if (!negative_[v]) negative_[v] = negate(positive_[v]);
        return negative_[v];
    }

private:
    std::vector<Expr> positive_, negative_;
};

}  // namespace

void tseytin_clauses(const Expr& root, const ClauseCallbacks& callbacks) { Transformer(root).emit(callbacks); }

Expr tseytin(const Expr& root, Context& context, std::string_view prefix) {
    if (prefix.find('~') != std::string_view::npos)
        throw std::invalid_argument("prefix must not contain '~': '" + std::string(prefix) + "'");
    // Clause numbers: index + 1 into `numbered`; an auxiliary holds nullptr
    // until its named variable exists.
    std::vector<Expr> numbered;
    std::vector<std::size_t> fresh;  // positions of the auxiliaries in `numbered`
    std::vector<std::vector<Literal>> clauses;
    tseytin_clauses(root, {
        [&](const Variable& v) {
            numbered.push_back(v.shared_from_this());
            return static_cast<Literal>(numbered.size());
        },
        [&] {
            fresh.push_back(numbered.size());
            numbered.emplace_back();
            return static_cast<Literal>(numbered.size());
        },
        [&](std::span<const Literal> lits) { clauses.emplace_back(lits.begin(), lits.end()); },
    });
    if (clauses.size() == 1 && clauses.front().empty()) return zero();
    if (clauses.empty()) return one();

    const std::string stem = std::string(prefix) + "_";
    std::vector<std::string> names;
    for (std::size_t k = 0; k < fresh.size(); ++k) names.push_back(stem + std::to_string(k));
    std::unordered_set<std::string_view> new_names(names.begin(), names.end());
    for (const Expr& e : numbered) {
        if (!e) continue;
        const auto& name = static_cast<const Variable&>(*e).name();
        if (new_names.contains(name))
            throw std::invalid_argument("the formula already has a variable named '" + name +
                                        "', a name the transformation needs for a new variable");
    }
    for (std::size_t k = 0; k < fresh.size(); ++k) numbered[fresh[k]] = context.get_var(names[k]);

    LiteralNodes nodes(std::move(numbered));
    std::vector<Expr> conjuncts;
    conjuncts.reserve(clauses.size());
    for (const auto& clause : clauses) {
        if (clause.size() == 1) {
            conjuncts.push_back(nodes.of(clause.front()));
            continue;
        }
        std::vector<Expr> lits;
        lits.reserve(clause.size());
        for (Literal lit : clause) lits.push_back(nodes.of(lit));
        conjuncts.push_back(or_(std::move(lits)));
    }
    return conjuncts.size() == 1 ? conjuncts.front() : and_(std::move(conjuncts));
}

}  // namespace corvane::dravo
