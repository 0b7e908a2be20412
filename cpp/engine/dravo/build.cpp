#include "engine/dravo/build.hpp"

#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace corvane::dravo {

namespace {

bool is_not_of(const Expr& a, const Expr& b) { return a->kind() == Kind::Not && a->args().front() == b; }
bool complementary(const Expr& a, const Expr& b) { return is_not_of(a, b) || is_not_of(b, a); }

// Operand set of a conjunction or disjunction under construction: keeps the
// first occurrence of every node and notices a node meeting its negation.
class OperandSet {
public:
    // False when `e` is the complement of an operand already held.
    bool add(const Expr& e) {
        if (!seen_.insert(e.get()).second) return true;
        if (e->kind() == Kind::Not) {
            const Node* operand = e->args().front().get();
            if (seen_.contains(operand)) return false;
            negated_.insert(operand);
        } else if (negated_.contains(e.get())) {
            return false;
        }
        operands_.push_back(e);
        return true;
    }
    std::vector<Expr>& operands() { return operands_; }

private:
    std::unordered_set<const Node*> seen_;
    std::unordered_set<const Node*> negated_;
    std::vector<Expr> operands_;
};

// and_s (kind And) and or_s (kind Or): `absorbing` is Zero for a
// conjunction, One for a disjunction; the other constant is neutral.
Expr junction(std::span<const Expr> args, Kind kind) {
    const Kind absorbing = kind == Kind::And ? Kind::Zero : Kind::One;
    const Kind neutral = kind == Kind::And ? Kind::One : Kind::Zero;
    OperandSet set;
    std::unordered_set<const Node*> flattened;
    std::vector<Expr> work(args.rbegin(), args.rend());
    while (!work.empty()) {
        Expr e = std::move(work.back());
        work.pop_back();
        if (e->kind() == neutral) continue;
        if (e->kind() == absorbing) return absorbing == Kind::Zero ? zero() : one();
        if (e->kind() == kind) {
            // Operands of a nested node of the same kind join this one; a node
            // met twice contributes its operands once.
            if (flattened.insert(e.get()).second) work.insert(work.end(), e->args().rbegin(), e->args().rend());
            continue;
        }
        if (!set.add(e)) return absorbing == Kind::Zero ? zero() : one();
    }
    std::vector<Expr>& ops = set.operands();
    if (ops.empty()) return neutral == Kind::One ? one() : zero();
    if (ops.size() == 1) return ops.front();
    return kind == Kind::And ? and_(std::move(ops)) : or_(std::move(ops));
}

}  // namespace

Expr zero() {
    static const Expr instance = std::make_shared<const Zero>();
    return instance;
}

Expr one() {
    static const Expr instance = std::make_shared<const One>();
    return instance;
}

Expr negate(const Expr& e) {
    switch (e->kind()) {
        case Kind::Zero: return one();
        case Kind::One: return zero();
        case Kind::Not: return e->args().front();
        default: return std::make_shared<const Not>(e);
    }
}

Expr and_s(std::span<const Expr> args) { return junction(args, Kind::And); }
Expr or_s(std::span<const Expr> args) { return junction(args, Kind::Or); }

Expr xor_s(std::span<const Expr> args) {
    // Parity is associative and x ^ x = 0: constants and negations fold into
    // one parity bit, nested parities flatten, operand pairs cancel.
    bool odd = false;
    std::vector<Expr> ops;
    std::vector<bool> alive;
    std::unordered_map<const Node*, std::size_t> position;
    std::vector<Expr> work(args.rbegin(), args.rend());
    while (!work.empty()) {
        Expr e = std::move(work.back());
        work.pop_back();
        switch (e->kind()) {
            case Kind::Zero: continue;
            case Kind::One: odd = !odd; continue;
            case Kind::Not: odd = !odd; work.push_back(e->args().front()); continue;
            case Kind::Xor: work.insert(work.end(), e->args().rbegin(), e->args().rend()); continue;
            default: break;
        }
        auto [it, inserted] = position.try_emplace(e.get(), ops.size());
        if (inserted) {
            ops.push_back(std::move(e));
            alive.push_back(true);
        } else {
            alive[it->second] = false;
            position.erase(it);
        }
    }
    std::vector<Expr> kept;
    for (std::size_t i = 0; i < ops.size(); ++i)
        if (alive[i]) kept.push_back(std::move(ops[i]));
    Expr parity = kept.empty() ? zero() : kept.size() == 1 ? kept.front() : std::make_shared<const Xor>(std::move(kept));
    return odd ? negate(parity) : parity;
}

Expr eq_s(std::span<const Expr> args) {
    bool has_one = false, has_zero = false;
    OperandSet set;
    for (const Expr& e : args) {
        if (e->kind() == Kind::One) has_one = true;
        else if (e->kind() == Kind::Zero) has_zero = true;
        else if (!set.add(e)) return zero();  // a and ~a cannot be equal
    }
    std::vector<Expr>& ops = set.operands();
    if (has_one && has_zero) return zero();
    if (has_one) return and_s(ops);
    if (has_zero) {
        for (Expr& e : ops) e = negate(e);
        return and_s(ops);
    }
    if (ops.size() <= 1) return one();
    return std::make_shared<const Eq>(std::move(ops));
}

Expr impl_s(const Expr& premise, const Expr& conclusion) {
    if (premise->kind() == Kind::Zero || conclusion->kind() == Kind::One || premise == conclusion) return one();
    if (premise->kind() == Kind::One) return conclusion;
    if (conclusion->kind() == Kind::Zero) return negate(premise);
    if (complementary(premise, conclusion)) return conclusion;
    return std::make_shared<const Impl>(premise, conclusion);
}

Expr ite_s(const Expr& cond, const Expr& then_branch, const Expr& else_branch) {
    if (cond->kind() == Kind::One || then_branch == else_branch) return then_branch;
    if (cond->kind() == Kind::Zero) return else_branch;
    if (cond->kind() == Kind::Not) return ite_s(cond->args().front(), else_branch, then_branch);
    const Kind t = then_branch->kind(), e = else_branch->kind();
    if (t == Kind::One && e == Kind::Zero) return cond;
    if (t == Kind::Zero && e == Kind::One) return negate(cond);
    if (t == Kind::One || then_branch == cond) return or_s(std::vector<Expr>{cond, else_branch});
    if (e == Kind::Zero || else_branch == cond) return and_s(std::vector<Expr>{cond, then_branch});
    if (t == Kind::Zero || is_not_of(then_branch, cond)) return and_s(std::vector<Expr>{negate(cond), else_branch});
    if (e == Kind::One || is_not_of(else_branch, cond)) return or_s(std::vector<Expr>{negate(cond), then_branch});
    if (complementary(then_branch, else_branch)) return eq_s(std::vector<Expr>{cond, then_branch});
    return std::make_shared<const Ite>(cond, then_branch, else_branch);
}

Expr and_(std::vector<Expr> args) { return std::make_shared<const And>(std::move(args)); }
Expr or_(std::vector<Expr> args) { return std::make_shared<const Or>(std::move(args)); }

}  // namespace corvane::dravo
