#include "engine/dravo/node.hpp"

#include <utility>

namespace corvane::dravo {

namespace {
// Work list of the outermost node destructor running on this thread; nested
// destructors hand their children to it instead of releasing them in place.
thread_local std::vector<Expr>* pending_release = nullptr;
}  // namespace

Node::Node(Kind kind, std::vector<Expr> args) : kind_(kind), args_(std::move(args)) {}

Node::~Node() {
    if (args_.empty()) return;
    if (pending_release != nullptr) {
        for (Expr& child : args_) pending_release->push_back(std::move(child));
        return;
    }
    std::vector<Expr> work(std::make_move_iterator(args_.begin()), std::make_move_iterator(args_.end()));
    pending_release = &work;
    while (!work.empty()) {
        Expr last = std::move(work.back());
        work.pop_back();
        last.reset();  // when this was the last owner, its children join `work`
    }
    pending_release = nullptr;
}

bool Node::is_literal() const {
    return kind_ == Kind::Variable || (kind_ == Kind::Not && args_.front()->kind() == Kind::Variable);
}

Zero::Zero() : Node(Kind::Zero, {}) {}
One::One() : Node(Kind::One, {}) {}
Variable::Variable(std::string name, std::uint32_t id) : Node(Kind::Variable, {}), name_(std::move(name)), id_(id) {}
Not::Not(Expr operand) : Node(Kind::Not, {std::move(operand)}) {}
And::And(std::vector<Expr> args) : Node(Kind::And, std::move(args)) {}
Or::Or(std::vector<Expr> args) : Node(Kind::Or, std::move(args)) {}
Xor::Xor(std::vector<Expr> args) : Node(Kind::Xor, std::move(args)) {}
Eq::Eq(std::vector<Expr> args) : Node(Kind::Eq, std::move(args)) {}
Impl::Impl(Expr premise, Expr conclusion) : Node(Kind::Impl, {std::move(premise), std::move(conclusion)}) {}
Ite::Ite(Expr cond, Expr then_branch, Expr else_branch)
    : Node(Kind::Ite, {std::move(cond), std::move(then_branch), std::move(else_branch)}) {}

}  // namespace corvane::dravo
