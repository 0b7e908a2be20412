#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/dravo/clause_buffer.hpp"
#include "engine/dravo/node.hpp"
#include "engine/dravo/tseytin.hpp"

namespace corvane::dravo {

// The polarity-aware transformation of one formula into clauses, done by
// the constructor; see tseytin_clauses.
class Transformer {
public:
    explicit Transformer(const Expr& root);
    void emit(const ClauseCallbacks& callbacks) const { clauses_.emit(callbacks); }
    // Every variable of the formula, also one that no clause holds any more.
    std::vector<const Variable*> variables() const;

private:
    using Signs = std::uint8_t;  // a set of the two polarities

    struct Operand {
        std::uint32_t slot;
        bool negated;
    };

    // One node of the operand graph: negations are folded into the
    // operands' signs, and a conjunction or disjunction absorbs a nested one
    // of the same effective kind that nothing else refers to (Or(a,
    // ~And(b, c)) is read as one disjunction of a, ~b, ~c), so that it
    // becomes a single clause.
    struct Slot {
        const Node* node;
        std::uint32_t number;        // of the node in nodes_
        Kind junction = Kind::Zero;  // And or Or for And, Or and Impl nodes
        std::uint32_t first_operand = 0, operand_count = 0;
        Signs required = 0;  // the formula demands this node be true / false
        Signs polarity = 0;  // its literal is used positively / negatively
        Literal lit = 0;     // internal literal (a variable or an auxiliary)
        std::uint8_t state = 0;  // depth-first search: 0 new, 1 open, 2 done
    };

    // A node met while collecting a slot's operands.
    struct Pending {
        std::uint32_t node;
        bool negated;
        bool single_use;
    };

    void index_nodes(const Node* root);
    std::uint32_t slot_for(std::uint32_t node);
    void push_children(std::uint32_t node, bool negated);
    void collect_operands(std::uint32_t slot);
    void order_operand_graph(std::uint32_t root);
    void assign_polarities();
    void write_clauses();
    void define(const Slot& slot, Signs signs, Literal var);
    void define_xor(Signs signs, Literal extra_pos, Literal extra_neg);
    void parity_clauses(std::span<const Literal> lits, bool odd, Literal extra);
    std::span<const Operand> operands(const Slot& slot) const {
        return {operands_.data() + slot.first_operand, slot.operand_count};
    }
    Literal literal(const Operand& op);

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
    ClauseBuffer clauses_;

    // Work space reused from node to node.
    std::vector<Pending> pending_;
    std::vector<Literal> lits_, tail_;
};

}  // namespace corvane::dravo
